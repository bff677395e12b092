#!/usr/bin/env python3
"""Includes point down the layers: base/ <- core/ <- adapters/ <- the front ends.

    scripts/check_layers.py [ROOT]

Prints one line per offence (file:line, the include, the rule it breaks) and
exits 1 if there is any. ROOT is the project's root (default: this script's
parent folder); in a git checkout the tracked and new, not ignored files are
read, elsewhere every file under ROOT. tests/, bench/, fuzz/ and tools/ may
include anything."""
import os
import re
import subprocess
import sys

FRONT_ENDS = ("ui", "cli", "web")
# What each room may include of the project's own rooms.
ALLOWED = {
    "base": {"base"},
    "core": {"base", "core"},
    "adapters": {"base", "core", "adapters"},
    "sim": {"base", "sim"},
}
for front in FRONT_ENDS:
    ALLOWED[front] = {"base", "core", "adapters", front}
ROOMS = set(ALLOWED)
WHY = {
    "base": "base/ stands beneath everything: it includes only base/",
    "core": "core/ includes only base/ and core/ (no adapters, no front end)",
    "adapters": "adapters/ include base/, core/ and adapters/, never a front end",
    "sim": "sim/ includes only base/ and sim/",
}
for front in FRONT_ENDS:
    WHY[front] = "a front end never includes another front end (%s/ may include base/, core/, adapters/)" % front
# Qt stays above the core: the core and what it stands on build without it.
NO_QT = {"base", "core", "sim"}

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^">]+)[">]')
QT_HEADER = re.compile(r"^Qt[A-Za-z]*/|^Q[A-Z][A-Za-z]*$")
SOURCE = (".cpp", ".h", ".hpp", ".cc")


def sources(root):
    git = lambda *args: subprocess.run(["git", "-C", root, *args], capture_output=True, text=True, check=True).stdout
    try:
        checkout = os.path.realpath(git("rev-parse", "--show-toplevel").strip()) == os.path.realpath(root)
    except (OSError, subprocess.CalledProcessError):
        checkout = False
    if checkout:
        names = git("ls-files", "--cached", "--others", "--exclude-standard").splitlines()
    else:
        names = [os.path.relpath(os.path.join(d, f), root) for d, _, fs in os.walk(root) for f in fs]
    return sorted(n for n in names if n.endswith(SOURCE) and n.split("/", 1)[0] in ROOMS)


def offences(root):
    found = []
    for name in sources(root):
        room = name.split("/", 1)[0]
        try:
            with open(os.path.join(root, name), encoding="utf-8", errors="replace") as f:
                lines = f.readlines()
        except FileNotFoundError:  # deleted but not yet staged
            continue
        for number, line in enumerate(lines, 1):
            m = INCLUDE.match(line)
            if not m:
                continue
            target = m.group(2)
            target_room = target.split("/", 1)[0] if "/" in target else None
            if target_room in ROOMS and target_room not in ALLOWED[room]:
                found.append("%s:%d: includes %s: %s" % (name, number, target, WHY[room]))
            elif m.group(1) == "<" and room in NO_QT and QT_HEADER.match(target):
                found.append("%s:%d: includes %s: %s/ is plain C++, Qt belongs in adapters/ or a front end" %
                             (name, number, target, room))
    return found


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
    found = offences(root)
    for line in found:
        print(line)
    if found:
        print("layers: %d include(s) against the direction base <- core <- adapters <- ui/cli/web" % len(found),
              file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
