# Prints, as JSON, what a screen reader learns over AT-SPI about the shown windows of the application with
# the given process id: for every object its window's name, role, name, whether it takes the keyboard and
# its text. Usage: /usr/bin/python3 accessible_tree.py PID
import json
import sys

import pyatspi


def text_of(node):
    try:
        text = node.queryText()
    except NotImplementedError:
        return None
    return text.getText(0, -1)


def walk(node, window, out):
    states = node.getState()
    if not states.contains(pyatspi.STATE_SHOWING):
        return
    out.append({
        "window": window,
        "role": node.getRoleName(),
        "name": node.name,
        "focusable": states.contains(pyatspi.STATE_FOCUSABLE),
        "text": text_of(node),
    })
    for child in node:
        if child is not None:
            walk(child, window, out)


def main():
    pid = int(sys.argv[1])
    for app in pyatspi.Registry.getDesktop(0):
        if app is None or app.get_process_id() != pid:
            continue
        nodes = []
        for window in app:
            if window is not None:
                walk(window, window.name, nodes)
        json.dump(nodes, sys.stdout)
        return 0
    print("no application with process id %d on the accessibility bus" % pid, file=sys.stderr)
    return 1


sys.exit(main())
