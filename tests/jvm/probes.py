"""Small Java programs that try one thing in a JVM of their own (another
account, another network namespace), compiled with the API beside them."""

import argparse
import os
import shutil
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def compile_probe(work, probe):
    """Compiles the API and tests/jvm/PROBE into WORK/classes; returns that folder."""
    classes = os.path.join(work, "classes")
    sources = os.path.join(ROOT, "java", "net", "vellamoor", "printerio")
    subprocess.run(["javac", "--release", "8", "-Xlint:-options", "-d", classes,
                    os.path.join(ROOT, "tests", "jvm", probe)]
                   + [os.path.join(sources, f) for f in os.listdir(sources) if f.endswith(".java")], check=True)
    return classes


AS_NOBODY = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"]
SKIP = 77  # ctest's SKIP_RETURN_CODE for these tests


def root_arguments(description, why_root):
    """--library and --work of a probe test run as root, with WORK emptied;
    without root the test says why and exits as skipped."""
    parser = argparse.ArgumentParser(description=description)
    parser.add_argument("--library", required=True, help="libVellamoorJIOx64.so")
    parser.add_argument("--work", required=True, help="a folder for the run (emptied first)")
    args = parser.parse_args()
    if os.geteuid() != 0:
        print("SKIP: " + why_root)
        sys.exit(SKIP)
    shutil.rmtree(args.work, ignore_errors=True)
    os.makedirs(args.work)
    return args


def run_probe(command, env=None, timeout=120):
    """Runs a probe's JVM and returns the words it printed; a failed run or
    any -Xcheck:jni warning fails the test."""
    result = subprocess.run(command, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                            timeout=timeout)
    if result.returncode != 0 or "WARNING" in result.stdout:
        raise AssertionError("%s failed:\n%s" % (" ".join(command), result.stdout))
    return result.stdout.split()


def run_held_probe(command, env, mark, while_held, timeout=120):
    """Runs a probe's JVM that prints its words, then mark, then waits for a
    line on its input; calls while_held with the words meanwhile and
    returns them once the JVM has exited. Fails as run_probe does."""
    process = subprocess.Popen(command, env=env, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                               stderr=subprocess.STDOUT, text=True)
    words, lines = [], []
    try:
        for line in process.stdout:
            lines.append(line)
            if line.strip() == mark:
                break
            words += line.split()
        try:
            while_held(words)
        finally:
            process.stdin.write("\n")
            process.stdin.close()
        lines += process.stdout.readlines()
        process.wait(timeout)
    finally:
        if process.poll() is None:
            process.kill()
            process.wait()
    output = "".join(lines)
    if process.returncode != 0 or "WARNING" in output:
        raise AssertionError("%s failed:\n%s" % (" ".join(command), output))
    return words
