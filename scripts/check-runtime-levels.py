#!/usr/bin/env python3
"""Checks that the runtime reads bottom-up.

runtime/CMakeLists.txt lists the runtime's levels, one comment line each:
    #   level N NAME: FILE FILE ...
(a FILE is a name without .h or .cpp). Every file of runtime/ must be in
one level, and may include only runtime files of its own level or of a
lower one. A file and its header count as one part; the parts must not
include each other in a cycle, within a level either.

Usage: scripts/check-runtime-levels.py [REPOSITORY]   (exit code 1 on a fault)
"""
import pathlib
import re
import sys

root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).resolve().parent.parent)
runtime = root / "runtime"
level_line = re.compile(r"^#\s+level\s+(\d+)\s+([^:]+):\s*(.*)$")
include_line = re.compile(r'^\s*#\s*include\s+"runtime/([A-Za-z0-9_]+)\.h"')

levels = {}  # part -> (number, name)
for line in (runtime / "CMakeLists.txt").read_text().splitlines():
    match = level_line.match(line)
    if match:
        for part in match.group(3).split():
            levels[part] = (int(match.group(1)), match.group(2).strip())

faults = []
includes = {}  # part -> {included part: file that includes it}
for path in sorted(runtime.glob("*.h")) + sorted(runtime.glob("*.cpp")):
    part = path.stem
    if part not in levels:
        faults.append(f"runtime/{path.name} is in no level of runtime/CMakeLists.txt")
        continue
    for line in path.read_text().splitlines():
        match = include_line.match(line)
        if not match or match.group(1) == part:
            continue
        included = match.group(1)
        includes.setdefault(part, {})[included] = path.name
        if included not in levels:
            faults.append(f"runtime/{path.name} includes runtime/{included}.h, which is in no level")
        elif levels[included][0] > levels[part][0]:
            faults.append(
                f"runtime/{path.name} (level {levels[part][0]}, {levels[part][1]}) includes runtime/{included}.h "
                f"(level {levels[included][0]}, {levels[included][1]})")

# Depth-first search for a cycle among the parts.
state = {}
path_so_far = []


def visit(part):
    state[part] = "open"
    path_so_far.append(part)
    for included in sorted(includes.get(part, {})):
        if state.get(included) == "open":
            cycle = path_so_far[path_so_far.index(included):] + [included]
            faults.append("include cycle: " + " -> ".join(cycle))
        elif included not in state:
            visit(included)
    path_so_far.pop()
    state[part] = "done"


for part in sorted(includes):
    if part not in state:
        visit(part)

for fault in faults:
    print(fault)
if faults:
    sys.exit(1)
print(f"runtime levels: {len(levels)} parts in {len({number for number, _ in levels.values()})} levels, no cycle")
