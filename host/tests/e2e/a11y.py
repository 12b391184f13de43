#!/usr/bin/python3
"""Drives and checks the program over the accessibility bus (AT-SPI), as a
screen reader's user meets it: no synthetic input, only what the program
offers to assistive technologies.

Usage: a11y.py COMMAND [ARGUMENTS...]
  names VIEW          every showing focusable control has a name (VIEW: a
                      label for the report); exit 1 listing those without
  rows N              wait until the photo table holds N rows
  set-quality N       set the quality slider to N percent
  choose-folder DIR   choose the output folder through the folder dialog
  convert N           press "convert" and wait until the progress bar has
                      counted N of N and tells the end
  geometry NAME       print "x y width height" of the showing button NAME
  window-size         print "width height" of the main window
  press NAME          press the showing button NAME
"""
import sys
import time

import pyatspi

APP_NAME = "Quillmarsh Pix Bridge"
TIMEOUT_S = 30


def fail(message):
    print(message, file=sys.stderr)
    sys.exit(1)


def wait_for(what, find, timeout=TIMEOUT_S):
    deadline = time.monotonic() + timeout
    while True:
        try:
            found = find()
        except Exception:  # an object that went away while it was read
            found = None
        if found:
            return found
        if time.monotonic() > deadline:
            fail("timed out waiting for " + what)
        time.sleep(0.2)


def application():
    def find():
        for app in pyatspi.Registry.getDesktop(0):
            if app is not None and app.name in (APP_NAME, "PixbridgeManager"):
                return app
        return None
    return wait_for("the program on the accessibility bus", find)


def showing(obj):
    states = obj.getState()
    return states.contains(pyatspi.STATE_SHOWING) and states.contains(pyatspi.STATE_VISIBLE)


def walk(obj, depth=0):
    """Every showing object below `obj`; a table's cells are its own business
    beyond the first rows, which stand for the rest."""
    if obj is None or depth > 40:
        return
    yield obj
    try:
        count = obj.childCount
    except Exception:
        return
    if obj.getRole() == pyatspi.ROLE_TABLE:
        count = min(count, 64)
    for i in range(count):
        try:
            child = obj.getChildAtIndex(i)
        except Exception:
            continue
        if child is not None and showing(child):
            yield from walk(child, depth + 1)


def find_all(role=None, name=None):
    found = []
    for obj in walk(application()):
        if role is not None and obj.getRole() != role:
            continue
        if name is not None and obj.name != name:
            continue
        found.append(obj)
    return found


def find_one(what, role=None, name=None):
    return wait_for(what, lambda: next(iter(find_all(role, name)), None))


def do_action(obj, names=("Press", "press", "click", "Click")):
    actions = obj.queryAction()
    for i in range(actions.nActions):
        if actions.getName(i) in names:
            actions.doAction(i)
            return
    fail("%s offers no press action (%s)" % (obj.name, [actions.getName(i) for i in range(actions.nActions)]))


def describe(obj):
    return "%s %r" % (obj.getRoleName(), obj.name)


def check_names(view):
    unnamed = []
    controls = 0
    for obj in walk(application()):
        states = obj.getState()
        if not states.contains(pyatspi.STATE_FOCUSABLE) or not showing(obj):
            continue
        controls += 1
        if not obj.name.strip():
            parent = obj.parent
            unnamed.append("%s in %s" % (describe(obj), describe(parent) if parent else "nothing"))
    if controls == 0:
        fail("%s: no focusable control is showing" % view)
    if unnamed:
        fail("%s: focusable controls without a name:\n  %s" % (view, "\n  ".join(unnamed)))
    print("%s: %d focusable controls, all named" % (view, controls))


def table():
    return find_one("the photo table", role=pyatspi.ROLE_TABLE)


def wait_rows(count):
    wait_for("%d rows" % count, lambda: table().queryTable().nRows == count)
    grid = table().queryTable()
    header = grid.getColumnHeader(0)
    if header is None or not header.name:
        fail("the header's check box has no name")
    # Qt 6.4's bridge passes "checked" on, not "checkable".
    cell = grid.getAccessibleAt(0, 0)
    if cell.getRole() != pyatspi.ROLE_TABLE_CELL or not cell.getState().contains(pyatspi.STATE_CHECKED):
        fail("the first row's box is not a ticked cell")
    print("%d rows; header box %r; table %r" % (count, header.name, table().name))


def set_quality(percent):
    slider = find_one("the quality slider", role=pyatspi.ROLE_SLIDER)
    if not slider.name:
        fail("the quality slider has no name")
    value = slider.queryValue()
    value.currentValue = float(percent)
    wait_for("quality %d" % percent, lambda: int(round(slider.queryValue().currentValue)) == percent)
    print("slider %r at %d of %d..%d" % (slider.name, percent, value.minimumValue, value.maximumValue))


def choose_folder(folder):
    browse = find_one("the folder button", role=pyatspi.ROLE_PUSH_BUTTON, name="Select a folder")
    do_action(browse)
    # Qt's own folder dialog: its path field, then its accept button.
    field = find_one("the folder dialog's path field", role=pyatspi.ROLE_TEXT, name="Directory:")
    field.queryEditableText().setTextContents(folder)
    accept = find_one("the dialog's choose button", role=pyatspi.ROLE_PUSH_BUTTON, name="Choose")
    do_action(accept)
    box = find_one("the output folder box", role=pyatspi.ROLE_TEXT, name="Output folder")
    wait_for("the output folder box to show " + folder, lambda: box.queryText().getText(0, -1) == folder)
    print("output folder %r: %s" % (box.name, folder))


def convert(count):
    do_action(find_one("the convert button", role=pyatspi.ROLE_PUSH_BUTTON, name="Convert"))
    bar = find_one("the progress bar", role=pyatspi.ROLE_PROGRESS_BAR)
    def ended():
        value = bar.queryValue()
        return (int(value.currentValue) == count and int(value.maximumValue) == count and
                bar.description.startswith("Done"))
    wait_for("the end of the conversion", ended, timeout=120)
    print("progress bar %r: %d of %d, %r" % (bar.name, count, count, bar.description))


def geometry(name):
    button = find_one("the button " + name, role=pyatspi.ROLE_PUSH_BUTTON, name=name)
    box = button.queryComponent().getExtents(pyatspi.DESKTOP_COORDS)
    print(box.x, box.y, box.width, box.height)


def main_window():
    app = application()
    return wait_for("the main window", lambda: next(
        (w for w in (app.getChildAtIndex(i) for i in range(app.childCount))
         if w is not None and w.name == APP_NAME and showing(w)), None))


def window_size():
    box = main_window().queryComponent().getExtents(pyatspi.WINDOW_COORDS)
    print(box.width, box.height)


def press(name):
    do_action(find_one("the button " + name, role=pyatspi.ROLE_PUSH_BUTTON, name=name))


def main(argv):
    if len(argv) < 2:
        fail(__doc__)
    command, arguments = argv[1], argv[2:]
    if command == "names":
        check_names(arguments[0])
    elif command == "rows":
        wait_rows(int(arguments[0]))
    elif command == "set-quality":
        set_quality(int(arguments[0]))
    elif command == "choose-folder":
        choose_folder(arguments[0])
    elif command == "convert":
        convert(int(arguments[0]))
    elif command == "geometry":
        geometry(arguments[0])
    elif command == "window-size":
        window_size()
    elif command == "press":
        press(arguments[0])
    else:
        fail(__doc__)


if __name__ == "__main__":
    main(sys.argv)
