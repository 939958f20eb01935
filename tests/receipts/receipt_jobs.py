"""The receipt package's classes and the jobs its proof and the peer
comparison draw: VELLAMOOR_RECEIPT_CLASSPATH names compiled classes of the
package and of ProofJobs and ImageConversionBench (scripts/java.sh passes
its own); without it they are compiled from the sources."""

import glob
import os
import shutil
import subprocess

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
PACKAGE = os.path.join(ROOT, "java", "net", "vellamoor", "printerio")
PROFILES = os.path.join(PACKAGE, "receipt", "profiles")
TEST_PACKAGE = os.path.join(ROOT, "java", "test", "net", "vellamoor", "printerio", "receipt")
ZXING_JAR = "/usr/share/java/core.jar"


def classpath(folder):
    """The classpath of the package and its harnesses, compiled into folder
    unless VELLAMOOR_RECEIPT_CLASSPATH names them."""
    if os.environ.get("VELLAMOOR_RECEIPT_CLASSPATH"):
        return os.environ["VELLAMOOR_RECEIPT_CLASSPATH"]
    classes = os.path.join(folder, "classes")
    sources = (glob.glob(os.path.join(PACKAGE, "*.java")) + glob.glob(os.path.join(PACKAGE, "receipt", "*.java"))
               + [os.path.join(TEST_PACKAGE, name) for name in ("ProofJobs.java", "ImageConversionBench.java")])
    subprocess.run(["javac", "-Xlint:-options", "-cp", ZXING_JAR, "-d", classes] + sources, check=True, timeout=600)
    shutil.copytree(PROFILES, os.path.join(classes, "net", "vellamoor", "printerio", "receipt", "profiles"))
    return classes + os.pathsep + ZXING_JAR


def write_jobs(classes, folder, profile_files=()):
    """ProofJobs' jobs and texts, written into folder (and the README
    receipt for each of the profile files)."""
    subprocess.run(["java", "-cp", classes, "net.vellamoor.printerio.receipt.ProofJobs", folder]
                   + list(profile_files), check=True, timeout=600)


def profile_path(name):
    return os.path.join(PROFILES, name + ".properties")


def built_in_profiles():
    return sorted(os.path.basename(path)[:-len(".properties")]
                  for path in glob.glob(os.path.join(PROFILES, "*.properties")))


def language_sample(folder, language):
    """The profile a language's sample was composed for, and its lines."""
    with open(os.path.join(folder, "language-%s.txt" % language), encoding="utf-8") as text:
        profile, *lines = text.read().splitlines()
    return profile, lines
