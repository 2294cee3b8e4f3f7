#!/usr/bin/env bash
# Two computers with the real program, each on a virtual X display of its own, syncing one task list
# of a private Radicale; sync_window.py drives them through the accessibility tree.
# Usage: run-sync-window.sh APP SEED [SCREENSHOT FOLDER]   (default docs/screenshots)
# Exits 77 (skipped) without Xvfb or pyatspi.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
export APP=${1:?usage: $0 APP SEED [FOLDER]} SEED=${2:?usage: $0 APP SEED [FOLDER]}
export SHOTS=${3:-$repo/docs/screenshots}

if [ -z "${E2E_DIR:-}" ]; then
    if ! command -v Xvfb >/dev/null || ! /usr/bin/python3 -c 'import pyatspi' 2>/dev/null; then
        echo "SKIP: needs Xvfb and python3-pyatspi"
        exit 77
    fi
    E2E_DIR=$(mktemp -d)
    trap 'rm -rf "$E2E_DIR"' EXIT
    export E2E_DIR XDG_DATA_HOME=$E2E_DIR/keyring
    "$repo/scripts/with-keyring.sh" "$0" "$@"
    exit
fi

# Inside the keyring's D-Bus session.
pids=()
stop_all() {
    kill "${pids[@]}" 2>/dev/null || true
    wait 2>/dev/null || true
    "$repo/scripts/caldav-test-server.sh" stop radicale "$E2E_DIR/radicale"
}
trap stop_all EXIT
/usr/libexec/at-spi-bus-launcher --launch-immediately >"$E2E_DIR/atspi.log" 2>&1 &
pids+=($!)
"$repo/scripts/caldav-test-server.sh" start radicale "$E2E_DIR/radicale"

unset QT_QPA_PLATFORM
for pc in a b; do
    home=$E2E_DIR/$pc
    mkdir -p "$home/data/appQuilloQml3"
    Xvfb -displayfd 3 -screen 0 1300x700x24 -nolisten tcp 3>"$E2E_DIR/$pc.display" 2>/dev/null &
    pids+=($!)
    until [ -s "$E2E_DIR/$pc.display" ]; do sleep 0.1; done
    display=:$(cat "$E2E_DIR/$pc.display")
    "$SEED" "$home/data/appQuilloQml3/duevia2.db" demo demo-password
    HOME=$home XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data XDG_CACHE_HOME=$home/cache \
        DISPLAY=$display QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$APP" >"$home/app.log" 2>&1 &
    pids+=($!)
    echo "$!" >"$E2E_DIR/$pc.pid"
    window=$(DISPLAY=$display xdotool search --sync --name '^Duevia$' | head -n 1)
    DISPLAY=$display xdotool windowmove "$window" 0 0 windowfocus --sync "$window"
done

mkdir -p "$SHOTS"
/usr/bin/python3 "$here/sync_window.py" "$repo/tests/support/caldav_peer.py"
