#!/usr/bin/env python3
"""Generates the benchmark's database files once into a cache folder.

The files hold the four tables exactly as the program creates them (the statements are read from
src/storage/DbManager.cpp) and nothing else: the benchmark builds the program's extras on a copy.

  scripts/bench-data.py [--dir DIR] [SIZE ...]     SIZE: 1k, 100k-of-1M, 1M-of-1M (default: all)

DIR defaults to $DUEVIA_BENCH_DATA or ~/.cache/duevia-bench. Existing files of the current DATA_VERSION
are kept; the data's version is in the table bench_data (user_version is the program's file format).
"""
import argparse
import hashlib
import os
import random
import re
import sqlite3
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent

# name: (tasks of the signed-in user, tasks of each other user, other users, customers)
SIZES = {
    "1k": (1_000, 0, 0, 5_000),
    "100k-of-1M": (100_000, 100_000, 9, 100_000),
    "1M-of-1M": (1_000_000, 0, 0, 100_000),
}
TABLES = ["users", "tasks", "customers", "customer_contacts"]
CUSTOMERS_PER_USER = 200
PASSWORD = b"password123"
YEARS = 5
DONE_SHARE = 0.6
# The texts the benchmark searches for rely on these: exactly one task holds RARE_WORD, exactly one
# customer of the signed-in user is called CUSTOMER_NAME.
RARE_WORD = "quetzal"
CUSTOMER_NAME = "Halvorsen Marine"
# Words that each user's task names hold at these shares of that user's tasks: spread at random, or
# clustered in one stretch of creation (and so of ids) starting at 12 % of the way from the oldest.
# No other text of the data holds any three letters of them in a row.
DENSITIES = [0.0001, 0.001, 0.01, 0.1, 0.5]
SPREAD_WORDS = ["axolotl", "bison", "caribou", "dingo", "egret"]
CLUSTERED_WORDS = ["falcon", "gecko", "heron", "iguana", "jackal"]
CLUSTER_START = 0.12
# Raised whenever the data changes, so that the files and databases made before are made again.
DATA_VERSION = 2

VERBS = ["Send", "Call", "Review", "Prepare", "Check", "Order", "Update", "Plan", "File", "Confirm",
         "Renew", "Deliver"]
NOUNS = ["invoice", "contract", "delivery", "report", "meeting", "quote", "payment", "samples",
         "design", "proposal", "licence", "survey"]
NOTES = ["", "", "", "Ask for the signed copy.", "Bring the price list.", "Second reminder.",
         "Waiting for their answer since last week."]
SURNAMES = ["Abbott", "Baker", "Carver", "Dalton", "Ellison", "Foster", "Garner", "Hughes", "Irwin",
            "Jensen", "Keller", "Lawson", "Mercer", "Norris", "Osborne", "Porter", "Quinn", "Reyes",
            "Sutton", "Turner", "Upton", "Vance", "Warren", "Yates"]
KINDS = ["Bakery", "Logistics", "Studio", "Garden Supply", "Plumbing", "Dental", "Books", "Printing"]
CONTACT_TYPES = ["phone", "email", "phone", "address"]


def schema_sql():
    """The CREATE TABLE statements of the four tables, read from DbManager.cpp as the program runs them."""
    source = (ROOT / "src/storage/DbManager.cpp").read_text()
    statements = {}
    # Adjacent C string literals form one statement.
    for run in re.finditer(r'(?:"(?:[^"\\\n]|\\.)*"\s*)+', source):
        text = "".join(s.encode().decode("unicode_escape")
                       for s in re.findall(r'"((?:[^"\\\n]|\\.)*)"', run.group(0)))
        table = re.match(r"\s*CREATE TABLE IF NOT EXISTS (\w+)", text)
        if table and table.group(1) in TABLES:
            statements.setdefault(table.group(1), text)
    if len(statements) != len(TABLES):
        sys.exit("bench-data: cannot find the CREATE TABLE statements of the four tables in DbManager.cpp")
    return ";\n".join(statements[t].rstrip().rstrip(";") for t in TABLES) + ";"


def utc_text(epoch):
    # As Qt's SQLite driver writes a UTC QDateTime.
    return time.strftime("%Y-%m-%dT%H:%M:%S.000Z", time.gmtime(epoch))


def stamp(epoch):
    # As SQLite's CURRENT_TIMESTAMP.
    return time.strftime("%Y-%m-%d %H:%M:%S", time.gmtime(epoch))


def users(db, count):
    rows = []
    for i in range(count):
        salt = os.urandom(32)
        digest = hashlib.pbkdf2_hmac("sha256", PASSWORD, salt, 100_000, 32)
        username = "bench" if i == 0 else f"user{i + 1}"
        rows.append((i + 1, username, digest, salt, f"User {i + 1}", "user", 1, stamp(time.time())))
    db.executemany("INSERT INTO users (id, username, password_hash, salt, name, role, active, created_at)"
                   " VALUES (?, ?, ?, ?, ?, ?, ?, ?)", rows)


def customers(db, count, user_count, rng, now):
    """Customer c belongs to user ((c - 1) // 200) % users; the first 200 are the signed-in user's."""
    start = now - YEARS * 365 * 86400
    rows, contacts = [], []
    for c in range(1, count + 1):
        name = CUSTOMER_NAME if c == 7 else f"{rng.choice(SURNAMES)} {rng.choice(KINDS)} {c}"
        user = 1 + ((c - 1) // CUSTOMERS_PER_USER) % user_count
        created = start + (now - start) * c // (count + 1)
        rows.append((c, user, name, "" if c % 3 else "Pays at the end of the month.", stamp(created)))
        for k in range(rng.randint(1, 4)):
            kind = CONTACT_TYPES[k]
            value = {"phone": f"+1 555 {rng.randrange(10000):04d}", "email": f"office{c}@example.com",
                     "address": f"{rng.randint(1, 300)} Main Street"}[kind]
            contacts.append((c, kind, value, "", stamp(created)))
    db.executemany("INSERT INTO customers (id, user_id, name, notes, create_at) VALUES (?, ?, ?, ?, ?)",
                   rows)
    db.executemany("INSERT INTO customer_contacts (customer_id, type, value, label, create_at)"
                   " VALUES (?, ?, ?, ?, ?)", contacts)


def tasks(db, counts, rng, now):
    """Five years of expiries around today; ids in creation order, users interleaved."""
    start = now - YEARS * 365 * 86400 // 2
    minutes = YEARS * 365 * 24 * 60
    rows = []
    for user, count in enumerate(counts, start=1):
        first_customer = (user - 1) * CUSTOMERS_PER_USER + 1
        for i in range(count):
            expiry = start + rng.randrange(minutes) * 60
            created = min(expiry - rng.randrange(30 * 86400), now - rng.randrange(86400))
            name = f"{rng.choice(VERBS)} {rng.choice(NOUNS)} {rng.randint(1, 999)}"
            if user == 1 and i == count // 2:
                name = f"Inspect the {RARE_WORD} feeder"
            customer = 0 if rng.random() < 0.1 else first_customer + rng.randrange(CUSTOMERS_PER_USER)
            rows.append((created, user, customer, name, rng.choice(NOTES), rng.randint(1, 100),
                         1 if rng.random() < DONE_SHARE else 0, expiry))
    rows.sort(key=lambda row: row[0])
    rows = with_density_words(rows, counts)
    db.executemany(
        "INSERT INTO tasks (user_id, customer_id, name, notes, level, active, expire_at, expire_at_epoch,"
        " create_at) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)",
        ((u, c, n, notes, level, done, utc_text(e), e, stamp(created))
         for created, u, c, n, notes, level, done, e in rows))


def with_density_words(rows, counts):
    """Appends the density words to the names, by each user's creation order; its own random numbers
    leave every other value as before."""
    rng = random.Random(DATA_VERSION)
    spread = {}
    for user, count in enumerate(counts, start=1):
        for share, word in zip(DENSITIES, SPREAD_WORDS):
            for rank in rng.sample(range(count), round(share * count)):
                spread.setdefault((user, rank), []).append(word)
    ranks = [0] * (len(counts) + 1)
    tagged = []
    for created, u, c, name, notes, level, done, e in rows:
        rank, count = ranks[u], counts[u - 1]
        ranks[u] += 1
        words = spread.get((u, rank), [])
        start = int(CLUSTER_START * count)
        words += [word for share, word in zip(DENSITIES, CLUSTERED_WORDS)
                  if start <= rank < start + round(share * count)]
        tagged.append((created, u, c, " ".join([name] + words), notes, level, done, e))
    return tagged


def generate(path, size):
    own, each_other, others, customer_count = SIZES[size]
    rng = random.Random(size)
    now = int(time.time()) // 60 * 60
    partial = path.with_suffix(".partial")
    partial.unlink(missing_ok=True)
    db = sqlite3.connect(partial)
    db.execute("PRAGMA synchronous = OFF")
    db.executescript(schema_sql())
    db.execute("CREATE TABLE bench_data (version INTEGER NOT NULL)")
    db.execute("INSERT INTO bench_data (version) VALUES (?)", (DATA_VERSION,))
    with db:
        users(db, 1 + others)
        customers(db, customer_count, max(1 + others, 1), rng, now)
        tasks(db, [own] + [each_other] * others, rng, now)
    db.close()
    partial.rename(path)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawTextHelpFormatter)
    parser.add_argument("--dir", default=os.environ.get("DUEVIA_BENCH_DATA",
                                                        str(Path.home() / ".cache/duevia-bench")))
    parser.add_argument("sizes", nargs="*", default=list(SIZES), choices=list(SIZES))
    args = parser.parse_args()
    folder = Path(args.dir)
    folder.mkdir(parents=True, exist_ok=True)
    for size in args.sizes:
        path = folder / f"tasks-{size}.db"
        if path.exists():
            try:
                version = sqlite3.connect(path).execute("SELECT version FROM bench_data").fetchone()[0]
            except sqlite3.Error:
                version = None
            if version == DATA_VERSION:
                print(f"{path}: present")
                continue
            path.unlink()
        began = time.monotonic()
        generate(path, size)
        print(f"{path}: generated in {time.monotonic() - began:.0f} s")


if __name__ == "__main__":
    main()
