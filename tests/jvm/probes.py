"""Small Java programs that try one thing in a JVM of their own (another
account, another network namespace), compiled with the API beside them."""

import os
import subprocess

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def compile_probe(work, probe):
    """Compiles the API and tests/jvm/PROBE into WORK/classes; returns that folder."""
    classes = os.path.join(work, "classes")
    sources = os.path.join(ROOT, "java", "net", "vellamoor", "printerio")
    subprocess.run(["javac", "--release", "8", "-Xlint:-options", "-d", classes,
                    os.path.join(ROOT, "tests", "jvm", probe)]
                   + [os.path.join(sources, f) for f in os.listdir(sources) if f.endswith(".java")], check=True)
    return classes
