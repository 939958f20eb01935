import re
import subprocess
import unittest

import os

import wine_env

# The six IOPort methods never change; DataPath's stand beside them.
METHODS = [("IOPort", "nativeOpenPort", 20), ("IOPort", "nativeClosePort", 12), ("IOPort", "nativeWritePort", 28),
           ("IOPort", "nativeReadPort", 28), ("IOPort", "nativeResetDevice", 12),
           ("IOPort", "nativeGetParsedStatus", 16), ("DataPath", "nativeRead", 20)]
ALLOWED_IMPORTS = {"KERNEL32.dll", "SETUPAPI.dll", "WS2_32.dll", "msvcrt.dll"}


class DllImage(unittest.TestCase):
    """The DLL as a JVM and a deployment see it, read with objdump."""

    @classmethod
    def setUpClass(cls):
        cls.dump = subprocess.run([os.environ["VELLAMOOR_OBJDUMP"], "-p", wine_env.DLL],
                                  capture_output=True, text=True, check=True).stdout

    def test_exactly_the_entry_points_of_ioport_and_data_path(self):
        exported = set(re.findall(r"^\s*\[\s*\d+\]\s+(\S+)$", self.dump, re.M))
        if "pei-i386" in self.dump:
            expected = {"_Java_net_vellamoor_printerio_%s_%s@%d" % m for m in METHODS}
        else:
            expected = {"Java_net_vellamoor_printerio_%s_%s" % (cls, name) for cls, name, _ in METHODS}
        self.assertEqual(expected, exported)

    def test_imports_only_system_libraries(self):
        imported = {name.upper() for name in re.findall(r"DLL Name: (\S+)", self.dump)}
        self.assertEqual({name.upper() for name in ALLOWED_IMPORTS}, imported)
