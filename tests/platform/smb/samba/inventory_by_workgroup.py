#!/usr/bin/python3
"""Copies an inventory from standard input to standard output with the
runs of blocks of each workgroup in byte order of the workgroup names, and
everything else as it was. Of two master browsers, either may answer a
browse walk, each listing the workgroups in the order it learnt them.

    inventory_by_workgroup.py BROWSE_WALK <INVENTORY

BROWSE_WALK is a browse walk of kestrova_smb_probe: it says which
workgroup each server is in.
"""
import re
import sys

from make_directory_lan import read_workgroups


def main():
    workgroup_of = {}
    for workgroup in read_workgroups(sys.argv[1]):
        for server in workgroup["Children"]:
            workgroup_of[server["Server"]] = workgroup["Workgroup"]
    runs = []
    for block in re.split(rb"(?m)^(?=COMPUTER: )", sys.stdin.buffer.read()):
        name = block[len(b"COMPUTER: "):].split(b"\r", 1)[0].decode("latin-1")
        key = workgroup_of.get(name, "") if block.startswith(b"COMPUTER: ") else ""
        if runs and runs[-1][0] == key:
            runs[-1][1].append(block)
        else:
            runs.append((key, [block]))
    runs.sort(key=lambda run: run[0])
    sys.stdout.buffer.write(b"".join(block for _, blocks in runs for block in blocks))


main()
