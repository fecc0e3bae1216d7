#!/usr/bin/python3
# Prints the accessibility tree of the program with the given process id as a screen reader
# sees it through AT-SPI: one line per node, "depth|role|name". The page's own contents
# (below a document) are left out: they are the browser engine's.
import sys

import pyatspi


def walk(node, depth, out):
    try:
        role, name = node.getRoleName(), node.name or ""
    except Exception:
        return
    out.append(f"{depth}|{role}|{name}")
    if role.startswith("document") or depth > 20:
        return
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            walk(child, depth + 1, out)


def main():
    pid = int(sys.argv[1])
    out = []
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.get_process_id() == pid:
            walk(app, 0, out)
    print("\n".join(out))
    return 0 if out else 1


sys.exit(main())
