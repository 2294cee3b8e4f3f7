#!/usr/bin/env bash
# Kills a writer of tasks and customers with SIGKILL at random moments, CYCLES times (default 2000),
# then checks the file and every write the writer had reported as done; prints the tally.
# Usage: scripts/crash-test.sh [CYCLES] [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
cycles=${1:-2000}
build=${2:-build}
cmake --build "$build" --target tst_crash >/dev/null
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
# The test function may run for hours: lift Qt Test's 5-minute watchdog.
HOME=$home XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data QT_QPA_PLATFORM=offscreen \
    QTEST_FUNCTION_TIMEOUT=86400000 DUEVIA_CRASH_CYCLES=$cycles "$build/tests/unit/tst_crash" killedWritersLoseNothing |
    grep -E 'crash tally|FAIL|Totals'
