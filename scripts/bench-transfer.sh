#!/usr/bin/env bash
# Times the import, export and backup of tasks (bench/bench_tasktransfer.cpp) in a Release build and
# writes the medians to bench/TRANSFER-RESULTS.md.
#
# Usage: scripts/bench-transfer.sh [build folder]   (default build-bench/; an existing one is reused)
#        DUEVIA_BENCH_TASKS=N sets the number of tasks (default 100,000).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-bench}
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DDUEVIA_BUILD_TESTS=OFF -DDUEVIA_BUILD_BENCHMARKS=ON
fi
cmake --build "$build" --parallel --target bench_tasktransfer

home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
json="$home/results.json"
HOME="$home" "$build/bench/bench_tasktransfer" --benchmark_repetitions=3 --benchmark_report_aggregates_only=true \
    --benchmark_out="$json" --benchmark_out_format=json

python3 - "$json" > bench/TRANSFER-RESULTS.md <<'EOF'
import json, sys
data = json.load(open(sys.argv[1]))
print("# Task transfer timings\n")
print(f"Written by scripts/bench-transfer.sh on {data['context']['date']}, "
      f"{data['context']['num_cpus']} CPUs, load average {data['context'].get('load_avg', ['?'])[0]}.\n")
print("Whole jobs on the worker thread, as the settings dialog runs them; median of 3 runs.\n")
print("| Case | Median (ms) |\n|---|---|")
for b in data["benchmarks"]:
    if b.get("aggregate_name") == "median":
        print(f"| {b['run_name'].split('/')[0]} | {b['real_time']:.0f} |")
EOF
cat bench/TRANSFER-RESULTS.md
