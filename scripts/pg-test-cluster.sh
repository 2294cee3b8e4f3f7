#!/usr/bin/env bash
# Starts and stops the private PostgreSQL server of a test run: a cluster in a fresh folder under /tmp
# that listens only on a Unix socket in that folder (no TCP), so that no test can reach another server.
# STATE is a folder of the build tree; "start" records there the cluster's folder (cluster) and the
# libpq connection string of the tests (conninfo); "stop" stops the cluster and removes its folder.
# "down" stops the running server of STATE (fast, or immediate as a crash would) and "up" starts it
# again on the same folder and socket: the outage a test of reconnection needs.
# Usage: pg-test-cluster.sh start|stop STATE, pg-test-cluster.sh down STATE [fast|immediate], up STATE
set -euo pipefail

usage="usage: $0 start|stop|down|up STATE [fast|immediate]"
action=${1:?$usage}
state=${2:?$usage}
port=5432

# The server binaries: PG_BINDIR, else the newest /usr/lib/postgresql/*/bin (Debian), else the PATH.
find_bindir() {
    if [ -n "${PG_BINDIR:-}" ]; then
        echo "$PG_BINDIR"
        return
    fi
    local dir
    for dir in $(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -Vr); do
        if [ -x "$dir/initdb" ] && [ -x "$dir/pg_ctl" ]; then
            echo "$dir"
            return
        fi
    done
    if command -v initdb >/dev/null && command -v pg_ctl >/dev/null; then
        dirname "$(command -v initdb)"
        return
    fi
    echo "PostgreSQL's initdb and pg_ctl were not found: install the postgresql package" >&2
    return 1
}

# The server refuses to run as root: a root shell runs it as the postgres system user.
as_owner() {
    if [ "$(id -u)" -eq 0 ]; then
        runuser -u postgres -- "$@"
    else
        "$@"
    fi
}

stop() {
    [ -f "$state/cluster" ] || return 0
    local dir
    dir=$(cat "$state/cluster")
    case "$dir" in
    /tmp/duevia-pg.??????) ;;
    *)
        echo "$state/cluster names $dir, which this script did not make; left alone" >&2
        return 1
        ;;
    esac
    if [ -f "$dir/data/postmaster.pid" ]; then
        as_owner "$bindir/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null || true
    fi
    rm -rf "$dir"
    rm -f "$state/cluster" "$state/conninfo"
}

start() {
    stop # a cluster an interrupted run left behind
    mkdir -p "$state"
    local dir
    # Under /tmp, not the build tree: the postgres user may not be able to reach a folder under /root.
    dir=$(mktemp -d /tmp/duevia-pg.XXXXXX)
    echo "$dir" >"$state/cluster"
    if [ "$(id -u)" -eq 0 ]; then
        chown postgres: "$dir"
    fi
    # C.UTF-8 folds the case of every letter, so a text column that lacks the "C" collation shows in
    # the tests as a search that finds "É" for "é".
    as_owner "$bindir/initdb" -D "$dir/data" -A trust -U postgres -E UTF8 --locale=C.UTF-8 >"$dir/initdb.log" ||
        { cat "$dir/initdb.log" >&2; return 1; }
    launch "$dir"
    echo "host=$dir port=$port user=postgres dbname=postgres" >"$state/conninfo"
    echo "PostgreSQL test server: $(cat "$state/conninfo")"
}

# Starts the server of the cluster in dir and waits until it takes connections.
launch() {
    local dir=$1
    # Durability is of no use to a throwaway cluster; a small cache leaves memory to parallel runs.
    local options="-p $port -k $dir -c listen_addresses='' -c fsync=off -c synchronous_commit=off"
    options+=" -c full_page_writes=off -c shared_buffers=16MB"
    if ! as_owner "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -o "$options" -w -t 60 start >/dev/null; then
        cat "$dir/server.log" >&2
        return 1
    fi
    local tries=0
    until "$bindir/pg_isready" -q -h "$dir" -p "$port"; do
        tries=$((tries + 1))
        if [ $tries -ge 100 ]; then
            cat "$dir/server.log" >&2
            return 1
        fi
        sleep 0.1
    done
}

down() {
    as_owner "$bindir/pg_ctl" -D "$(cat "$state/cluster")/data" -m "${1:-fast}" -w stop >/dev/null
}

bindir=$(find_bindir)
case "$action" in
start) start ;;
stop) stop ;;
down) down "${3:-fast}" ;;
up) launch "$(cat "$state/cluster")" ;;
*)
    echo "$usage" >&2
    exit 2
    ;;
esac
