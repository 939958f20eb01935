import re
import subprocess
import unittest

import os
import sys

import wine_env

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from jni_methods import METHODS, jni_name  # noqa: E402
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
            expected = {"_%s@%d" % (jni_name(cls, name), size) for cls, name, size in METHODS}
        else:
            expected = {jni_name(cls, name) for cls, name, _ in METHODS}
        self.assertEqual(expected, exported)

    def test_imports_only_system_libraries(self):
        imported = {name.upper() for name in re.findall(r"DLL Name: (\S+)", self.dump)}
        self.assertEqual({name.upper() for name in ALLOWED_IMPORTS}, imported)
