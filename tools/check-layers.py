#!/usr/bin/env python3
"""Checks that the project's folders include one another one way down.

The layers, top to bottom:
    app -> mainwindow, restore, testpanel -> backup, operations
        -> link, ui, recovery -> zip -> platform
A folder may include its own files and the folders of any lower layer; the
only sideways includes are testpanel -> mainwindow (the test panel drives
the main window's engine) and operations -> backup (a copy runs the backup
job). A library built by kuvzip_add_subsystem must also link the library of
every other folder it includes, and no library above its own.

Usage: check-layers.py [SOURCE_ROOT]   (exit status 1 on any fault)
"""

import os
import re
import sys

LAYERS = [
    ["app"],
    ["mainwindow", "restore", "testpanel"],
    ["backup", "operations"],
    ["link", "ui", "recovery"],
    ["zip"],
    ["platform"],
]
SIDEWAYS = {("testpanel", "mainwindow"), ("operations", "backup")}
DEPTH = {folder: depth for depth, layer in enumerate(LAYERS) for folder in layer}
SOURCE_SUFFIXES = (".h", ".hpp", ".c", ".cpp", ".ui")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
SUBSYSTEM = re.compile(r"kuvzip_add_subsystem\s*\(\s*(\w+)([^)]*)\)", re.S)


def allowed(source, target):
    if source == target or (source, target) in SIDEWAYS:
        return True
    return DEPTH[target] > DEPTH[source]


def linked_folders(root, folder):
    """The project folders whose libraries folder's CMakeLists links, or None
    when the folder is not built by kuvzip_add_subsystem."""
    path = os.path.join(root, folder, "CMakeLists.txt")
    try:
        with open(path, encoding="utf-8") as f:
            text = re.sub(r"#[^\n]*", "", f.read())
    except OSError:
        return None
    found = None
    for match in SUBSYSTEM.finditer(text):
        found = found or set()
        for word in match.group(2).split():
            lib = re.fullmatch(r"kuv_(\w+?)(_qt)?", word)
            if lib:
                found.add(lib.group(1))
    return found


def check(root):
    faults = []
    for folder in DEPTH:
        links = linked_folders(root, folder)
        for linked in sorted(links or ()):
            if linked in DEPTH and not allowed(folder, linked):
                faults.append(f"{folder}/CMakeLists.txt: {folder} may not link kuv_{linked}")
        top = os.path.join(root, folder)
        for dirpath, _, names in os.walk(top):
            for name in sorted(names):
                if not name.endswith(SOURCE_SUFFIXES):
                    continue
                path = os.path.join(dirpath, name)
                shown = os.path.relpath(path, root)
                with open(path, encoding="utf-8", errors="replace") as f:
                    for number, line in enumerate(f, 1):
                        match = INCLUDE.match(line)
                        if not match or "/" not in match.group(1):
                            continue
                        target = match.group(1).split("/", 1)[0]
                        if target not in DEPTH:
                            continue
                        where = f"{shown}:{number}: {match.group(1)}"
                        if not allowed(folder, target):
                            faults.append(f"{where}: {folder} may not include {target}")
                        elif links is not None and target != folder and target not in links:
                            faults.append(f"{where}: {folder} includes {target} without linking kuv_{target}")
    return faults


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
    faults = check(os.path.abspath(root))
    for fault in faults:
        print(fault, file=sys.stderr)
    if faults:
        print(f"{len(faults)} include(s) against the layers", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
