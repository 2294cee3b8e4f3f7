#!/usr/bin/env bash
# Times the import, export and backup of tasks (bench/bench_tasktransfer.cpp) in a Release build,
# with the floors measured in the same run (libical parsing the file, the rows inserted in one
# transaction, the text written), and writes the medians, ratios and memory to bench/TRANSFER-RESULTS.md.
#
# Usage: scripts/bench-transfer.sh [build folder]   (default build-bench/; an existing one is reused)
#        DUEVIA_BENCH_TASKS=N sets the number of tasks (default 100,000), DUEVIA_BENCH_REPETITIONS the
#        runs of each case (default 5).
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
repetitions=${DUEVIA_BENCH_REPETITIONS:-5}
HOME="$home" "$build/bench/bench_tasktransfer" --benchmark_repetitions="$repetitions" \
    --benchmark_report_aggregates_only=true \
    --benchmark_out="$json" --benchmark_out_format=json

/usr/bin/python3 - "$json" "$repetitions" > bench/TRANSFER-RESULTS.md <<'EOF'
import json, sys
data = json.load(open(sys.argv[1]))
median = {b["run_name"].split("/")[0]: b for b in data["benchmarks"] if b.get("aggregate_name") == "median"}
ms = {name: b["real_time"] for name, b in median.items()}
print("# Task transfer timings\n")
print(f"Written by scripts/bench-transfer.sh on {data['context']['date']}, "
      f"{data['context']['num_cpus']} CPUs, load average {data['context'].get('load_avg', ['?'])[0]}.\n")
print("Whole jobs on the worker thread, as the settings dialog runs them, beside their floors measured in")
print(f"the same run; median of {sys.argv[2]} runs.\n")
print("| Case | Median (ms) |\n|---|---|")
for name, value in ms.items():
    print(f"| {name} | {value:.0f} |")
if {"BM_ImportCalendar", "BM_ParseOnly", "BM_InsertOnly", "BM_ExportCalendar", "BM_WriteOnly"} <= ms.keys():
    floor = ms["BM_ParseOnly"] + ms["BM_InsertOnly"]
    print("\n| Job | Floor (ms) | Job / floor |\n|---|---|---|")
    print(f"| Import | parse {ms['BM_ParseOnly']:.0f} + insert {ms['BM_InsertOnly']:.0f} = {floor:.0f} |"
          f" {ms['BM_ImportCalendar'] / floor:.2f} |")
    if "BM_InsertPlain" in ms:
        floor = ms["BM_ParseOnly"] + ms["BM_InsertPlain"]
        print(f"| Import | parse {ms['BM_ParseOnly']:.0f} + insert without indexes and triggers"
              f" {ms['BM_InsertPlain']:.0f} = {floor:.0f} | {ms['BM_ImportCalendar'] / floor:.2f} |")
    print(f"| Export | write {ms['BM_WriteOnly']:.0f} | {ms['BM_ExportCalendar'] / ms['BM_WriteOnly']:.2f} |")
    if "BM_ReadOnly" in ms:
        floor = ms["BM_ReadOnly"] + ms["BM_WriteOnly"]
        print(f"| Export | read {ms['BM_ReadOnly']:.0f} + write {ms['BM_WriteOnly']:.0f} = {floor:.0f} |"
              f" {ms['BM_ExportCalendar'] / floor:.2f} |")
imported = median.get("BM_ImportCalendar", {})
if "rss_growth_mb" in imported:
    print(f"\nImport memory: the peak resident memory grew by {imported['rss_growth_mb']:.1f} MB for a file of "
          f"{imported['file_mb']:.1f} MB ({imported['rss_growth_mb'] / imported['file_mb']:.2f} times its size).")
EOF
cat bench/TRANSFER-RESULTS.md
