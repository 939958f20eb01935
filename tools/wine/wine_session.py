"""Runs Windows programs under Wine for the demo and the end-to-end tests:
one prefix per build tree, and a wineserver started up front with its
output in a log (a server started by a Windows program inherits that
program's output and dumps its objects there when it exits)."""

import contextlib
import fcntl
import os
import subprocess
import time


class WineSession:
    def __init__(self, loader, prefix):
        self.loader = loader
        self.prefix = prefix
        wine_dir = os.path.dirname(loader)
        server64 = os.path.join(wine_dir, "wineserver64")
        self.server = server64 if os.path.exists(server64) else os.path.join(wine_dir, "wineserver")
        wine64 = os.path.join(wine_dir, "wine64")
        self.boot_loader = wine64 if os.path.exists(wine64) else loader
        self.env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all", WINEDLLOVERRIDES="mscoree,mshtml=",
                        WINESERVER=self.server)

    def loader_problem(self):
        """Why the loader cannot run programs on this machine, or None."""
        try:
            subprocess.run([self.loader, "--version"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                           timeout=30)
        except OSError as error:
            return "%s does not start on this machine (%s)" % (self.loader, error.strerror)
        return None

    def emulated(self):
        """Whether the loader is a 32-bit program that binfmt_misc hands to
        qemu-user, which then emulates every instruction of the DLL."""
        try:
            with open(self.loader, "rb") as loader:
                header = loader.read(5)
            with open("/proc/sys/fs/binfmt_misc/qemu-i386") as entry:
                enabled = entry.readline().strip() == "enabled"
        except OSError:
            return False
        return header[:4] == b"\x7fELF" and header[4] == 1 and enabled

    def _log(self, name):
        return open(os.path.join(os.path.dirname(self.prefix), name), "ab")

    def ensure_prefix(self):
        """Creates the prefix once (about 10 s); later runs reuse it."""
        os.makedirs(os.path.dirname(self.prefix), exist_ok=True)
        with open(self.prefix + ".lock", "w") as lock:
            fcntl.flock(lock, fcntl.LOCK_EX)
            if os.path.exists(os.path.join(self.prefix, "system.reg")):
                return
            with self._log("wineboot.log") as log:
                subprocess.run([self.boot_loader, "wineboot", "-i"], env=self.env, stdout=log, stderr=log,
                               stdin=subprocess.DEVNULL, timeout=240, check=True)
            subprocess.run([self.server, "-w"], env=self.env, timeout=60)

    def start_server(self):
        with self._log("wineserver.log") as log:
            subprocess.Popen([self.server, "-f", "-p5"], env=self.env, stdout=log, stderr=log,
                             stdin=subprocess.DEVNULL, start_new_session=True)
        time.sleep(0.2)

    def stop_server(self):
        subprocess.run([self.server, "-k"], env=self.env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=30)

    @contextlib.contextmanager
    def serving(self):
        """The prefix made and a wineserver running for the body of a with."""
        self.ensure_prefix()
        self.start_server()
        try:
            yield self
        finally:
            self.stop_server()

    def run(self, program, arguments, timeout=60):
        return subprocess.run([self.loader, program] + list(arguments), env=self.env, capture_output=True,
                              text=True, timeout=timeout)

    def popen(self, program, arguments, **options):
        return subprocess.Popen([self.loader, program] + list(arguments), env=self.env, **options)


# The project's Windows builds in order of preference: preset, Wine loader, DLL.
BUILDS = (("win32", "/usr/lib/wine/wine", "VellamoorJIOx32.dll"),
          ("win64", "/usr/lib/wine/wine64", "VellamoorJIOx64.dll"))


class Build:
    """One build tree: its programs in bin/ and the Wine session of its prefix."""

    def __init__(self, root, preset, loader, dll):
        self.preset = preset
        self.dll_name = dll
        self.bin_dir = os.path.join(root, "build", preset, "bin")
        self.session = WineSession(loader, os.path.join(root, "build", preset, "wineprefix"))

    def program(self, name):
        return os.path.join(self.bin_dir, name)


def choose_build(root, only=None, native=False):
    """The first build (or the one named) whose Wine loader starts on this
    machine, or None, and why each build before it was passed over. With
    native, a build that runs only under emulation is taken only when no
    other runs."""
    passed_over = []
    emulated = None
    for preset, loader, dll in BUILDS:
        if only and preset != only:
            continue
        build = Build(root, preset, loader, dll)
        problem = build.session.loader_problem()
        if problem is None and native and build.session.emulated():
            emulated = emulated or build
            passed_over.append("%s runs only under qemu-user emulation here" % build.dll_name)
            continue
        if problem is None:
            return build, passed_over
        passed_over.append(problem)
    return emulated, passed_over
