#!/usr/bin/env python3
"""Turns one run of scripts/bench-results.sh into bench/RESULTS.md, or into the "before" figures.

  scripts/bench-report.py RUN_DIR --baseline bench/baseline.json --out bench/RESULTS.md
  scripts/bench-report.py RUN_DIR --record bench/baseline.json     (keeps the sizes not in RUN_DIR)

RUN_DIR holds, per size, SIZE.json (Google Benchmark's JSON), SIZE.facts.json and SIZE.load, and
SIZE-postgres.json where the same data also ran on PostgreSQL (scripts/bench-postgres.sh).
"""
import argparse
import json
import re
import sys
from pathlib import Path

SIZES = ["1k", "100k-of-1M", "1M-of-1M"]
BIG = SIZES[1:]
FRAME_MS = 16.0
UNIT_MS = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}


def medians(entries, field):
    """{case: median in ms} of Google Benchmark's entries (a lone repetition is its own median)."""
    plain, found = {}, {}
    for entry in entries:
        if entry.get("error_occurred"):
            continue
        ms = entry[field] * UNIT_MS[entry.get("time_unit", "ns")]
        name = entry.get("run_name", entry["name"]).removesuffix("/real_time")
        if entry.get("aggregate_name") == "median":
            found[name] = ms
        elif entry.get("run_type", "iteration") == "iteration":
            plain.setdefault(name, []).append(ms)
    for name, times in plain.items():
        found.setdefault(name, sorted(times)[len(times) // 2])
    order = list(dict.fromkeys(entry.get("run_name", entry["name"]).removesuffix("/real_time") for entry in entries))
    return {name: round(found[name], 4) for name in order if name in found}


def read_run(folder):
    """{size: {"cases": {name: median ms}, "facts": {...}, "load": str}} for the sizes present."""
    sizes = {}
    for size in SIZES:
        path = folder / f"{size}.json"
        if not path.exists():
            continue
        entries = json.loads(path.read_text())["benchmarks"]
        cases, cpu = medians(entries, "real_time"), medians(entries, "cpu_time")
        facts_path = folder / f"{size}.facts.json"
        load_path = folder / f"{size}.load"
        startup_path = folder / f"{size}.startup"
        postgres_path = folder / f"{size}-postgres.json"
        postgres = json.loads(postgres_path.read_text())["benchmarks"] if postgres_path.exists() else []
        sizes[size] = {
            "postgres": medians(postgres, "real_time"),
            "cases": cases,
            "cpu": cpu,
            "facts": json.loads(facts_path.read_text()) if facts_path.exists() else {},
            "startup_ms": float(startup_path.read_text()) if startup_path.exists() and
            startup_path.read_text().strip() else None,
            "load": load_path.read_text().strip() if load_path.exists() else "",
        }
    return sizes


def read_floor(folder):
    """The start-up floor in ms, or None where the run has none."""
    path = folder / "floor.startup"
    text = path.read_text().strip() if path.exists() else ""
    return float(text) if text else None


def case_target(name, size, before):
    """(text, limit in ms) of a case at a size, or None where the issue sets none."""
    if name.startswith("save/"):
        if size == "1k":
            return (f"≤ 2× before ({2 * before:.2f})", 2 * before) if before else None
        return (f"≤ {FRAME_MS:.0f}", FRAME_MS)
    if name == "login" or size not in BIG:
        return None
    if name.startswith("tasks/search/") and re.search(r"/[12]chars?$", name):
        return (f"page ≤ {FRAME_MS:.0f}", FRAME_MS)
    return (f"≤ {FRAME_MS:.0f}", FRAME_MS)


def fmt(value):
    if value is None:
        return "—"
    return f"{value:,.2f}" if value < 100 else f"{value:,.0f}"


def postgres_target(name):
    """The limit in ms of a case on PostgreSQL: page loads, search, the due-soon check, statistics, calendar."""
    if name.startswith("tasks/"):
        return FRAME_MS
    return None


def verdict(value, limit):
    if limit is None or value is None:
        return "—"
    return "met" if value <= limit else "**not met**"


def facts_table(now, before):
    lines = ["| size | file before | file now | target | met | peak memory before | peak memory now | target | met |"
             " one-time prepare before | prepare now | start-up before | start-up now | target | met |",
             "|---|---|---|---|---|---|---|---|---|---|---|---|---|---|---|"]
    small_peak = now.get("1k", {}).get("facts", {}).get("peak_kib")
    for size in SIZES:
        if size not in now:
            continue
        f, b = now[size]["facts"], before.get(size, {}).get("facts", {})
        mib = lambda v: None if v is None else v / 1048576  # noqa: E731
        file_now, file_before = mib(f.get("file_bytes")), mib(b.get("file_bytes"))
        file_limit = 2.5 * file_before if file_before and size in BIG else None
        peak_now = f.get("peak_kib", 0) / 1024 if f.get("peak_kib") else None
        peak_before = b.get("peak_kib", 0) / 1024 if b.get("peak_kib") else None
        peak_limit = small_peak / 1024 + 20 if small_peak and size in BIG else None
        lines.append(
            f"| {size} | {fmt(file_before)} MiB | {fmt(file_now)} MiB |"
            f" {'≤ ' + fmt(file_limit) + ' MiB' if file_limit else '—'} | {verdict(file_now, file_limit)} |"
            f" {fmt(peak_before)} MiB | {fmt(peak_now)} MiB |"
            f" {'≤ ' + fmt(peak_limit) + ' MiB' if peak_limit else '—'} | {verdict(peak_now, peak_limit)} |"
            f" {fmt(b.get('prepare_ms'))} ms | {fmt(f.get('prepare_ms'))} ms |"
            f" {fmt(before.get(size, {}).get('startup_ms'))} ms | {fmt(now[size].get('startup_ms'))} ms |"
            f" {'≤ 250 ms' if size == '1M-of-1M' else '—'} |"
            f" {verdict(now[size].get('startup_ms'), 250 if size == '1M-of-1M' else None)} |")
    return lines


DENSITY = re.compile(r"^tasks/search/(spread|clustered):([0-9.]+%)/(\w+)$")
DENSITY_STEPS = ["typed", "typedMark", "nextPage", "previousPage", "lastPage"]
STEP_LABELS = {"typedMark": "typed + ~"}


def density_table(now):
    """Per size, the searches by density: as typed (count read anew) and paging with the count known,
    on the file and, where it ran, on PostgreSQL; figures above a frame in bold."""
    lines = []
    for size in BIG:
        if size not in now:
            continue
        engines = [("file", now[size]["cases"])]
        if now[size].get("postgres"):
            engines.append(("PostgreSQL", now[size]["postgres"]))
        rows = {}
        for engine, cases in engines:
            for name, value in cases.items():
                match = DENSITY.match(name)
                if match:
                    rows.setdefault((match.group(2), match.group(1)), {})[(engine, match.group(3))] = value
        if not rows:
            continue
        heading = "| share | matches |" + "".join(f" {engine} {STEP_LABELS.get(step, step)} |" for engine, _ in engines
                                                 for step in DENSITY_STEPS)
        lines += [f"### {size}", "", heading, "|---|---|" + "---|" * (len(engines) * len(DENSITY_STEPS))]
        for (share, layout) in sorted(rows, key=lambda key: (float(key[0].rstrip("%")), key[1] != "spread")):
            cells = []
            for engine, _ in engines:
                for step in DENSITY_STEPS:
                    value = rows[(share, layout)].get((engine, step))
                    text = fmt(value)
                    cells.append(f"**{text}**" if value is not None and value > FRAME_MS else text)
            lines.append(f"| {share} | {layout} | " + " | ".join(cells) + " |")
        lines.append("")
    if not lines:
        return []
    return ["## Search by density", "",
            "The words of `scripts/bench-data.py` that this share of the signed-in user's tasks holds, spread"
            " at random or clustered in one stretch of creation (ids 12 % of the way from the oldest), searched"
            " in the default order (newest first). Typed: the text set with its count read anew; the pages"
            " follow with the count known (next and previous within the first 50 pages, last from page 1)."
            " Milliseconds; above a frame (16 ms) in bold.", ""] + lines


def report(now, baseline, header, floor=None):
    before = baseline.get("sizes", {})
    lines = ["# Benchmark results", "",
             "Written by `scripts/bench-results.sh` (Release build, medians of the repetitions, times in"
             " ms of wall-clock time through the real classes; \"before\" is `bench/baseline.json`, measured on"
             " the program before the performance work). Targets apply where the work promises them and are"
             " judged on wall-clock time; the CPU time of the calling thread shows how much of it was"
             " waiting (the disk, or other programs on the shared machine: see the load). Each size runs on"
             " a fresh copy of the generated file, prepared by the program's start-up and then given"
             " planner statistics once (`ANALYZE`).", ""]
    lines += header + [""]
    lines += [f"Before: {baseline.get('measured', '?')}, commit {baseline.get('commit', '?')}.", ""]
    for size in SIZES:
        if size not in now:
            continue
        postgres = now[size].get("postgres", {})
        heading = "| case | before | now | target | met | CPU before | CPU now |"
        rule = "|---|---|---|---|---|---|---|"
        if postgres:
            heading += " PostgreSQL | target | met |"
            rule += "---|---|---|"
        lines += [f"## {size}", "", f"Load while running: {now[size]['load'] or '?'}"
                  f" (before: {before.get(size, {}).get('load', '?')})", "", heading, rule]
        old = before.get(size, {}).get("cases", {})
        old_cpu, cpu = before.get(size, {}).get("cpu", {}), now[size]["cpu"]
        for name in list(now[size]["cases"]) + [name for name in old if name not in now[size]["cases"]]:
            value, previous = now[size]["cases"].get(name), old.get(name)
            target = case_target(name, size, previous)
            met = verdict(value, target[1] if target else None)
            line = (f"| `{name}` | {fmt(previous)} | {fmt(value)} | {target[0] if target else '—'} | {met} |"
                    f" {fmt(old_cpu.get(name))} | {fmt(cpu.get(name))} |")
            if postgres:
                limit = postgres_target(name)
                line += (f" {fmt(postgres.get(name))} | {'≤ ' + fmt(limit) if limit else '—'} |"
                         f" {verdict(postgres.get(name), limit)} |")
            lines.append(line)
        lines.append("")
    lines += density_table(now)
    lines += ["## File, memory and the one-time preparation", "",
              "File: size after the program prepared it. Memory: peak resident size after the cases"
              " (the preparation excluded). Prepare: `ensureSchema()` + `ensureIndexes()` on a fresh"
              " copy of the generated file. Start-up: launch of the real program on the prepared file"
              " to its first rendered frame (sign-in page) under Xvfb, the middle of three starts.", ""]
    lines += facts_table(now, before) + [""]
    if floor is not None:
        lines += [f"Start-up floor in the same run: {fmt(floor)} ms, the middle of three starts of"
                  " `bench/startup_floor.cpp`, a window of the same application class, style, renderer"
                  " and render loop with a form of two fields and a button, and nothing behind it.", ""]
    missed = sum(line.count("**not met**") for line in lines)
    lines.append(f"Figures not meeting their target: {missed}.")
    return "\n".join(lines) + "\n"


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("run", type=Path)
    parser.add_argument("--baseline", type=Path)
    parser.add_argument("--out", type=Path)
    parser.add_argument("--record", type=Path)
    parser.add_argument("--header", default="")
    args = parser.parse_args()
    now = read_run(args.run)
    if not now:
        sys.exit(f"bench-report: no results in {args.run}")
    if args.record:
        data = json.loads(args.record.read_text()) if args.record.exists() else {}
        data.setdefault("sizes", {}).update(now)
        for key in ("measured", "commit"):
            match = re.search(rf"{key}: ([^;]+)", args.header)
            if match:
                data[key] = match.group(1).strip()
        args.record.write_text(json.dumps(data, indent=1, ensure_ascii=False) + "\n")
        return
    baseline = json.loads(args.baseline.read_text()) if args.baseline and args.baseline.exists() else {}
    text = report(now, baseline, [args.header] if args.header else [], read_floor(args.run))
    # The real window's figures come from scripts/window-timing.sh, which needs a display of its own.
    window = args.out.parent / "WINDOW-RESULTS.md"
    if window.exists():
        text += "\n" + window.read_text().replace("# The window", "## The window", 1)
    args.out.write_text(text)


if __name__ == "__main__":
    main()
