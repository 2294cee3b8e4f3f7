#!/usr/bin/env bash
# Two computers running the real program, each on a virtual X display of its own with a demo database,
# and a private Radicale; sync_window.py drives them through the accessibility tree. Skips (77)
# without Xvfb or pyatspi. Usage: run-sync-window.sh APP SEED [SCREENSHOT FOLDER (docs/screenshots)]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
export APP=${1:?usage: $0 APP SEED [FOLDER]} SEED=${2:?usage: $0 APP SEED [FOLDER]}
export SHOTS=${3:-$repo/docs/screenshots}
if [ -z "${E2E_DIR:-}" ]; then # the keyring's D-Bus session runs this script again, with E2E_DIR
    if ! command -v Xvfb >/dev/null || ! /usr/bin/python3 -c 'import pyatspi' 2>/dev/null; then
        echo "SKIP: needs Xvfb and python3-pyatspi" && exit 77
    fi
    E2E_DIR=$(mktemp -d)
    trap 'rm -rf "$E2E_DIR"' EXIT
    export E2E_DIR XDG_DATA_HOME=$E2E_DIR/keyring
    "$repo/scripts/with-keyring.sh" "$0" "$@"
    exit
fi

pids=()
stop_all() {
    kill "${pids[@]}" 2>/dev/null || true
    wait || true
    "$repo/scripts/caldav-test-server.sh" stop radicale "$E2E_DIR/radicale"
}
trap stop_all EXIT
/usr/libexec/at-spi-bus-launcher --launch-immediately >"$E2E_DIR/atspi.log" 2>&1 & pids+=($!)
"$repo/scripts/caldav-test-server.sh" start radicale "$E2E_DIR/radicale"
unset QT_QPA_PLATFORM
for pc in a b; do
    home=$E2E_DIR/$pc
    Xvfb -displayfd 3 -screen 0 1300x700x24 -nolisten tcp 3>"$home.display" 2>/dev/null & pids+=($!)
    until [ -s "$home.display" ]; do sleep 0.1; done
    export DISPLAY=:$(cat "$home.display")
    mkdir -p "$home/data/appQuilloQml3"
    "$SEED" "$home/data/appQuilloQml3/duevia2.db" demo demo-password
    HOME=$home XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data XDG_CACHE_HOME=$home/cache \
        QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$APP" >"$home.log" 2>&1 & pids+=($!)
    echo $! >"$home.pid"
    window=$(xdotool search --sync --name '^Duevia$' | head -n 1)
    xdotool windowmove "$window" 0 0 windowfocus --sync "$window"
done
mkdir -p "$SHOTS"
if ! /usr/bin/python3 "$here/sync_window.py" "$repo/tests/support/caldav_peer.py"; then
    tail -n 20 "$E2E_DIR"/*.log && exit 1
fi
