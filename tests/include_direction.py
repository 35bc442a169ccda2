#!/usr/bin/env python3
"""Includes run one way between the folders of the code.

Every folder of code opens with a README.md whose "Uses:" line names the
folders its files may include ("Uses: model/support, model/storage", or
"Uses: nothing"). This check fails on a quoted #include of a file in a folder
that the including folder does not name, and on folders that name each other
round a loop, directly or through others. A file belongs to the deepest
folder with a README that holds it; tests/ and bench/ may include anything.

    tests/include_direction.py [ROOT]
"""

import os
import re
import sys

CODE_FOLDERS = ("app", "cli", "graphics", "model", "python", "views", "web")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def declared_folders(root):
    """Each folder with a README.md under the code folders, and what it uses."""
    uses = {}
    for top in CODE_FOLDERS:
        for dirpath, dirnames, names in os.walk(os.path.join(root, top)):
            # Caches of tools (.pytest_cache, __pycache__) are no folders of code.
            dirnames[:] = sorted(d for d in dirnames if not d.startswith((".", "__")))
            if "README.md" not in names:
                continue
            folder = os.path.relpath(dirpath, root).replace(os.sep, "/")
            with open(os.path.join(dirpath, "README.md"), encoding="utf-8") as readme:
                lines = [line for line in readme if line.startswith("Uses:")]
            if len(lines) != 1:
                uses[folder] = None
                continue
            listed = lines[0][len("Uses:"):].strip().rstrip(".")
            uses[folder] = set() if listed == "nothing" else {name.strip() for name in listed.split(",")}
    return uses


def folder_of(path, folders):
    """The deepest declared folder that holds `path` (relative to the root)."""
    best = None
    for folder in folders:
        if path.startswith(folder + "/") and (best is None or len(folder) > len(best)):
            best = folder
    return best


def included_path(root, including, name):
    """The included file relative to the root: from the root, else beside the includer."""
    if os.path.exists(os.path.join(root, name)):
        return os.path.normpath(name).replace(os.sep, "/")
    beside = os.path.join(os.path.dirname(including), name)
    return os.path.normpath(beside).replace(os.sep, "/")


def wrong_includes(root, uses):
    faults = []
    for folder in sorted(uses):
        for dirpath, _, names in os.walk(os.path.join(root, folder)):
            for name in sorted(names):
                if not name.endswith((".cpp", ".h")):
                    continue
                source = os.path.relpath(os.path.join(dirpath, name), root).replace(os.sep, "/")
                if folder_of(source, uses) != folder:
                    continue
                with open(os.path.join(root, source), encoding="utf-8", errors="replace") as text:
                    for number, line in enumerate(text, 1):
                        match = INCLUDE.match(line)
                        if not match:
                            continue
                        target = folder_of(included_path(root, source, match.group(1)), uses)
                        if target and target != folder and target not in uses[folder]:
                            faults.append(f"{source}:{number}: includes {match.group(1)} of {target}/, "
                                          f"which {folder}/README.md does not name under Uses:")
    return faults


def loops(uses):
    """Every folder that reaches itself through the Uses: lines, with the way round."""
    faults = []
    for start in sorted(uses):
        way = {start: [start]}
        frontier = [start]
        while frontier:
            folder = frontier.pop()
            for used in sorted(uses.get(folder) or ()):
                if used == start:
                    faults.append(f"{start}/ uses itself round a loop: {' -> '.join(way[folder] + [start])}")
                    frontier = []
                    break
                if used not in way:
                    way[used] = way[folder] + [used]
                    frontier.append(used)
    return faults


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
    uses = declared_folders(root)
    faults = [f"{folder}/README.md: no single 'Uses:' line" for folder, used in sorted(uses.items()) if used is None]
    uses = {folder: used or set() for folder, used in uses.items()}
    faults += [f"{folder}/README.md: uses {name}/, which has no README.md"
               for folder, used in sorted(uses.items()) for name in sorted(used) if name not in uses]
    faults += wrong_includes(root, uses) + loops(uses)
    for fault in faults:
        print(fault)
    if not faults:
        print(f"include_direction: {len(uses)} folders, every include runs one way")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
