#!/usr/bin/python3
"""Makes the directory LAN that the SMB network must equal: the export
files that seeded the servers, and a lan.json with the hierarchy that a
browse walk of kestrova_smb_probe gave (workgroups and servers in its
order, with their comments) and the computers that cannot be connected.

    make_directory_lan.py BROWSE_WALK OUT_DIR NAME=ERROR... -- FILE.reg...
"""
import json
import re
import shutil
import sys


def read_workgroups(walk_file):
    """The workgroups of a browse walk, in its order, each with its servers
    (their names without the leading backslashes, and their comments)."""
    record = re.compile(r'^( *)display=(\d+) usage=\d+ remote=(".*?"|null) comment=(".*?"|null) provider=')
    workgroups = []
    for line in open(walk_file, encoding="utf-8"):
        match = record.match(line)
        if not match:
            continue
        depth = len(match.group(1)) // 2
        remote = json.loads(match.group(3).replace("\\", "\\\\"))
        comment = json.loads(match.group(4).replace("\\", "\\\\"))
        if depth == 1:
            workgroups.append({"Workgroup": remote, "Children": []})
        elif depth == 2:
            server = {"Server": remote[2:]}
            if comment is not None:
                server["Comment"] = comment
            workgroups[-1]["Children"].append(server)
    return workgroups


def main():
    walk_file, out_dir, *rest = sys.argv[1:]
    split = rest.index("--")
    faults = dict(item.split("=") for item in rest[:split])
    for reg in rest[split + 1:]:
        shutil.copy(reg, out_dir)
    workgroups = read_workgroups(walk_file)
    description = {
        "Children": [{"Network": "Microsoft Windows Network", "Children": workgroups}],
        "Computers": {name: {"ConnectError": int(error)} for name, error in faults.items()},
    }
    with open(f"{out_dir}/lan.json", "w", encoding="utf-8") as out:
        json.dump(description, out, indent=2)


if __name__ == "__main__":
    main()
