#!/usr/bin/env python3
"""Checks the include layering of the sources.

Each folder may include only the folders listed for it below (and itself); Qt only in the
desktop window; operating-system headers only where the system is met. Prints every offending
include as FILE:LINE: reason and exits 1; exits 0 when all hold.

Usage: check-layers.py [ROOT]   (ROOT defaults to the repository; tests/ is not checked)
"""

import os
import re
import sys

_BASE = ["platform"]
_DEVICE = _BASE + ["access", "vendor"]
_BELOW_PAGES = _DEVICE + ["sim", "ctrl", "discovery", "tools"]
_BELOW_VIEWS = _BELOW_PAGES + ["pages", "report"]
_BELOW_FRONTS = _BELOW_VIEWS + ["views"]

# Folder -> the folders it may include, lowest first.
ALLOWED = {
    "platform": [],
    "sim": _BASE,
    "serve": _BASE + ["sim"],
    "access": _BASE,
    "vendor": _BASE + ["access"],
    "ctrl": _DEVICE,
    "discovery": _DEVICE,
    "tools": _DEVICE + ["ctrl"],
    # The page readers, then the renderers of what they read.
    "pages": _BELOW_PAGES,
    "report": _BELOW_PAGES + ["pages"],
    "views": _BELOW_VIEWS,
    "capture": _BELOW_VIEWS,
    "app": _BELOW_FRONTS,
    "cli": _BELOW_FRONTS + ["capture"],
    # The Windows window: the platform's own controls, drawn from the same table as app/.
    "winapp": _BELOW_FRONTS,
    "helper": _BASE + ["sim"],
    "fuzz": _BELOW_FRONTS + ["capture"],
    "bench": _BELOW_FRONTS + ["capture", "app"],
}

# Folders where Qt may be included, and where operating-system headers may be.
QT_FOLDERS = {"app", "bench"}
SYSTEM_FOLDERS = {"platform", "serve", "helper", "bench", "winapp"}

# Not C++ sources of the product: never checked.
SKIPPED = {"tests", "build", "third_party", "docs", "packaging", "scripts", "cmake", ".git"}

SYSTEM_HEADERS = re.compile(
    r"^(unistd|fcntl|poll|dirent|pwd|grp|termios|dlfcn|mntent|spawn|pthread|libudev|syslog|"
    r"sched|semaphore|ifaddrs|netdb|"
    r"windows|winioctl|winbase|winternl|ntddscsi|ntddstor|setupapi|cfgmgr32|devguid|"
    r"initguid|shlobj|shellapi|commctrl|commdlg|shlwapi|io|direct|process|wincrypt|aclapi)\.h$"
    r"|^(sys|linux|scsi|netinet|arpa|net)/")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


def check_file(root, path, folder):
    problems = []
    allowed = set(ALLOWED[folder]) | {folder}
    with open(path, encoding="utf-8", errors="replace") as source:
        for number, line in enumerate(source, 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            kind, target = match.groups()
            where = f"{os.path.relpath(path, root)}:{number}"
            if kind == '"':
                first = target.split("/")[0]
                if "/" in target and first in ALLOWED and first not in allowed:
                    problems.append(f"{where}: {folder}/ includes {target}, which is not below it")
            elif re.match(r"^(Q[A-Za-z]|qt)", target) and folder not in QT_FOLDERS:
                problems.append(f"{where}: {folder}/ includes the Qt header <{target}>")
            elif SYSTEM_HEADERS.search(target) and folder not in SYSTEM_FOLDERS:
                problems.append(f"{where}: {folder}/ includes the system header <{target}>")
    return problems


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else
                           os.path.join(os.path.dirname(__file__), ".."))
    problems = []
    for entry in sorted(os.listdir(root)):
        folder = os.path.join(root, entry)
        if entry in SKIPPED or entry.startswith("build") or not os.path.isdir(folder):
            continue
        for directory, subdirs, files in os.walk(folder):
            subdirs.sort()
            for name in sorted(files):
                if not name.endswith((".cpp", ".h")):
                    continue
                path = os.path.join(directory, name)
                if entry not in ALLOWED:
                    problems.append(f"{os.path.relpath(path, root)}: the folder {entry}/ has no "
                                    "place in the layer table of scripts/check-layers.py")
                    break
                problems += check_file(root, path, entry)
    for problem in problems:
        print(problem)
    if problems:
        print(f"check-layers: {len(problems)} include(s) break the layering", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
