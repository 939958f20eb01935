#!/usr/bin/env python3
"""Runs real JVMs as two accounts (root and nobody) over one shared, sticky
temporary folder in which nobody has planted world-writable folders and a
library under every name a loader might use. Each JVM must load the jar's
own library from a folder that only its own account can write, both
accounts must load, a second class loader must load too, and the planted
library must never run. A copy in a fresh temporary folder must be gone,
folder and all, once its JVM has exited. A platform the jar has no library
for must reach Printer callers as a PrinterException on every call."""

import hashlib
import os
import shutil
import subprocess
import sys

from probes import AS_NOBODY, compile_probe, root_arguments, run_held_probe

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
NOBODY = 65534


def build_classes(work, library, version):
    """The jar's contents as a folder: the API, the library as a resource, and the probe."""
    classes = compile_probe(work, os.path.join("loader", "LoaderProbe.java"))
    native = os.path.join(classes, "net", "vellamoor", "printerio", "native")
    os.makedirs(native)
    shutil.copy(library, os.path.join(native, "libVellamoorJIOx64.so"))
    with open(os.path.join(classes, "net", "vellamoor", "printerio", "version.properties"), "w") as out:
        out.write("version=%s\n" % version)
    return classes


def planted_library(work, marker):
    """A library whose constructor leaves a marker file: proof that it ran."""
    source = os.path.join(work, "planted.c")
    with open(source, "w") as out:
        out.write('#include <stdio.h>\n__attribute__((constructor)) static void ran(void) {\n'
                  '    FILE* f = fopen("%s", "w"); if (f) fclose(f);\n}\n' % marker)
    planted = os.path.join(work, "planted.so")
    subprocess.run(["gcc", "-shared", "-fPIC", "-o", planted, source], check=True)
    return planted


def give_to_nobody(path, mode):
    os.chown(path, NOBODY, NOBODY)
    os.chmod(path, mode)


def plant(folder, names, planted):
    """A folder of nobody's that everyone can write, holding the planted library under every name."""
    os.makedirs(folder, exist_ok=True)
    for name in names:
        shutil.copy(planted, os.path.join(folder, name))
        give_to_nobody(os.path.join(folder, name), 0o777)
    give_to_nobody(folder, 0o777)


def probe(classes, tmp, cache, as_nobody=False, args=(), options=(), uid=0, image=None):
    """The copies the probe's JVM loaded, each checked to be private to uid
    and the jar's library while the JVM still holds it (when image is given)."""
    command = (AS_NOBODY if as_nobody else []) + [
        "java", "-XX:-UsePerfData", "-Xcheck:jni", "-Djava.io.tmpdir=" + tmp, "-Dprobe.classes=" + classes,
        *options, "-cp", classes, "LoaderProbe", *args]
    env = {k: v for k, v in os.environ.items() if k not in ("XDG_CACHE_HOME", "JAVA_TOOL_OPTIONS")}
    if cache:
        env["XDG_CACHE_HOME"] = cache

    def while_loaded(loaded):
        for path in loaded if image else ():
            check_private(path, uid, image)

    return run_held_probe(command, env, "loaded", while_loaded)


def check_private(path, uid, image):
    """The loaded copy and its folder belong to uid, nobody else can write them, and it is the jar's library."""
    for item in (path, os.path.dirname(path)):
        info = os.lstat(item)
        if info.st_uid != uid or info.st_mode & 0o022 or os.path.islink(item):
            raise AssertionError("%s: owner %d, mode %o; want owner %d, writable by nobody else"
                                 % (item, info.st_uid, info.st_mode & 0o7777, uid))
    with open(path, "rb") as loaded:
        if loaded.read() != image:
            raise AssertionError(path + " is not the jar's library")


def main():
    args = root_arguments(__doc__.split("\n\n")[0], "switching between two accounts needs root")
    os.chmod(args.work, 0o755)
    with open(os.path.join(ROOT, "VERSION")) as f:
        version = f.read().strip()
    with open(args.library, "rb") as f:
        image = f.read()
    hashed = "libVellamoorJIOx64-%s.so" % hashlib.sha256(image).hexdigest()[:16]
    names = ["libVellamoorJIOx64.so", hashed]
    classes = build_classes(args.work, args.library, version)
    marker = os.path.join(args.work, "planted-ran")
    planted = planted_library(args.work, marker)

    shared = os.path.join(args.work, "tmp")
    os.makedirs(shared)
    os.chmod(shared, 0o1777)
    plant(os.path.join(shared, "vellamoor-printerio-" + version), names, planted)
    root_cache = os.path.join(args.work, "root-cache")   # root's cache folder, made by nobody first
    plant(os.path.join(root_cache, "vellamoor-printerio", version), names, planted)
    give_to_nobody(os.path.join(root_cache, "vellamoor-printerio"), 0o777)
    give_to_nobody(root_cache, 0o777)
    linked_cache = os.path.join(args.work, "linked-cache")  # nobody's cache, a link into root's folder
    os.makedirs(os.path.join(linked_cache, "vellamoor-printerio"))
    os.symlink(os.path.join(root_cache, "vellamoor-printerio", version),
               os.path.join(linked_cache, "vellamoor-printerio", version))
    give_to_nobody(os.path.join(linked_cache, "vellamoor-printerio"), 0o755)
    give_to_nobody(linked_cache, 0o755)
    own_cache = os.path.join(args.work, "nobody-cache")
    os.makedirs(own_cache)
    give_to_nobody(own_cache, 0o700)

    failures = []

    def case(name, check):
        try:
            check()
            print("ok   " + name)
        except AssertionError as e:
            failures.append(name)
            print("FAIL %s: %s" % (name, e))

    def root_in_planted_places():
        [loaded] = probe(classes, shared, root_cache, image=image)
        if os.path.dirname(os.path.dirname(loaded)) != shared or os.path.exists(os.path.dirname(loaded)):
            raise AssertionError("want a fresh folder in %s, gone after the JVM exited: %s" % (shared, loaded))

    def nobody_beside_root():
        probe(classes, shared, linked_cache, as_nobody=True, uid=NOBODY, image=image)

    def nobody_from_its_own_cache_twice():
        first = probe(classes, shared, own_cache, as_nobody=True, uid=NOBODY, image=image)
        second = probe(classes, shared, own_cache, as_nobody=True, uid=NOBODY, image=image)
        want = [os.path.join(own_cache, "vellamoor-printerio", version, hashed)]
        if first != want or second != want:
            raise AssertionError("loaded %s then %s; want %s both times" % (first, second, want))

    def second_class_loader():
        loaded = probe(classes, shared, root_cache, args=["second-loader"], image=image)
        if len(loaded) != 2:
            raise AssertionError("want two copies mapped, one per class loader: %s" % loaded)

    def second_class_loader_with_the_property():
        named = os.path.join(args.work, "named", "libVellamoorJIOx64.so")
        os.makedirs(os.path.dirname(named))
        with open(named, "wb") as out:
            out.write(image + b"\0" * 64)  # another build: the same code, other bytes
        with open(named, "rb") as f:
            named_image = f.read()
        loaded = probe(classes, shared, root_cache, args=["second-loader"], image=named_image,
                       options=["-D%s=%s" % ("vellamoor.printerio.library", named)])
        if len(loaded) != 2 or named not in loaded:
            raise AssertionError("want the named file and a copy of it, one per class loader: %s" % loaded)

    def unsupported_platform_reaches_printer_callers():
        lines = "\n".join(probe(classes, shared, root_cache, args=["printer"], options=["-Dos.arch=riscv64"]))
        want = "PrinterException\nunsupported\nplatform:\nLinux\nriscv64;"
        if lines.count(want) != 2 or lines.count("cause\njava.lang.UnsatisfiedLinkError") != 2:
            raise AssertionError("want two PrinterExceptions naming the platform, got:\n" + lines)

    case("root, with every place it might use planted by nobody", root_in_planted_places)
    case("nobody, on the same shared folder after root", nobody_beside_root)
    case("nobody, from its own cache folder, twice", nobody_from_its_own_cache_twice)
    case("a second class loader in one JVM", second_class_loader)
    case("a second class loader, with the library named by the property", second_class_loader_with_the_property)
    case("an unsupported platform, twice through Printer", unsupported_platform_reaches_printer_callers)
    if os.path.exists(marker):
        failures.append("planted library")
        print("FAIL the planted library ran")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
