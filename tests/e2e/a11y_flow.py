#!/usr/bin/python3
"""A person with a screen reader and the keyboard alone, on a fresh home (run-a11y-flow.sh): an account,
a customer, a task with that customer, found, read, done, seen in the calendar, deleted; every element
one can act on has a name; and the program in German."""
import os, sqlite3, subprocess, sys

from atspi_window import Window, wait_for

DIR = os.environ["E2E_DIR"]


def start(lang):
    env = dict(os.environ, HOME=f"{DIR}/{lang}", XDG_CONFIG_HOME=f"{DIR}/{lang}/config",
               XDG_DATA_HOME=f"{DIR}/{lang}/data", XDG_CACHE_HOME=f"{DIR}/{lang}/cache",
               LANG=f"{lang}.UTF-8", LANGUAGE="", LC_ALL="", QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1")
    app = subprocess.Popen([os.environ["APP"]], env=env, stdout=open(f"{DIR}/{lang}.log", "w"), stderr=subprocess.STDOUT)
    window = Window(lang, os.environ["DISPLAY"], app.pid)
    wait_for("the window", window.app)
    return app, window


def task(db, column):
    with sqlite3.connect(f"file:{db}?mode=ro", uri=True) as connection:
        return connection.execute(f"SELECT {column} FROM tasks").fetchone()[0]


app, w = start("en_US")
missing = w.nameless("login page")

w.press(w.find("push button", "Create account"))
page = w.find("page tab", "Create account")
wait_for("the login page gone", lambda: w.find("page tab").name == "Create account")
w.type(w.find("text", "Full name", within=page), "Ada Reader")
w.type(w.find("text", "Username", within=page), "adareader")
for field in "Password (min 8 chars)", "Confirm password":  # Qt names password fields only by description
    w.type(w.find("password text", desc=field), "ada-secret")
missing += w.nameless("register page")
w.press(w.find("push button", "Register"))
w.find("alert", "Account created.")
w.type(w.find("password text", desc="Password"), "ada-secret")
w.xdotool("key", "Return")
tasks_table = w.find("table", "Tasks")
w.focus_window()
missing += w.nameless("tasks page")

w.press(w.find("page tab", "Customers"))
w.press(w.find("push button", "New"))
customer = w.find("dialog", "New Customer")
w.type(w.find("text", "Name", within=customer), "Acme Logistics")
missing += w.nameless("customer dialog")
w.press(w.find("push button", "Save", within=customer))
w.find("table row", "Acme Logistics")
missing += w.nameless("customers page")

w.press(w.find("page tab", "Tasks"))
w.press(w.find("push button", "New"))
form = w.find("dialog", "New Task")
w.type(w.find("text", "Task name", within=form), "Call Acme")
w.keys(w.find("text", "Customer", within=form), "key", "space")
chooser = w.find("dialog", "Select Customer")
w.type(w.find("text", "Search by name", within=chooser), "Acm")
w.xdotool("sleep", "0.5", "key", "Down")
w.find("list item", "Acme Logistics", within=chooser)
missing += w.nameless("customer chooser")
w.xdotool("key", "Return")
wait_for("the customer in the form", lambda: w.find("text", "Customer", within=form).queryText().getText(0, -1)
         == "Acme Logistics")
w.type(w.find("text", "Add minutes", within=form), "90")
w.xdotool("key", "Tab")
missing += w.nameless("task dialog")
w.press(w.find("push button", "Save", within=form))

w.type(w.find("text", "Search by task id/name"), "Call Acme")
w.keys(tasks_table, "key", "Down")
row = w.find("alert", "Call Acme, customer Acme Logistics, level ")
assert row.name.endswith(", open"), row.name
w.press(w.find("push button", "Edit"))
form = w.find("dialog", "Edit Task")
w.press(w.find("check box", "Done", within=form))
w.press(w.find("push button", "Save", within=form))
w.find("table row", "Call Acme")
wait_for("the row read as done", lambda: w.find("table row", "Call Acme").name.endswith(", done"))

db = f"{DIR}/en_US/data/appQuilloQml3/duevia2.db"
day = int(task(db, "expire_at")[8:10])
w.press(w.find("page tab", "Calendar"))
busy = wait_for("the task's day", lambda: [c.name for c in w.nodes(w.find("table", "Calendar"))
                                             if c.getRoleName() == "table cell" and c.name.endswith(", 1 task")])
assert len(busy) == 1 and f" {day} " in f" {busy[0].replace(',', ' ')} ", busy
missing += w.nameless("calendar page")
w.press(w.find("page tab", "Task chart"))
w.find("push button", "Show as table")
missing += w.nameless("chart page")

w.press(w.find("page tab", "Tasks"))
w.keys(tasks_table, "key", "Down", "key", "Delete")
w.find("alert", 'Deleted task "Call Acme"')
wait_for("the task deleted", lambda: task(db, "COUNT(*)") == 0)
w.press(w.find("push button", "Settings"))
missing += w.nameless("settings dialog")
app.terminate()
app.wait()

# The system's language, without a setting: German texts and day names.
app, w = start("de_DE")
w.find("push button", "Anmelden")
w.find("push button", "Konto erstellen")
app.terminate()
app.wait()

assert not missing, "elements without a name:\n" + "\n".join(missing)
print("a screen reader and the keyboard went through the whole program")
