#!/usr/bin/env bash
# Builds the benchmark (Release), generates the missing data files, runs every case at every size and
# writes bench/RESULTS.md beside the "before" figures of bench/baseline.json.
#
#   scripts/bench-results.sh             all sizes, into bench/RESULTS.md
#   scripts/bench-results.sh --baseline  the same run recorded as the "before" figures instead
#
# Environment: DUEVIA_BENCH_DATA (data cache, default ~/.cache/duevia-bench), DUEVIA_BENCH_SIZES
# (default "1k 100k-of-1M 1M-of-1M"), DUEVIA_BENCH_POSTGRES (sizes also run on PostgreSQL, default
# "100k-of-1M 1M-of-1M"; see scripts/bench-postgres.sh), DUEVIA_BENCH_REPETITIONS (default 5), DUEVIA_BENCH_MIN_TIME
# (seconds per repetition, default 0.1), DUEVIA_BENCH_BUILD (default build-bench).
set -euo pipefail
cd "$(dirname "$0")/.."
# All in one function, so that editing this file cannot disturb a run in progress.
main() {
    began=$(date +%s)

    data=${DUEVIA_BENCH_DATA:-$HOME/.cache/duevia-bench}
    sizes=${DUEVIA_BENCH_SIZES:-1k 100k-of-1M 1M-of-1M}
    repetitions=${DUEVIA_BENCH_REPETITIONS:-5}
    min_time=${DUEVIA_BENCH_MIN_TIME:-0.1}
    build=${DUEVIA_BENCH_BUILD:-build-bench}

    launcher=()
    if command -v ccache >/dev/null; then
        launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    fi
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DDUEVIA_BUILD_BENCHMARKS=ON \
        -DDUEVIA_BUILD_TESTS=OFF "${launcher[@]}" >/dev/null
    cmake --build "$build" --target duevia-bench duevia-startup-floor appQuilloQml3 --parallel 2

    # shellcheck disable=SC2086 # the sizes are words
    python3 scripts/bench-data.py --dir "$data" $sizes

    run=$(mktemp -d)
    trap 'rm -rf "$run"' EXIT
    # A server left running by an earlier run vacuums and writes beside the file's cases on these two
    # cores: it runs only for its own cases.
    if ls /usr/lib/postgresql/*/bin/initdb >/dev/null 2>&1; then scripts/bench-postgres.sh --stop; fi
    # Working copies an interrupted run left behind.
    rm -rf "$data"/run-*

    # Milliseconds from the launch of a program (the real one on a prepared file, moved into a temporary
    # home, or the floor without a file) to its first rendered frame in a virtual display: the middle of
    # three starts. Empty without Xvfb.
    startup_ms() {
        command -v xvfb-run >/dev/null || return 0
        local home
        home=$(mktemp -d -p "$run")
        mkdir -p "$home/data/appQuilloQml3" "$home/runtime"
        chmod 700 "$home/runtime"
        if [ -n "$2" ]; then mv "$2" "$home/data/appQuilloQml3/duevia2.db"; fi
        HOME=$home XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data XDG_CACHE_HOME=$home/cache \
            XDG_RUNTIME_DIR=$home/runtime APP="$PWD/$build/$1" \
            QT_MESSAGE_PATTERN='%{time yyyy-MM-ddTHH:mm:ss.zzz}|%{message}' \
            QT_LOGGING_RULES='qt.scenegraph.time.renderloop=true' \
            xvfb-run --auto-servernum --server-args="-screen 0 1280x800x24" bash -c '
                for i in 1 2 3; do
                    start=$(date +%s%3N)
                    "$APP" >"$HOME/app.log" 2>&1 &
                    pid=$!
                    for _ in $(seq 600); do
                        grep -qi "frame rendered" "$HOME/app.log" && break
                        sleep 0.1
                    done
                    kill "$pid" && wait "$pid" || true
                    first=$(grep -m1 -i "frame rendered" "$HOME/app.log" | cut -d"|" -f1)
                    [ -n "$first" ] && echo $(($(date -d "$first" +%s%3N) - start))
                done' 2>/dev/null | sort -n | sed -n 2p || true # a start without a frame leaves no figure
    }
    for size in $sizes; do
        echo "== $size"
        uptime | sed 's/.*load average/load average/' >"$run/$size.load"
        QT_QPA_PLATFORM=offscreen "$build/bench/duevia-bench" --data="$data/tasks-$size.db" \
            --facts="$run/$size.facts.json" --keep="$run/prepared.db" --benchmark_repetitions="$repetitions" \
            --benchmark_min_time="$min_time" --benchmark_report_aggregates_only=true \
            --benchmark_out="$run/$size.json" --benchmark_out_format=json
        echo "$(cat "$run/$size.load"); after: $(uptime | sed 's/.*load average: //')" >"$run/$size.load"
        startup_ms src/app/appQuilloQml3 "$run/prepared.db" >"$run/$size.startup"
    done
    startup_ms bench/duevia-startup-floor "" >"$run/floor.startup"
    # The same data on PostgreSQL, where its server is installed (DUEVIA_BENCH_POSTGRES: the sizes).
    if ls /usr/lib/postgresql/*/bin/initdb >/dev/null 2>&1; then
        for size in ${DUEVIA_BENCH_POSTGRES:-100k-of-1M 1M-of-1M}; do
            [[ " $sizes " == *" $size "* ]] || continue
            echo "== $size on PostgreSQL"
            DUEVIA_BENCH_DATA=$data DUEVIA_BENCH_BUILD=$build scripts/bench-postgres.sh "$size" "$run" \
                --benchmark_repetitions="$repetitions" --benchmark_min_time="$min_time" \
                --benchmark_report_aggregates_only=true
        done
    fi

    if ls /usr/lib/postgresql/*/bin/initdb >/dev/null 2>&1; then scripts/bench-postgres.sh --stop; fi

    header="measured: $(date -u '+%Y-%m-%d %H:%M UTC'); commit: $(git rev-parse --short HEAD)$(git diff --quiet HEAD -- src || echo '+changes'); \
    $repetitions repetitions of at least ${min_time} s per case; $(nproc) cores; whole script: $(($(date +%s) - began)) s"
    if [[ ${1:-} == --baseline ]]; then
        python3 scripts/bench-report.py "$run" --record bench/baseline.json --header "$header"
        echo "Recorded the before figures in bench/baseline.json"
    else
        python3 scripts/bench-report.py "$run" --baseline bench/baseline.json --out bench/RESULTS.md --header "$header"
        echo "Wrote bench/RESULTS.md"
    fi
}
main "$@"
exit
