#!/usr/bin/env bash
# Times the real window on a prepared file of 1,000,000 tasks: from a key press or click to the first frame
# that shows its result (sign-in's Return, a header click, a key in the search field, End, Home, Ctrl+N),
# in a virtual X display with a private D-Bus session, driven by xdotool. Prints a table of medians.
#
#   scripts/window-timing.sh [build folder] [runs]     (default build-bench, 1 run)
#
# Environment: DUEVIA_BENCH_DATA (data cache, default ~/.cache/duevia-bench), DUEVIA_WINDOW_FILE (a file
# the program has prepared, timed instead of the generated one), DUEVIA_WINDOW_LOGS (keeps the frame logs
# there), DUEVIA_WINDOW_SHOT (a screenshot of the tasks page, taken after the first sign-in).
set -euo pipefail
cd "$(dirname "$0")/.."
main() {
    local build=${1:-build-bench} runs=${2:-1}
    local data=${DUEVIA_BENCH_DATA:-$HOME/.cache/duevia-bench}
    if [ -z "${WINDOW_TIMING_DIR:-}" ]; then
        for tool in Xvfb xdotool dbus-run-session; do
            command -v "$tool" >/dev/null || { echo "window-timing: needs $tool" >&2; exit 1; }
        done
        cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
        cmake --build "$build" --target appQuilloQml3 --parallel 2
        WINDOW_TIMING_DIR=$(mktemp -d)
        trap 'rm -rf "$WINDOW_TIMING_DIR"' EXIT
        export WINDOW_TIMING_DIR
        local prepared=${DUEVIA_WINDOW_FILE:-$data/window-1M-of-1M.db}
        if [ -z "${DUEVIA_WINDOW_FILE:-}" ]; then
            /usr/bin/python3 scripts/bench-data.py --dir "$data" 1M-of-1M
            # The program builds its indexes and counters on the first start; that file is kept until the
            # data is made again.
            if [ ! "$prepared" -nt "$data/tasks-1M-of-1M.db" ]; then
                dbus-run-session -- "$0" "$build" prepare "$data/tasks-1M-of-1M.db"
                mv "$WINDOW_TIMING_DIR/prepared.db" "$prepared"
            fi
        fi
        local i
        for i in $(seq "$runs"); do
            dbus-run-session -- "$0" "$build" run "$prepared" "$WINDOW_TIMING_DIR/frames-$i.log" 2>&1 \
                | grep -v "dbus-daemon" || true
        done
        if [ -n "${DUEVIA_WINDOW_LOGS:-}" ]; then
            mkdir -p "$DUEVIA_WINDOW_LOGS" && cp "$WINDOW_TIMING_DIR"/frames-*.log "$DUEVIA_WINDOW_LOGS"
        fi
        /usr/bin/python3 scripts/window-timing.py "$WINDOW_TIMING_DIR"/frames-*.log
        return
    fi
    in_session "$build" "$3" "${4:-}" "$2"
}

# Inside the private D-Bus session: a display, a temporary home holding a copy of the file, the program.
in_session() {
    local build=$1 file=$2 log=$3 mode=$4
    local home=$WINDOW_TIMING_DIR/home
    rm -rf "$home" && mkdir -p "$home/data/appQuilloQml3" "$home/runtime" && chmod 700 "$home/runtime"
    cp "$file" "$home/data/appQuilloQml3/duevia2.db"
    local display=90
    while [ -e "/tmp/.X$display-lock" ] || [ -e "/tmp/.X11-unix/X$display" ]; do display=$((display + 1)); done
    Xvfb ":$display" -screen 0 1300x700x24 -nolisten tcp >/dev/null 2>&1 &
    local xvfb=$!
    export DISPLAY=:$display HOME=$home XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data \
        XDG_CACHE_HOME=$home/cache XDG_RUNTIME_DIR=$home/runtime
    unset QT_QPA_PLATFORM
    until [ -e "/tmp/.X11-unix/X$display" ]; do sleep 0.1; done
    log=${log:-$WINDOW_TIMING_DIR/prepare.log}
    rm -f "$log"
    DUEVIA_FRAME_LOG=$log "$build/src/app/appQuilloQml3" >"$WINDOW_TIMING_DIR/app.log" 2>&1 &
    local app=$!
    # The log starts with the main window, after any preparation of the file.
    local waited=0
    until [ -s "$log" ]; do
        if ! kill -0 "$app" 2>/dev/null || [ $((waited += 1)) -gt 3000 ]; then
            echo "window-timing: no window; the program said:" >&2
            cat "$WINDOW_TIMING_DIR/app.log" >&2
            kill "$app" "$xvfb" 2>/dev/null || true
            exit 1
        fi
        sleep 0.2
    done
    sleep 2
    if [ "$mode" = prepare ]; then
        kill "$app" && wait "$app" || true
        mv "$home/data/appQuilloQml3/duevia2.db" "$WINDOW_TIMING_DIR/prepared.db"
    else
        drive
        kill "$app" && wait "$app" || true
    fi
    kill "$xvfb" && wait "$xvfb" || true
}

# The presses, each on a settled window; a header cell's centre is given by its x on the window's row.
drive() {
    local window
    window=$(xdotool search --onlyvisible --name '^Duevia$' | head -n 1)
    xdotool windowmove "$window" 0 0 windowfocus --sync "$window"
    sign_in
    [ -n "${DUEVIA_WINDOW_SHOT:-}" ] && import -window root "$DUEVIA_WINDOW_SHOT"
    local i x
    for i in 1 2 3 4 5; do
        press End
        press Home
    done
    for x in 435 435 809 809 1021 1021 52 1212; do
        xdotool mousemove "$x" 116 click 1 && sleep 1.5
    done
    for i in 1 2 3 4 5; do
        press ctrl+n
        press Escape
    done
    press ctrl+f
    for key in r e v i e w BackSpace BackSpace BackSpace BackSpace BackSpace BackSpace; do
        press "$key"
    done
    for i in 1 2 3 4; do
        press ctrl+l
        sign_in
    done
}

press() {
    xdotool key "$1" && sleep 1.5
}

sign_in() {
    xdotool type --delay 40 bench && xdotool key Tab && xdotool type --delay 40 password123
    sleep 1
    xdotool key Return && sleep 3
}

main "$@"
