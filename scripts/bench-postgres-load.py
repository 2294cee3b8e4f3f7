#!/usr/bin/env python3
"""Copies the four tables of a benchmark file (scripts/bench-data.py) into a PostgreSQL database whose
tables the program made (duevia-bench --server=... --create-only=yes), through psql's COPY.

  scripts/bench-postgres-load.py FILE PSQL_ARGS...

The rows go in with the database's own triggers, so its counters, buckets and search indexes come out
exactly as the program keeps them; the id sequences are moved past the copied ids afterwards.
"""
import sqlite3
import subprocess
import sys

TABLES = {
    "users": ["id", "username", "password_hash", "salt", "name", "role", "active", "created_at"],
    "customers": ["id", "user_id", "name", "notes", "create_at"],
    "customer_contacts": ["id", "customer_id", "type", "value", "label", "create_at"],
    "tasks": ["id", "user_id", "customer_id", "name", "notes", "level", "active", "expire_at",
              "expire_at_epoch", "create_at"],
}


def cell(value):
    """One field of COPY's text format."""
    if value is None:
        return "\\N"
    if isinstance(value, bytes):
        return "\\\\x" + value.hex()
    text = str(value)
    return (text.replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n").replace("\r", "\\r"))


def main():
    source, psql_args = sys.argv[1], sys.argv[2:]
    db = sqlite3.connect(source)
    for table, columns in TABLES.items():
        psql = subprocess.Popen(["psql", "-q", "-v", "ON_ERROR_STOP=1", *psql_args, "-c",
                                 f"COPY {table} ({', '.join(columns)}) FROM STDIN"],
                                stdin=subprocess.PIPE, text=True)
        rows = db.execute(f"SELECT {', '.join(columns)} FROM {table} ORDER BY id")
        for row in rows:
            psql.stdin.write("\t".join(cell(value) for value in row) + "\n")
        psql.stdin.close()
        if psql.wait() != 0:
            sys.exit(f"copying {table} failed")
        print(f"copied {table}", flush=True)
    moves = "; ".join(f"SELECT setval(pg_get_serial_sequence('{table}', 'id'), "
                      f"(SELECT COALESCE(MAX(id), 0) + 1 FROM {table}), false)" for table in TABLES)
    subprocess.run(["psql", "-q", "-v", "ON_ERROR_STOP=1", *psql_args, "-c", moves],
                   check=True, stdout=subprocess.DEVNULL)
    # A vacuum sets the visibility map that index-only scans need, as autovacuum would in time; it
    # cannot run inside the transaction that psql -c wraps several statements in.
    subprocess.run(["psql", "-q", "-v", "ON_ERROR_STOP=1", *psql_args, "-c", "VACUUM (ANALYZE)"],
                   check=True, stdout=subprocess.DEVNULL)


if __name__ == "__main__":
    main()
