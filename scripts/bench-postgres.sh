#!/usr/bin/env bash
# Runs the benchmark on PostgreSQL: a private cluster kept between runs (listening only on a Unix socket
# in its folder), a database per size loaded once with the data of the SQLite file of that size.
#
#   scripts/bench-postgres.sh SIZE OUT_DIR [Google Benchmark flags]
#   scripts/bench-postgres.sh --stop     (stops the cluster where it runs)
#
# Writes OUT_DIR/SIZE-postgres.json. Environment: DUEVIA_BENCH_DATA (the SQLite files),
# DUEVIA_BENCH_PG (the cluster's folder, default /var/tmp/duevia-bench-pg), DUEVIA_BENCH_BUILD.
set -euo pipefail
cd "$(dirname "$0")/.."
data=${DUEVIA_BENCH_DATA:-$HOME/.cache/duevia-bench}
cluster=${DUEVIA_BENCH_PG:-/var/tmp/duevia-bench-pg}
build=${DUEVIA_BENCH_BUILD:-build-bench}
bin=$(ls -d /usr/lib/postgresql/*/bin | sort -V | tail -1)

# The server refuses to run as root: as root, it runs as the postgres system user.
as_server() {
    if [ "$(id -u)" = 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

if [ "${1:-}" = --stop ]; then
    if [ -f "$cluster/PG_VERSION" ] && as_server "$bin/pg_ctl" -D "$cluster" status >/dev/null; then
        as_server "$bin/pg_ctl" -D "$cluster" -w stop >/dev/null
    fi
    exit 0
fi
size=$1
out=$2
shift 2

if [ ! -f "$cluster/PG_VERSION" ]; then
    mkdir -p "$cluster"
    [ "$(id -u)" = 0 ] && chown postgres: "$cluster"
    as_server "$bin/initdb" -D "$cluster" -A trust -U postgres >/dev/null
fi
# Shared buffers that hold both databases: the virtual machines this runs on hand the file cache back to
# their host within seconds, so that pages outside the server's own buffers are read from the disk again.
buffers=4GB
if as_server "$bin/pg_ctl" -D "$cluster" status >/dev/null &&
    [ "$(psql -h "$cluster" -U postgres -d postgres -tAc 'SHOW shared_buffers')" != "$buffers" ]; then
    as_server "$bin/pg_ctl" -D "$cluster" -w stop >/dev/null
fi
if ! as_server "$bin/pg_ctl" -D "$cluster" status >/dev/null; then
    as_server "$bin/pg_ctl" -D "$cluster" -l "$cluster/server.log" -w \
        -o "-k $cluster -c listen_addresses='' -c shared_buffers=$buffers" start >/dev/null
fi

# The data version of the file (scripts/bench-data.py) names the database: a database of older data is
# dropped and the new data loaded.
# The file format and the generated data's own version: either change loads the data again.
version=$(/usr/bin/python3 -c 'import sqlite3, sys
db = sqlite3.connect(sys.argv[1])
try:
    data = db.execute("SELECT version FROM bench_data").fetchone()[0]
except sqlite3.Error:
    data = 0
print("%d_%d" % (db.execute("PRAGMA user_version").fetchone()[0], data))' "$data/tasks-$size.db")
prefix=bench_${size//-/_}
prefix=${prefix,,}
database=${prefix}_v$version
for old in $(psql -h "$cluster" -U postgres -d postgres -tAc \
    "SELECT datname FROM pg_database WHERE datname LIKE '${prefix}%' AND datname <> '$database'"); do
    psql -q -h "$cluster" -U postgres -d postgres -c "DROP DATABASE $old"
done
conninfo="host=$cluster user=postgres dbname=$database"
if ! psql -h "$cluster" -U postgres -d postgres -tAc "SELECT 1 FROM pg_database WHERE datname = '$database'" |
    grep -q 1; then
    echo "loading $size into PostgreSQL (once)"
    psql -q -h "$cluster" -U postgres -d postgres -c "CREATE DATABASE $database"
    QT_QPA_PLATFORM=offscreen "$build/bench/duevia-bench" --server="$conninfo" --create-only=yes
    if ! python3 scripts/bench-postgres-load.py "$data/tasks-$size.db" -h "$cluster" -U postgres -d "$database"; then
        psql -q -h "$cluster" -U postgres -d postgres -c "DROP DATABASE $database"
        exit 1
    fi
fi
QT_QPA_PLATFORM=offscreen "$build/bench/duevia-bench" --server="$conninfo" \
    --benchmark_out="$out/$size-postgres.json" --benchmark_out_format=json "$@"
