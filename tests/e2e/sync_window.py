#!/usr/bin/python3
"""Drives two running programs ("computers" a and b, started by run-sync-window.sh) through the
accessibility tree: both connect to one CalDAV list, a second client edits it too, and every side
ends up with every task and with both of two edits made to one task at once."""
import json
import os
import re
import sqlite3
import subprocess
import sys
import time

import pyatspi

DIR = os.environ["E2E_DIR"]
SERVER = open(os.path.join(DIR, "radicale", "url")).read().strip()


def wait_for(what, probe, seconds=90):
    """Polls probe until it answers; the tree may change while it is read."""
    end, error = time.monotonic() + seconds, None
    while time.monotonic() < end:
        try:
            result = probe()
            if result:
                return result
        except Exception as e:  # noqa: BLE001
            error = e
        time.sleep(0.3)
    raise AssertionError(f"gave up waiting for {what} ({error})")


def showing(node):
    return node.getState().contains(pyatspi.STATE_SHOWING)


class Computer:
    def __init__(self, name):
        self.name = name
        self.display = ":" + open(os.path.join(DIR, name + ".display")).read().strip()
        self.pid = int(open(os.path.join(DIR, name + ".pid")).read())
        self.db = os.path.join(DIR, name, "data", "appQuilloQml3", "duevia2.db")

    def app(self):
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.get_process_id() == self.pid:
                app.clear_cache()
                return app
        return None

    def nodes(self, node):
        if node is None:
            return
        yield node
        for child in node:
            if child is not None and showing(child):
                yield from self.nodes(child)

    def find(self, role, name=None, desc=None, within=None):
        def probe():
            for node in self.nodes(within() if within else self.app()):
                if node.getRoleName() == role and name in (None, node.name) and desc in (None, node.description):
                    return node
        return wait_for(f"{role} {name or desc!r} on {self.name}", probe)

    def dialog(self, title):
        return lambda: next((n for n in self.nodes(self.app()) if n.getRoleName() == "dialog" and n.name == title), None)

    def label(self, prefix):
        return wait_for(f"{prefix!r} on {self.name}",
                        lambda: next((n.name for n in self.nodes(self.app()) if n.name.startswith(prefix)), None))

    def xdotool(self, *args):
        subprocess.run(["xdotool", *args], check=True, env=dict(os.environ, DISPLAY=self.display))

    def focus(self, node):
        node.queryComponent().grabFocus()
        wait_for("focus", lambda: node.getState().contains(pyatspi.STATE_FOCUSED))

    def type(self, node, text):
        self.focus(node)
        self.xdotool("key", "ctrl+a", "BackSpace")
        self.xdotool("type", "--delay", "10", text)

    def press(self, node):
        # The Press action of Qt Quick's buttons does nothing (Qt 6.4); Space on the focused one does.
        wait_for("enabled " + node.name, lambda: node.getState().contains(pyatspi.STATE_ENABLED))
        self.focus(node)
        self.xdotool("key", "space")

    def sql(self, query, *values):
        with sqlite3.connect(f"file:{self.db}?mode=ro", uri=True) as db:
            return db.execute(query, values).fetchall()

    def tasks(self):
        return dict(self.sql("SELECT name, COALESCE(notes, '') FROM tasks"))

    def sign_in(self):
        self.type(self.find("text", desc="Username"), "demo")
        self.type(self.find("password text", desc="Password"), "demo-password")
        self.press(self.find("push button", "Sign in"))
        self.find("push button", "Settings")

    def connect(self, choice, new_name=None, screenshot=None):
        self.press(self.find("push button", "Settings"))
        settings = self.dialog("Settings")
        x, y, w, h = settings().queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
        self.xdotool("mousemove", str(x + w // 2), str(y + h // 2), "click", "--repeat", "30", "5")
        self.type(self.find("text", "Server address", within=settings), SERVER)
        self.type(self.find("text", "User name", within=settings), "anna")
        self.type(self.find("password text", within=settings), "anna-secret")
        self.press(self.find("push button", "Find task lists", within=settings))
        self.label("Found" if choice != "Create a new list" else "No task list found")
        lists = self.find("combo box", "Task list", within=settings)
        self.focus(lists)
        for _ in range(10):
            if lists[0].queryText().getText(0, -1) == choice:
                break
            self.xdotool("key", "Down")
        if new_name:
            self.type(self.find("text", "Name of the new list", within=settings), new_name)
        self.press(self.find("push button", "Connect", within=settings))
        self.label("Connected.")
        self.find("push button", "Disconnect", within=settings)
        wait_for("first sync", lambda: self.sql("SELECT last_sync_epoch FROM sync_accounts")[0][0])
        if screenshot:
            self.screenshot(screenshot)
        self.press(self.find("push button", "OK", within=settings))
        self.label("Last synced")

    def new_task(self, name):
        self.press(self.find("push button", "New"))
        form = self.dialog("New Task")
        self.type(self.find("text", desc="Task name", within=form), name)
        self.type(self.find("text", desc="Add minutes", within=form), "90")
        self.xdotool("key", "Tab")  # finishing the entry adds the minutes to the expiry
        self.press(self.find("push button", "Save", within=form))
        wait_for("saved " + name, lambda: name in self.tasks())

    def rename_task(self, old, new):
        search = self.find("text", desc="Search by task id/name or customer name...")
        self.type(search, old)
        self.label("Total: 1")
        self.xdotool("key", "Down")  # selects the only row
        self.press(self.find("push button", "Edit"))
        form = self.dialog("Edit Task")
        self.type(self.find("text", desc="Task name", within=form), new)
        self.press(self.find("push button", "Save", within=form))
        wait_for("renamed " + old, lambda: new in self.tasks())
        self.type(search, "")

    def sync(self, what, probe):
        self.press(self.find("push button", "Sync now"))
        wait_for(what, probe)
        self.label("Last synced")

    def screenshot(self, file):
        self.xdotool("mousemove", "0", "0")
        subprocess.run(["import", "-display", self.display, "-window", "root",
                        os.path.join(os.environ["SHOTS"], file)], check=True)


a, b = Computer("a"), Computer("b")
for computer in a, b:
    computer.sign_in()
a.connect("Create a new list", "Team", screenshot="sync-settings.png")
b.connect("Team")
collection = a.sql("SELECT collection_url FROM sync_accounts")[0][0]
peer = subprocess.Popen(["/usr/bin/python3", sys.argv[1], SERVER, "anna", "anna-secret", collection],
                        stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)


def ask(**command):
    peer.stdin.write(json.dumps(command) + "\n")
    peer.stdin.flush()
    return json.loads(peer.stdout.readline())


def peer_tasks():
    texts = [t["data"] for t in ask(op="list").values()]
    fields = lambda t, p: (re.search("^" + p + r":(.*?)\r?$", t, re.M) or [None, ""])[1]
    return {fields(t, "SUMMARY"): fields(t, "DESCRIPTION") for t in texts}


PEER, ON_A, ON_B = "Ring the print shop", "Send the offer to Acme", "Order toner"
ask(op="create", uid="peer-task", summary=PEER)
a.new_task(ON_A)
b.new_task(ON_B)
a.sync("A's task on the server", lambda: ON_A in peer_tasks())
b.sync("all tasks on B", lambda: {PEER, ON_A} <= b.tasks().keys() and ON_B in peer_tasks())
a.sync("all tasks on A", lambda: {PEER, ON_B} <= a.tasks().keys())
for side, names in ("a", a.tasks()), ("b", b.tasks()), ("peer", peer_tasks()):
    assert {PEER, ON_A, ON_B} <= names.keys(), (side, sorted(names))

# Two fields of one task edited on two sides before either syncs: both edits survive.
NOTE, RENAMED = "Peer note: attach the price list", "Send the signed offer to Acme"
uid = a.sql("SELECT uid FROM sync_links JOIN tasks ON tasks.id = task_id WHERE name = ?", ON_A)[0][0]
ask(op="set", uid=uid, prop="DESCRIPTION", value=NOTE)
a.rename_task(ON_A, RENAMED)
a.sync("both edits on A", lambda: a.tasks().get(RENAMED) == NOTE and peer_tasks().get(RENAMED) == NOTE)
b.sync("both edits on B", lambda: b.tasks().get(RENAMED) == NOTE)
for side, names in ("a", a.tasks()), ("b", b.tasks()), ("peer", peer_tasks()):
    assert names.get(RENAMED) == NOTE and ON_A not in names, (side, sorted(names))
    assert len(names) == 18 + 18 + 3, (side, len(names))
a.screenshot("sync-status.png")
peer.stdin.close()
peer.wait()
print("sync through the window: passed")
