#!/usr/bin/env python3
"""Packs the release bundle from the built files: a zip whose entries are in
a fixed order with one fixed time, and SHA256SUMS of every file in it."""

import glob
import hashlib
import os
import sys
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
# Name in the bundle, then the built file.
FILES = [
    ("VellamoorJIOx32.dll", "build/win32/bin/VellamoorJIOx32.dll"),
    ("VellamoorJIOx64.dll", "build/win64/bin/VellamoorJIOx64.dll"),
    ("libVellamoorJIOx64.so", "build/linux/libVellamoorJIOx64.so"),
    ("libVellamoorJIOaarch64.so", "build/linux-aarch64/libVellamoorJIOaarch64.so"),
    ("vellamoor-printerio.jar", "build/java/vellamoor-printerio.jar"),
    ("printertool.exe", "build/win32/bin/printertool.exe"),
    ("printertool", "build/linux/tools/printertool"),
    ("README.md", "README.md"),
    ("INSTALL.md", "docs/INSTALL.md"),
]
# The manual's other pages, where the README's links find them.
PAGES = sorted(glob.glob(os.path.join(ROOT, "docs", "*.md")) + glob.glob(os.path.join(ROOT, "docs", "*.png")))
FILES += [(os.path.relpath(page, ROOT),) * 2 for page in PAGES]
EXECUTABLES = {"printertool"}
SUMS = "SHA256SUMS"
FIXED_TIME = (2026, 1, 1, 0, 0, 0)


def folder_name(version):
    return "vellamoor-printerio-%s" % version


def add(bundle, name, data):
    entry = zipfile.ZipInfo(name, FIXED_TIME)
    entry.external_attr = (0o755 if os.path.basename(name) in EXECUTABLES else 0o644) << 16
    entry.compress_type = zipfile.ZIP_DEFLATED
    bundle.writestr(entry, data)


def main():
    version = sys.argv[1]
    folder = folder_name(version)
    out_dir = os.path.join(ROOT, "build", "release")
    os.makedirs(out_dir, exist_ok=True)
    target = os.path.join(out_dir, folder + ".zip")
    sums = []
    with zipfile.ZipFile(target, "w") as bundle:
        for name, built in FILES:
            with open(os.path.join(ROOT, built), "rb") as source:
                data = source.read()
            add(bundle, "%s/%s" % (folder, name), data)
            sums.append("%s  %s\n" % (hashlib.sha256(data).hexdigest(), name))
        add(bundle, "%s/%s" % (folder, SUMS), "".join(sums).encode())
    print(os.path.relpath(target, ROOT))
    return 0


if __name__ == "__main__":
    sys.exit(main())
