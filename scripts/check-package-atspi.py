#!/usr/bin/env python3
"""What a screen reader finds in the client's window, for scripts/check-package.sh.

Run inside the checked root as a candidate, in a session bus of its own
(dbus-run-session), on an X display: starts /usr/bin/vedris, waits until a heading with
the text given appears in the AT-SPI tree of the client and the tree stops changing, then
prints every named object of the tree as "role<TAB>name<TAB>names of its labels" and
ends the client as a session end would. The exit status is 0 when the heading appeared, 1 when it did not in time.

Usage: check-package-atspi.py HEADING CLIENT_LOG [SECONDS]
"""

import signal
import subprocess
import sys
import time

import pyatspi

# The web view's tree is built in the web process; deep pages nest their controls in
# sections, forms, fieldsets and frames.
MAX_DEPTH = 40


def children(node):
    try:
        count = node.childCount
    except Exception:
        return []
    found = []
    for i in range(count):
        try:
            child = node.getChildAtIndex(i)
        except Exception:
            continue
        if child is not None:
            found.append(child)
    return found


def label_names(node):
    names = []
    try:
        relations = node.getRelationSet()
    except Exception:
        return names
    for relation in relations:
        if relation.getRelationType() != pyatspi.RELATION_LABELLED_BY:
            continue
        for i in range(relation.getNTargets()):
            target = relation.getTarget(i)
            if target is not None and target.name:
                names.append(" ".join(target.name.split()))
    return names


def walk(node, depth=0):
    """Yields (role, name, labels) of every object under node, node included."""
    if depth > MAX_DEPTH:
        return
    try:
        role = node.getRoleName()
        name = " ".join((node.name or "").split())
    except Exception:
        return
    yield role, name, label_names(node)
    for child in children(node):
        yield from walk(child, depth + 1)


def client_apps(pid):
    desktop = pyatspi.Registry.getDesktop(0)
    for app in children(desktop):
        try:
            if app.get_process_id() == pid:
                yield app
        except Exception:
            continue


def snapshot(pid):
    rows = []
    for app in client_apps(pid):
        rows.extend(walk(app))
    return rows


def main():
    heading, log_path = sys.argv[1], sys.argv[2]
    seconds = float(sys.argv[3]) if len(sys.argv) > 3 else 90
    with open(log_path, "wb") as log:
        client = subprocess.Popen(["/usr/bin/vedris"], stdout=log, stderr=subprocess.STDOUT)
    rows = []
    found = False
    deadline = time.monotonic() + seconds
    try:
        # The tree of a page still loading grows: the heading must be there and two
        # readings a second apart must agree.
        previous = None
        while time.monotonic() < deadline and client.poll() is None:
            rows = snapshot(client.pid)
            if any(role == "heading" and name == heading for role, name, _ in rows):
                if rows == previous:
                    found = True
                    break
                previous = rows
                time.sleep(1)
                continue
            time.sleep(2)
    finally:
        if client.poll() is None:
            client.send_signal(signal.SIGTERM)
            try:
                client.wait(20)
            except subprocess.TimeoutExpired:
                client.kill()
                client.wait()
    for role, name, labels in rows:
        if name or labels:
            print("\t".join([role, name, " | ".join(labels)]))
    print("client exit status\t%s" % client.returncode, file=sys.stderr)
    return 0 if found else 1


if __name__ == "__main__":
    sys.exit(main())
