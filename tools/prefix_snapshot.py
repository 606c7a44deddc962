#!/usr/bin/env python3
"""Snapshots of what an installation changes in a Wine prefix, for the main
job (tools/run_main.sh): the files of drive C and the current user's
registry subtrees the installer writes.

  prefix_snapshot.py take PREFIX HKCU_EXPORT OUT_JSON
  prefix_snapshot.py compare BEFORE_JSON AFTER_JSON

"take" reads the prefix's drive C and a "reg export HKCU" file (UTF-16);
"compare" prints every difference and exits with 1 when there is one.

Left out on purpose: the user's temporary folder (the installer's logs stay
there), Wine's own Windows folder apart from the scheduled tasks, and
WinINet's cache. In the registry, keys without values are left out (the
installer removes its values but keeps shared parent keys such as
Software\\Classes\\.htm\\OpenWithProgIDs), and the one value the installer
keeps on purpose, "Last <stream> Install Path" of the company key, which
remembers the folder for the next install; "compare" prints it.
"""

import hashlib
import json
import os
import re
import sys

# The current user's subtrees the installer writes, lower case.
REGISTRY_SUBTREES = [
    r"software\classes",
    r"software\clients",
    r"software\registeredapplications",
    r"software\microsoft\windows\currentversion\uninstall",
    r"software\microsoft\windows\currentversion\app paths",
    r"software\microsoft\windows nt\currentversion\appcompatflags",
    r"software\velna",
]
KEPT_VALUE = re.compile(r'^"Last [^"]* Install Path"=')
COMPANY_KEY = r"software\velna"


def skipped_file(relative):
    parts = relative.lower().split("/")
    if parts[0] == "windows":
        return not (relative.lower().startswith("windows/tasks") or
                    relative.lower().startswith("windows/system32/tasks") or
                    relative.lower() in ("windows", "windows/system32"))
    if len(parts) >= 3 and parts[0] == "users" and parts[2] == "temp":
        return True
    if (len(parts) >= 5 and parts[0] == "users" and parts[2:5] ==
            ["appdata", "local", "microsoft"]):
        return True
    return False


def take_files(prefix):
    root = os.path.join(prefix, "drive_c")
    files = {}
    for folder, subfolders, names in os.walk(root):
        relative_folder = os.path.relpath(folder, root).replace(os.sep, "/")
        kept = []
        for sub in sorted(subfolders):
            relative = os.path.normpath(os.path.join(relative_folder, sub))
            relative = relative.replace(os.sep, "/")
            if skipped_file(relative):
                continue
            if os.path.islink(os.path.join(folder, sub)):
                files[relative] = "link"
                continue
            files[relative] = "folder"
            kept.append(sub)
        subfolders[:] = kept
        for name in names:
            relative = os.path.normpath(os.path.join(relative_folder, name))
            relative = relative.replace(os.sep, "/")
            if skipped_file(relative):
                continue
            path = os.path.join(folder, name)
            if os.path.islink(path) or not os.path.isfile(path):
                files[relative] = "other"
                continue
            with open(path, "rb") as f:
                digest = hashlib.sha256(f.read()).hexdigest()
            files[relative] = "%d %s" % (os.path.getsize(path), digest)
    return files


def take_registry(export_file):
    with open(export_file, "rb") as f:
        data = f.read()
    text = data.decode("utf-16") if data[:2] in (b"\xff\xfe", b"\xfe\xff") \
        else data.decode("utf-8", "replace")
    # Continued lines (long hexadecimal data) joined first.
    text = re.sub(r"\\\r?\n\s*", "", text)
    keys = {}
    current = None
    for line in text.splitlines():
        if line.startswith("[") and line.endswith("]"):
            name = line[1:-1]
            lower = name.lower()
            prefix = "hkey_current_user\\"
            current = None
            if lower.startswith(prefix):
                relative = lower[len(prefix):]
                if any(relative == s or relative.startswith(s + "\\")
                       for s in REGISTRY_SUBTREES):
                    current = relative
            continue
        if current is None or not line.strip() or line.startswith(";"):
            continue
        keys.setdefault(current, []).append(line)
    return {key: sorted(values) for key, values in keys.items()}


def compare(before_file, after_file):
    with open(before_file) as f:
        before = json.load(f)
    with open(after_file) as f:
        after = json.load(f)
    differences = 0
    for name in ("files", "registry"):
        old, new = before[name], after[name]
        if name == "registry":
            old = {k: [v for v in vs if not (k == COMPANY_KEY and
                                                KEPT_VALUE.match(v))]
                   for k, vs in old.items()}
            kept = [v for v in new.get(COMPANY_KEY, []) if KEPT_VALUE.match(v)]
            for value in kept:
                print("  kept on purpose: HKCU\\Software\\Velna " + value)
            new = {k: [v for v in vs if not (k == COMPANY_KEY and
                                                KEPT_VALUE.match(v))]
                   for k, vs in new.items()}
            old = {k: v for k, v in old.items() if v}
            new = {k: v for k, v in new.items() if v}
        for key in sorted(set(old) | set(new)):
            if old.get(key) != new.get(key):
                differences += 1
                print("  %s differs: %s" % (name, key))
                print("    before: %s" % (old.get(key),))
                print("    after:  %s" % (new.get(key),))
        print("  %s: %d entries before, %d after" % (name, len(old), len(new)))
    return 1 if differences else 0


def main(argv):
    if len(argv) == 5 and argv[1] == "take":
        snapshot = {"files": take_files(argv[2]),
                    "registry": take_registry(argv[3])}
        with open(argv[4], "w") as f:
            json.dump(snapshot, f, indent=1, sort_keys=True)
        return 0
    if len(argv) == 4 and argv[1] == "compare":
        return compare(argv[2], argv[3])
    sys.stderr.write(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
