#!/usr/bin/env python3
"""Checks the release bundle that scripts/release.sh made: every file that
SHA256SUMS lists is in it and matches its sum, the Windows images carry this
release's version resource, and a second build of the same sources in
another directory gives the same bytes."""

import hashlib
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
sys.path.insert(0, os.path.join(ROOT, "scripts"))
import bundle as packing  # noqa: E402

VERSION = open(os.path.join(ROOT, "VERSION")).read().strip()
FOLDER = packing.folder_name(VERSION)
BUNDLE = os.path.join("build", "release", FOLDER + ".zip")
EXPECTED = [name for name, _ in packing.FILES] + [packing.SUMS]
WINDOWS_IMAGES = ["VellamoorJIOx32.dll", "VellamoorJIOx64.dll", "printertool.exe"]
FIXED_FILE_INFO_SIGNATURE = struct.pack("<I", 0xFEEF04BD)

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def read_bundle(root):
    with zipfile.ZipFile(os.path.join(root, BUNDLE)) as bundle:
        return {name[len(FOLDER) + 1:]: bundle.read(name) for name in bundle.namelist()}


def check_sums(files):
    check(sorted(files) == sorted(EXPECTED), "bundle holds %s" % sorted(files))
    listed = {}
    for line in files.get(packing.SUMS, b"").decode().splitlines():
        digest, name = line.split("  ", 1)
        listed[name] = digest
    check(sorted(listed) == sorted(set(EXPECTED) - {packing.SUMS}), "SHA256SUMS lists %s" % sorted(listed))
    for name, digest in listed.items():
        actual = hashlib.sha256(files.get(name, b"")).hexdigest()
        check(actual == digest, "%s: SHA256SUMS says %s, the file is %s" % (name, digest, actual))


def version_strings(image):
    """The values after each string name in the image's version resource."""
    found = {}
    for name in ("FileVersion", "ProductVersion", "ProductName", "FileDescription"):
        key = (name + "\0").encode("utf-16-le")
        at = image.find(key)
        if at < 0:
            continue
        start = at + len(key)
        start += (4 - start % 4) % 4  # values are aligned to 32 bits
        end = image.find(b"\0\0", start)
        end += (end - start) % 2
        found[name] = image[start:end].decode("utf-16-le")
    return found


def check_version_resource(name, image):
    major, minor, patch = (int(part) for part in VERSION.split("."))
    at = image.find(FIXED_FILE_INFO_SIGNATURE)
    check(at >= 0, "%s has no version resource" % name)
    if at >= 0:
        file_ms, file_ls, product_ms, product_ls = struct.unpack("<IIII", image[at + 8:at + 24])
        check((file_ms, file_ls) == (major << 16 | minor, patch << 16), "%s: file version %08x %08x"
              % (name, file_ms, file_ls))
        check((product_ms, product_ls) == (file_ms, file_ls), "%s: product version differs" % name)
    strings = version_strings(image)
    check(strings.get("FileVersion") == VERSION and strings.get("ProductVersion") == VERSION
          and strings.get("ProductName") == "VellamoorJIO", "%s: version strings %s" % (name, strings))
    return strings


def build_elsewhere():
    """The same tracked sources, built in a directory of another name and depth."""
    work = tempfile.mkdtemp(prefix="vellamoor-repro-")
    copy = os.path.join(work, "another", "place", "VellamoorJIO-copy")
    tracked = subprocess.run(["git", "ls-files", "-z"], cwd=ROOT, capture_output=True, check=True).stdout
    for name in tracked.decode().split("\0"):
        if name:
            os.makedirs(os.path.dirname(os.path.join(copy, name)), exist_ok=True)
            shutil.copy2(os.path.join(ROOT, name), os.path.join(copy, name))
    subprocess.run([os.path.join(copy, "scripts", "release.sh")], check=True, stdout=subprocess.DEVNULL)
    return work, copy


def main():
    files = read_bundle(ROOT)
    check_sums(files)
    for name in WINDOWS_IMAGES:
        strings = check_version_resource(name, files.get(name, b""))
        print("%s: %s" % (name, strings))
    work, copy = build_elsewhere()
    try:
        others = read_bundle(copy)
        for name in sorted(set(EXPECTED) - {"README.md", "INSTALL.md"}):
            here = hashlib.sha256(files.get(name, b"")).hexdigest()
            there = hashlib.sha256(others.get(name, b"")).hexdigest()
            print("%-24s %s  %s" % (name, here, "same" if here == there else "DIFFERS: " + there))
            check(here == there, "%s differs between %s and %s" % (name, ROOT, copy))
        with open(os.path.join(ROOT, BUNDLE), "rb") as a, open(os.path.join(copy, BUNDLE), "rb") as b:
            same = a.read() == b.read()
        print("%s: %s" % (os.path.basename(BUNDLE), "same bytes in both builds" if same else "DIFFERS"))
        check(same, "the bundles differ")
    finally:
        shutil.rmtree(work, ignore_errors=True)
    for failure in failures:
        print("release check: " + failure, file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
