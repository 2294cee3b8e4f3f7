#!/usr/bin/env bash
# Takes a screenshot of each of the four tabs of the real program, with sample data, in a virtual X
# display, and saves them as docs/screenshots/{tasks,calendar,customers,chart}.png.
#
# Usage: scripts/screenshots.sh [build folder]   (default build-screenshots/; an existing one is reused)
# Nothing touches your own settings or data: the program runs with a temporary home folder.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$(pwd)
build=${1:-build-screenshots}
out="$repo/docs/screenshots"

scripts/install-deps.sh
if [ -f "$build/CMakeCache.txt" ]; then
    # An existing build keeps its settings and only gains the sample-data tool.
    cmake -S . -B "$build" -DDUEVIA_BUILD_SEEDER=ON
else
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DDUEVIA_BUILD_TESTS=OFF -DDUEVIA_BUILD_SEEDER=ON
fi
cmake --build "$build" --parallel --target appQuilloQml3 duevia-seed
app="$repo/$build/src/app/appQuilloQml3"
seed="$repo/$build/scripts/seed/duevia-seed"

home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export HOME="$home" XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" XDG_CACHE_HOME="$home/cache"
export XDG_RUNTIME_DIR="$home/runtime"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"

# The program's default database: the application-data folder, named after the executable.
db="$XDG_DATA_HOME/appQuilloQml3/duevia2.db"
mkdir -p "$(dirname "$db")"
"$seed" "$db" demo demo-password

mkdir -p "$out"
export APP="$app" OUT="$out"
xvfb-run --auto-servernum --server-args="-screen 0 1300x700x24" bash -euo pipefail -c '
    "$APP" > "$HOME/app.log" 2>&1 &
    app_pid=$!
    trap "kill $app_pid 2>/dev/null || true" EXIT
    window=$(xdotool search --sync --onlyvisible --name "^Duevia$" | head -n 1)
    xdotool windowmove "$window" 0 0 windowfocus --sync "$window"
    sleep 2
    # Sign in: the user name field has the focus; Return in the password field signs in.
    xdotool type --delay 20 "demo"
    xdotool key Tab
    xdotool type --delay 20 "demo-password"
    xdotool key Return
    sleep 3
    for tab in 1:tasks 2:calendar 3:customers 4:chart; do
        xdotool key "alt+${tab%%:*}"
        sleep 2
        import -window root "$OUT/${tab#*:}.png"
    done
'
echo "Screenshots written to $out"
