#!/usr/bin/env bash
# The real program on a virtual X display with the accessibility bus in a private D-Bus session;
# a11y_flow.py drives it through the accessibility tree. Skips (77) without Xvfb or pyatspi.
# Usage: run-a11y-flow.sh APP
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
export APP=${1:?usage: $0 APP}
if [ -z "${E2E_DIR:-}" ]; then # the private D-Bus session runs this script again, with E2E_DIR
    if ! command -v Xvfb >/dev/null || ! /usr/bin/python3 -c 'import pyatspi' 2>/dev/null; then
        echo "SKIP: needs Xvfb and python3-pyatspi" && exit 77
    fi
    E2E_DIR=$(mktemp -d)
    trap 'rm -rf "$E2E_DIR"' EXIT
    export E2E_DIR
    dbus-run-session -- "$0" "$@"
    exit
fi

pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true; wait || true' EXIT
/usr/libexec/at-spi-bus-launcher --launch-immediately >"$E2E_DIR/atspi.log" 2>&1 & pids+=($!)
Xvfb -displayfd 3 -screen 0 1300x700x24 -nolisten tcp 3>"$E2E_DIR/display" 2>/dev/null & pids+=($!)
until [ -s "$E2E_DIR/display" ]; do sleep 0.1; done
export DISPLAY=:$(cat "$E2E_DIR/display")
unset QT_QPA_PLATFORM
if ! /usr/bin/python3 "$here/a11y_flow.py"; then
    tail -n 20 "$E2E_DIR"/*.log && exit 1
fi
