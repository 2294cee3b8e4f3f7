#!/usr/bin/env bash
# Runs CMD inside a private D-Bus session with a gnome-keyring of its own (the secrets component
# only), unlocked with a test password, so that tests reach a real Secret Service without a desktop.
# The keyring's files live in a fresh folder of the data folder (XDG_DATA_HOME, else HOME's), never
# in an existing keyring, and are removed afterwards. Exits with CMD's exit code.
# Usage: with-keyring.sh CMD [ARGS...]
set -euo pipefail

if [ $# -eq 0 ]; then
    echo "usage: $0 CMD [ARGS...]" >&2
    exit 2
fi
for tool in dbus-daemon dbus-send gnome-keyring-daemon; do
    if ! command -v "$tool" >/dev/null; then
        echo "$tool was not found: install the dbus and gnome-keyring packages" >&2
        exit 2
    fi
done

data_home=${XDG_DATA_HOME:-${HOME:-/tmp}/.local/share}
mkdir -p "$data_home"
keyring_data=$(mktemp -d "$data_home/test-keyring.XXXXXX")
# A short path of its own: the keyring's control socket must fit a Unix socket address.
runtime_dir=$(mktemp -d "${TMPDIR:-/tmp}/keyring-run.XXXXXX")
chmod 700 "$runtime_dir"
bus_pid=
keyring_pid=

stop_all() {
    if [ -n "$keyring_pid" ]; then
        kill "$keyring_pid" 2>/dev/null || true
        wait "$keyring_pid" 2>/dev/null || true
    fi
    if [ -n "$bus_pid" ]; then
        kill "$bus_pid" 2>/dev/null || true
    fi
    rm -rf "$keyring_data" "$runtime_dir"
}
trap stop_all EXIT
trap 'exit 130' INT TERM

export XDG_RUNTIME_DIR=$runtime_dir
unset GNOME_KEYRING_CONTROL DBUS_STARTER_ADDRESS DBUS_STARTER_BUS_TYPE
{
    read -r DBUS_SESSION_BUS_ADDRESS
    read -r bus_pid
} < <(dbus-daemon --session --fork --nosyslog --print-address=1 --print-pid=1)
export DBUS_SESSION_BUS_ADDRESS

# In the foreground the daemon stays this script's child, so that it can be stopped by its id; it
# reads the password of the login keyring (created on first use) from stdin up to the end.
XDG_DATA_HOME=$keyring_data gnome-keyring-daemon --foreground --unlock --components=secrets \
    < <(printf '%s' test-password) >"$runtime_dir/keyring.log" 2>&1 &
keyring_pid=$!

owns_secrets() {
    dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null | grep -q true
}
for _ in $(seq 100); do
    if owns_secrets || ! kill -0 "$keyring_pid" 2>/dev/null; then
        break
    fi
    sleep 0.1
done
if ! owns_secrets; then
    echo "gnome-keyring-daemon did not start:" >&2
    cat "$runtime_dir/keyring.log" >&2
    exit 2
fi

# QtKeychain picks the Secret Service (libsecret) for any desktop except KDE's.
unset KDE_FULL_SESSION KDE_SESSION_VERSION
export XDG_CURRENT_DESKTOP=GNOME
export DUEVIA_TEST_KEYRING=1

set +e
"$@"
status=$?
set -e
exit "$status"
