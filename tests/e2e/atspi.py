#!/usr/bin/python3
"""What a screen reader meets of a program, through AT-SPI.

  atspi.py tree PID              one line per object of the program's windows:
                                 depth, role, name and states
  atspi.py focus PID COMMAND...  runs COMMAND (a key press), then prints the
                                 role and name of each object of the program
                                 that takes the focus within 3 seconds

The program is found by the process id the accessibility bus gives for it.
Popup menus are not in the tree (Qt lists only its windows): a screen reader
learns of them through the focus events, as the second command does.
"""
import subprocess
import sys

import pyatspi
from gi.repository import GLib


def application(pid):
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.get_process_id() == pid:
            return app
    return None


def walk(node, depth=0):
    yield depth, node
    for child in node:
        if child is not None:
            yield from walk(child, depth + 1)


def role(node):
    # The role by its enum, with one name for a push button: at-spi2-core
    # renamed that role "button" (Debian 13), in its display name and its enum.
    nick = node.getRole().value_nick
    return "push button" if nick in ("push-button", "button") else nick.replace("-", " ")


def describe(node):
    states = node.getState()
    marks = [name for name, state in (("focused", pyatspi.STATE_FOCUSED),
                                      ("showing", pyatspi.STATE_SHOWING),
                                      ("enabled", pyatspi.STATE_ENABLED))
             if states.contains(state)]
    return f"{role(node)}\t{node.name}\t{','.join(marks)}"


def tree(pid):
    app = application(pid)
    if app is None:
        print(f"atspi.py: no accessible application of process {pid}", file=sys.stderr)
        return 1
    for depth, node in walk(app):
        print(f"{depth}\t{describe(node)}")
    return 0


def focus(pid, command):
    def on_focus(event):
        source = event.source
        if event.detail1 == 1 and source.get_process_id() == pid:
            print(f"{role(source)}\t{source.name}", flush=True)

    def press():
        subprocess.run(command, check=False)
        GLib.timeout_add(3000, pyatspi.Registry.stop)
        return False

    pyatspi.Registry.registerEventListener(on_focus, "object:state-changed:focused")
    GLib.idle_add(press)
    pyatspi.Registry.start()
    return 0


def main():
    command, pid = sys.argv[1], int(sys.argv[2])
    if command == "tree":
        return tree(pid)
    return focus(pid, sys.argv[3:])


if __name__ == "__main__":
    sys.exit(main())
