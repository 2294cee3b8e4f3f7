#!/usr/bin/env bash
# Starts and stops a private CalDAV server of a test run (Radicale or Xandikos) on a free loopback
# port, with its storage in STATE. "start" records in STATE the base URL (url), the principal path
# (principal), the server's name (server), the credentials of the tests (user, password) and the
# server's process id (pid); "stop" stops the server and removes STATE.
# Radicale checks plain-text htpasswd users (anna/anna-secret, ben/ben-secret); Xandikos has no
# authentication and accepts any credentials.
# Usage: caldav-test-server.sh start|stop radicale|xandikos STATE
set -euo pipefail

usage="usage: $0 start|stop radicale|xandikos STATE"
action=${1:?$usage}
server=${2:?$usage}
state=${3:?$usage}

stop() {
    if [ -f "$state/pid" ]; then
        local pid
        pid=$(cat "$state/pid")
        if kill "$pid" 2>/dev/null; then
            local tries=0
            while kill -0 "$pid" 2>/dev/null && [ $tries -lt 50 ]; do
                tries=$((tries + 1))
                sleep 0.1
            done
            kill -9 "$pid" 2>/dev/null || true
        fi
    fi
    rm -rf "$state"
}

free_port() {
    /usr/bin/python3 -c 'import socket
s = socket.socket()
s.bind(("127.0.0.1", 0))
print(s.getsockname()[1])
s.close()'
}

start() {
    stop # a server an interrupted run left behind
    mkdir -p "$state"
    local port principal
    port=$(free_port)
    case "$server" in
    radicale)
        printf 'anna:anna-secret\nben:ben-secret\n' >"$state/users"
        radicale --config "" --storage-filesystem-folder "$state/collections" --server-hosts "127.0.0.1:$port" \
            --auth-type htpasswd --auth-htpasswd-filename "$state/users" --auth-htpasswd-encryption plain \
            --rights-type owner_only --logging-level warning >"$state/server.log" 2>&1 &
        principal=/anna/
        echo anna >"$state/user"
        echo anna-secret >"$state/password"
        ;;
    xandikos)
        xandikos --defaults -d "$state/data" --port "$port" --listen-address 127.0.0.1 >"$state/server.log" 2>&1 &
        principal=/user/
        echo user >"$state/user"
        echo any >"$state/password"
        ;;
    *)
        echo "$usage" >&2
        return 2
        ;;
    esac
    echo $! >"$state/pid"
    local url="http://127.0.0.1:$port/" tries=0
    # Any HTTP answer (even 401) means the server is up.
    until /usr/bin/python3 -c 'import sys, urllib.request, urllib.error
try:
    urllib.request.urlopen(sys.argv[1], timeout=1)
except urllib.error.HTTPError:
    pass' "$url" 2>/dev/null; do
        tries=$((tries + 1))
        if [ $tries -ge 100 ] || ! kill -0 "$(cat "$state/pid")" 2>/dev/null; then
            cat "$state/server.log" >&2
            stop
            return 1
        fi
        sleep 0.1
    done
    echo "$url" >"$state/url"
    echo "$principal" >"$state/principal"
    echo "$server" >"$state/server"
    echo "CalDAV test server ($server): $url"
}

case "$action" in
start) start ;;
stop) stop ;;
*)
    echo "$usage" >&2
    exit 2
    ;;
esac
