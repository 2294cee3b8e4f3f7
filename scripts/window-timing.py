#!/usr/bin/python3
"""Reads the frame logs of the real window (DUEVIA_FRAME_LOG, written by scripts/window-timing.sh) and
prints, per action, the milliseconds from the input to the swap of the first frame that shows its result.

  scripts/window-timing.py LOG [LOG ...]

The result is ready once the input's handlers have returned ("done") and, for the actions that read the
table again, the table's first reload after the input; its frame is the first one synchronised after that.
"""
import statistics
import sys

# Actions in the order of the table; each reads the table again except the dialog.
ACTIONS = {
    "sign-in (Return)": True,
    "sort (header click)": True,
    "search (a key)": True,
    "End": True,
    "Home": True,
    "Ctrl+N (dialog)": False,
}


def read(path):
    events = []
    with open(path) as log:
        for line in log:
            parts = line.split(" ", 2)
            if len(parts) >= 2:
                events.append((float(parts[0]), parts[1], parts[2].strip() if len(parts) > 2 else ""))
    events.sort(key=lambda event: event[0])
    return events


def inputs(events):
    """(index, action) of every measured input: keys while the search field is being typed in count as
    searches, the other keys by name, every mouse release as a header click."""
    searching = False
    for i, (_, kind, detail) in enumerate(events):
        if kind == "release":
            yield i, "sort (header click)"
        elif kind != "key":
            continue
        elif detail == "Ctrl+F":
            searching = True
        elif "+" in detail or detail in ("Escape", "Tab"):
            searching = False
            if detail == "Ctrl+N":
                yield i, "Ctrl+N (dialog)"
        elif searching:
            yield i, "search (a key)"
        elif detail in ("Return", "End", "Home"):
            yield i, "sign-in (Return)" if detail == "Return" else detail


def measure(events, start, reloads):
    """The steps of one input, in ms from it, or None when its result never reached a frame."""
    t0 = events[start][0]
    end = next((i for i in range(start + 1, len(events)) if events[i][1] in ("key", "press", "release")),
               len(events))
    window = events[start + 1:end]
    done = next((t for t, kind, _ in window if kind == "done"), None)
    resets = [t for t, kind, _ in window if kind == "reset"]
    if done is None or (reloads and not resets):
        return None
    ready = max([done] + resets[:1])
    steps = {"handlers": done - t0}
    queried = [t for t, kind, _ in window if kind == "query-done"]
    if reloads and queried:
        steps["service"] = queried[0] - t0
    signed = [t for t, kind, _ in window if kind == "signed-in"]
    if signed:
        steps["sign-in"] = signed[0] - t0
    frame_start = None
    synced = None
    for t, kind, _ in events[start + 1:]:
        if kind == "frame":
            frame_start = t
        elif kind == "sync" and synced is None and t > ready:
            synced = t
            steps["frame"] = (frame_start if frame_start and frame_start > ready else t) - t0
            steps["sync"] = t - t0
        elif kind == "swap" and synced is not None:
            steps["total"] = t - t0
            return steps
    return None


def main():
    runs = {action: [] for action in ACTIONS}
    pbkdf2 = []
    for path in sys.argv[1:]:
        events = read(path)
        pbkdf2 += [float(detail) for _, kind, detail in events if kind == "pbkdf2"]
        for index, action in inputs(events):
            steps = measure(events, index, ACTIONS[action])
            if steps:
                runs[action].append(steps)
    print("| action | n | median ms | min | max | handlers return | of which service | first frame starts |"
          " frame swapped after sync |")
    print("|---|---|---|---|---|---|---|---|---|")
    for action, measured in runs.items():
        if not measured:
            continue

        def median(step):
            values = [m[step] for m in measured if step in m]
            return f"{statistics.median(values):.0f}" if values else ""
        totals = [m["total"] for m in measured]
        render = statistics.median(m["total"] - m["sync"] for m in measured)
        print(f"| {action} | {len(measured)} | {statistics.median(totals):.0f} | {min(totals):.0f} |"
              f" {max(totals):.0f} | {median('handlers')} | {median('service')} | {median('frame')} |"
              f" {render:.0f} |")
    if pbkdf2:
        print(f"\nPBKDF2 (100,000 rounds) alone: {statistics.median(pbkdf2):.0f} ms; sign-in's password check"
              f" (from Return to signed in): {statistics.median(m['sign-in'] for m in runs['sign-in (Return)']):.0f}"
              " ms" if runs["sign-in (Return)"] else "")


if __name__ == "__main__":
    main()
