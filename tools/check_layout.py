#!/usr/bin/env python3
"""Checks the installer's floor plan: which folder may include which.

Every file under desktop/windows/installer/ and desktop/windows/crash_reporter/
is read; each include of the installer or the crash reporter must point at
a folder the including file's floor may use (README, "Layout"). Prints one
line per broken rule (file, line, rule) and exits 1 when there is any.

  python3 tools/check_layout.py [repository root]
"""

import os
import re
import sys

INSTALLER = "desktop/windows/installer/"
CRASH_REPORTER = "desktop/windows/crash_reporter/"

# The floors from the bottom up; a floor may include itself and what it
# lists. The folders of one floor do not include each other.
ALLOWED = {
    "common": {"common"},
    "ipc": {"common", "ipc"},
    "service": {"common", "service"},
    "wininet": {"common", "wininet"},
    "crash_reporter": {"common", "crash_reporter"},
    "package_fetcher": {"common", "ipc", "service", "wininet",
                        "package_fetcher"},
    "core": {"common", "ipc", "service", "wininet", "crash_reporter",
             "package_fetcher", "core"},
    "ui": {"common", "ipc", "service", "wininet", "crash_reporter",
           "package_fetcher", "core", "ui"},
    "top": {"common", "ipc", "service", "wininet", "crash_reporter",
            "package_fetcher", "core", "ui", "top"},
}
# Tests, test helpers and the sample programs stand above everything.
ALLOWED["tests"] = set(ALLOWED["top"]) | {"tests"}

SUBFOLDERS = {"common", "ipc", "service", "wininet", "package_fetcher",
              "core", "ui"}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
SOURCE_SUFFIXES = (".h", ".cc", ".rc", ".in")


def is_test(path):
    name = os.path.basename(path)
    return ("/test/" in path or name.endswith("_unittest.cc")
            or name.endswith("_fuzzer.cc") or "benchmark" in name
            or path.startswith(INSTALLER + "sample/"))


def floor_of(path):
    """The floor of a repository path, or None outside the plan."""
    # The crash reporter's tests too use nothing of the installer but its
    # common floor: the reporter stays testable on its own.
    if path.startswith(CRASH_REPORTER):
        return "crash_reporter"
    if not path.startswith(INSTALLER):
        return None
    if is_test(path):
        return "tests"
    rest = path[len(INSTALLER):]
    folder = rest.split("/", 1)[0] if "/" in rest else ""
    if folder in SUBFOLDERS:
        return folder
    if folder in ("", "resources"):
        return "top"
    return "tests"


def check_file(root, path):
    own = floor_of(path)
    errors = []
    with open(os.path.join(root, path), encoding="utf-8",
              errors="replace") as f:
        for number, line in enumerate(f, 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            target = floor_of(match.group(1))
            if target is None or target in ALLOWED[own]:
                continue
            errors.append(
                "%s:%d: includes %s: the %s floor may include only %s" %
                (path, number, match.group(1), own,
                 ", ".join(sorted(ALLOWED[own]))))
    return errors


def check_tree(root):
    errors = []
    for top in (INSTALLER, CRASH_REPORTER):
        for folder, _, names in os.walk(os.path.join(root, top)):
            for name in sorted(names):
                if not name.endswith(SOURCE_SUFFIXES):
                    continue
                path = os.path.relpath(os.path.join(folder, name), root)
                errors.extend(check_file(root, path.replace(os.sep, "/")))
    return errors


def main(argv):
    root = argv[1] if len(argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..")
    errors = check_tree(root)
    for error in errors:
        print(error)
    if errors:
        print("check_layout: %d include(s) against the floor plan "
              "(README, Layout)" % len(errors))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
