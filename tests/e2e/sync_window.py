#!/usr/bin/python3
"""Computers a and b (run-sync-window.sh) and a second CalDAV client share a list, seen in the tree."""
import json, os, re, sqlite3, subprocess, sys, time

import pyatspi

from atspi_window import Window, wait_for

DIR = os.environ["E2E_DIR"]
SERVER = open(f"{DIR}/radicale/url").read().strip()


class Computer(Window):
    def __init__(self, name):
        super().__init__(name, ":" + open(f"{DIR}/{name}.display").read().strip(), int(open(f"{DIR}/{name}.pid").read()))
        self.db = f"{DIR}/{name}/data/appQuilloQml3/duevia2.db"

    def tasks(self, query="SELECT name, COALESCE(notes, '') FROM tasks", *values):
        with sqlite3.connect(f"file:{self.db}?mode=ro", uri=True) as db:
            return dict(db.execute(query, values).fetchall())

    def connect(self, choice, new_name=""):
        self.press(self.find("push button", "Settings"))
        dialog = self.find("dialog", "Settings")
        x, y, w, h = dialog.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        self.xdotool("mousemove", str(x + w // 2), str(y + h // 2), "click", "--repeat", "30", "5",  # to Sync
                     "mousemove", "0", "0")
        self.type(self.find("text", "Server address", within=dialog), SERVER)
        self.type(self.find("text", "User name", within=dialog), "anna")
        self.type(self.find("password text", within=dialog), "anna-secret")
        self.press(self.find("push button", "Find task lists", within=dialog))
        lists = self.find("combo box", "Task list", within=dialog)
        # A letter picks the next entry starting with it; the entries come once the server has answered.
        wait_for("list " + choice, lambda: self.keys(lists, "type", choice[0], "sleep", "0.3") or
                 lists[0].queryText().getText(0, -1) == choice)
        if new_name:
            self.type(self.find("text", "Name of the new list", within=dialog), new_name)
        self.press(self.find("push button", "Connect", within=dialog))
        self.find("label", "Last synced", within=dialog)
        return dialog

    def save_task(self, title, name, minutes=""):
        form = self.find("dialog", title)
        self.type(self.find("text", desc="Task name", within=form), name)
        if minutes:  # finishing the entry adds the minutes to the expiry
            self.type(self.find("text", desc="Add minutes", within=form), minutes)
            self.xdotool("key", "Tab")
        self.press(self.find("push button", "Save", within=form))
        wait_for("saved " + name, lambda: name in self.tasks())

    def sync(self, what, probe):
        self.press(self.find("push button", "Sync now"))
        wait_for(what, probe)
        self.find(None, "Last synced")

    def screenshot(self, file):
        subprocess.run(["import", "-window", "root", f"{os.environ['SHOTS']}/{file}"], check=True,
                       env=dict(os.environ, DISPLAY=self.display))


a, b = Computer("a"), Computer("b")
for computer in a, b:
    computer.type(computer.find("text", desc="Username"), "demo")
    computer.type(computer.find("password text", desc="Password"), "demo-password")
    computer.press(computer.find("push button", "Sign in"))
settings = a.connect("Create a new list", "Team")
a.screenshot("sync-settings.png")
a.press(a.find("push button", "OK", within=settings))
b.press(b.find("push button", "OK", within=b.connect("Team")))
COLLECTION = next(iter(a.tasks("SELECT collection_url, 0 FROM sync_accounts")))


def ask(**command):
    peer = ["/usr/bin/python3", sys.argv[1], SERVER, "anna", "anna-secret", COLLECTION]
    answer = subprocess.run(peer, input=json.dumps(command), capture_output=True, text=True, check=True)
    return json.loads(answer.stdout)


def peer_tasks():
    field = lambda text, prop: (re.search(f"^{prop}:(.*?)\r?$", text, re.M) or [None, ""])[1]
    return {field(t["data"], "SUMMARY"): field(t["data"], "DESCRIPTION") for t in ask(op="list").values()}


PEER, ON_A, ON_B = "Ring the print shop", "Send the offer to Acme", "Order toner"
ask(op="create", uid="peer-task", summary=PEER)
for computer, name in (a, ON_A), (b, ON_B):
    computer.press(computer.find("push button", "New"))
    computer.save_task("New Task", name, minutes="90")
a.sync("A's task on the server", lambda: ON_A in peer_tasks())
b.sync("all tasks on B", lambda: {PEER, ON_A} <= b.tasks().keys() and ON_B in peer_tasks())
a.sync("all tasks on A", lambda: {PEER, ON_B} <= a.tasks().keys())

# Two fields of one task edited on two sides before either syncs: both edits are kept.
NOTE, RENAMED = "Peer note: attach the price list", "Send the signed offer to Acme"
uid = next(iter(a.tasks("SELECT uid, 0 FROM sync_links JOIN tasks ON id = task_id WHERE name = ?", ON_A)))
ask(op="set", uid=uid, prop="DESCRIPTION", value=NOTE)
search = a.find("text", desc="Search by task id/name or customer name...")
a.type(search, ON_A)
a.xdotool("key", "Down")  # selects the first row, the only one the search leaves
a.press(a.find("push button", "Edit"))
assert a.find("text", desc="Task name").queryText().getText(0, -1) == ON_A
a.save_task("Edit Task", RENAMED)
a.type(search, "")
a.sync("both edits on A", lambda: a.tasks().get(RENAMED) == NOTE and peer_tasks().get(RENAMED) == NOTE)
b.sync("both edits on B", lambda: b.tasks().get(RENAMED) == NOTE)
for side, tasks in ("a", a.tasks()), ("b", b.tasks()), ("peer", peer_tasks()):
    assert {PEER, ON_B} <= tasks.keys() and ON_A not in tasks and tasks[RENAMED] == NOTE, (side, tasks)
counts = [len(c.tasks("SELECT id, 0 FROM tasks")) for c in (a, b)] + [len(ask(op="list"))]
assert counts == [18 + 18 + 3] * 3, counts  # both demo accounts' tasks and the three new ones
a.screenshot("sync-status.png")
