"""The program's window as a screen reader sees it: found by role and name, driven by keys."""
import os, subprocess, time

import pyatspi

# Roles a person can act on; each must carry a name.
INTERACTIVE = {"push button", "toggle button", "check box", "radio button", "text", "password text",
               "combo box", "spin button", "page tab", "page tab list", "link", "list", "list item",
               "table", "table row", "table cell", "table column header", "menu item", "slider"}


def wait_for(what, probe, seconds=90):
    end, error = time.monotonic() + seconds, None
    while time.monotonic() < end:
        try:  # the tree may change while it is read
            if result := probe():
                return result
        except Exception as e:  # noqa: BLE001
            error = e
        time.sleep(0.3)
    raise AssertionError(f"gave up waiting for {what} ({error})")


class Window:
    def __init__(self, label, display, pid):
        self.label, self.display, self.pid = label, display, pid

    def app(self):
        app = next(a for a in pyatspi.Registry.getDesktop(0) if a and a.get_process_id() == self.pid)
        app.clear_cache()
        return app

    def nodes(self, node):  # what a person sees: the showing ones
        yield node
        for child in node:
            if child is not None and child.getState().contains(pyatspi.STATE_SHOWING):
                yield from self.nodes(child)

    def find(self, role=None, name="", desc=None, within=None):
        def probe():
            return next(n for n in self.nodes(within or self.app()) if n.name.startswith(name)
                        and role in (None, n.getRoleName()) and desc in (None, n.description))
        try:
            return wait_for(f"{role} {name or desc!r} on {self.label}", probe)
        except AssertionError as e:  # with what the window says instead
            alerts = [n.name for n in self.nodes(self.app()) if n.getRoleName() == "alert" and n.name]
            raise AssertionError(f"{e}; alerts shown: {alerts}") from None

    def nameless(self, where):
        """The showing elements one can act on that have no name, as "where: role in parent"."""
        # Qt 6.4 gives a password field only its description.
        def probe():  # a list, even an empty one, once the tree could be read whole
            return [[f"{where}: {n.getRoleName()} in {n.parent.getRoleName()} {n.parent.name!r}"
                     for n in self.nodes(self.app()) if n.getRoleName() in INTERACTIVE
                     and not n.name.strip()
                     and not (n.getRoleName() == "password text" and n.description)]]
        return wait_for("the tree of " + where, probe)[0]

    def xdotool(self, *args):
        subprocess.run(["xdotool", *args], check=True, env=dict(os.environ, DISPLAY=self.display))

    def focus_window(self):  # no window manager hands the focus back after a page is replaced
        found = subprocess.run(["xdotool", "search", "--all", "--pid", str(self.pid), "--name", "^Duevia$"],
                               capture_output=True, text=True, env=dict(os.environ, DISPLAY=self.display))
        self.xdotool("windowfocus", "--sync", found.stdout.split()[0])

    def keys(self, node, *args):
        node.queryComponent().grabFocus()
        wait_for("focus", lambda: node.getState().contains(pyatspi.STATE_FOCUSED))
        self.xdotool(*args)

    def type(self, node, text):
        self.keys(node, "key", "ctrl+a", "BackSpace", "type", "--delay", "10", text)

    def press(self, node):
        # The Press action of Qt Quick's buttons does nothing (Qt 6.4); Space on the focused one does.
        wait_for("enabled " + node.name, lambda: node.getState().contains(pyatspi.STATE_ENABLED))
        self.keys(node, "key", "space")
