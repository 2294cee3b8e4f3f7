#!/usr/bin/python3
"""The other device of the sync tests: a second CalDAV client (python3-caldav) on the same task list.

Reads one JSON command per line on stdin and answers one JSON line on stdout:
  {"op": "list"}                                  -> {uid: {"data": text}}
  {"op": "create", "uid": U, "summary": S}        -> {} (with an alarm, categories and a relation)
  {"op": "set", "uid": U, "prop": P, "value": V}  -> {} (replaces or adds the line P:V)
  {"op": "complete", "uid": U} / {"op": "delete", "uid": U}
Edits are made on the text as the server holds it, as a careful client would.
"""
import datetime
import json
import re
import sys

import caldav

EXTRAS = (
    "CATEGORIES:Phone,Follow-up\r\n"
    "RELATED-TO;RELTYPE=PARENT:parent-of-{uid}\r\n"
    "X-OTHER-CLIENT;X-PARAM=keep:other client's own value that is long enough to be folded by a "
    "writer that folds\r\n"
    "BEGIN:VALARM\r\nACTION:DISPLAY\r\nDESCRIPTION:Reminder\r\nTRIGGER:-PT15M\r\nEND:VALARM\r\n"
)


def todo_text(uid, summary):
    return ("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Peer//Peer//EN\r\nBEGIN:VTODO\r\n"
            "UID:{uid}\r\nDTSTAMP:20261208T090000Z\r\nLAST-MODIFIED:20261208T090000Z\r\n"
            "SUMMARY:{summary}\r\nDUE:20261224T120000Z\r\nSTATUS:NEEDS-ACTION\r\n" + EXTRAS +
            "END:VTODO\r\nEND:VCALENDAR\r\n").format(uid=uid, summary=summary)


def set_property(text, prop, value):
    """Replaces the task's own line of prop (not one inside the alarm), or adds it."""
    lines = re.split(r"\r?\n(?![ \t])", text)
    depth, out, done = 0, [], False
    for line in lines:
        if line.startswith("BEGIN:"):
            depth += 1
        if depth == 2 and re.match(prop + r"[;:]", line):
            if not done:
                out.append(prop + ":" + value)
                done = True
            continue
        if line.startswith("END:VTODO") and not done:
            out.append(prop + ":" + value)
            done = True
        if line.startswith("END:"):
            depth -= 1
        out.append(line)
    return "\r\n".join(out)


def main():
    url, user, password, collection = sys.argv[1:5]
    client = caldav.DAVClient(url=url, username=user, password=password)
    calendar = caldav.Calendar(client=client, url=collection)
    for line in sys.stdin:
        command = json.loads(line)
        op = command["op"]
        answer = {}
        if op == "list":
            for todo in calendar.todos(include_completed=True):
                text = todo.data
                uid = re.search(r"^UID:(.*?)\r?$", text, re.M).group(1)
                answer[uid] = {"data": text}
        elif op == "create":
            calendar.save_todo(todo_text(command["uid"], command["summary"]))
        else:
            todo = calendar.object_by_uid(command["uid"], comp_class=caldav.Todo)
            if op == "delete":
                todo.delete()
            else:
                text = todo.data
                stamp = command.get("stamp") or datetime.datetime.utcnow().strftime("%Y%m%dT%H%M%SZ")
                if op == "complete":
                    text = set_property(text, "STATUS", "COMPLETED")
                else:
                    text = set_property(text, command["prop"], command["value"])
                text = set_property(text, "LAST-MODIFIED", stamp)
                todo.data = text
                todo.save()
        print(json.dumps(answer), flush=True)


if __name__ == "__main__":
    main()
