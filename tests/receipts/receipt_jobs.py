"""The receipt package's classes and the jobs its proof and the peer
comparison draw: VELLAMOOR_RECEIPT_CLASSPATH names compiled classes of the
package and of ProofJobs and ImageConversionBench (scripts/java.sh passes
its own); without it they are compiled from the sources.

    python3 tests/receipts/receipt_jobs.py docs/receipt-composed.png

draws the README's receipt (see readme_jobs) on the generic 80 mm printer:
the picture the README shows.
"""

import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
PACKAGE = os.path.join(ROOT, "java", "net", "vellamoor", "printerio")
PROFILES = os.path.join(PACKAGE, "receipt", "profiles")
TEST_PACKAGE = os.path.join(ROOT, "java", "test", "net", "vellamoor", "printerio", "receipt")
ZXING_JAR = "/usr/share/java/core.jar"


def classpath(folder):
    """The classpath of the package and its harnesses, compiled into folder
    unless VELLAMOOR_RECEIPT_CLASSPATH names them."""
    if os.environ.get("VELLAMOOR_RECEIPT_CLASSPATH"):
        # Absolute: the README's program runs in the jobs' folder.
        entries = os.environ["VELLAMOOR_RECEIPT_CLASSPATH"].split(os.pathsep)
        return os.pathsep.join(os.path.abspath(entry) for entry in entries)
    classes = os.path.join(folder, "classes")
    sources = (glob.glob(os.path.join(PACKAGE, "*.java")) + glob.glob(os.path.join(PACKAGE, "receipt", "*.java"))
               + [os.path.join(TEST_PACKAGE, name) for name in ("ProofJobs.java", "ImageConversionBench.java")])
    subprocess.run(["javac", "-Xlint:-options", "-cp", ZXING_JAR, "-d", classes] + sources, check=True, timeout=600)
    shutil.copytree(PROFILES, os.path.join(classes, "net", "vellamoor", "printerio", "receipt", "profiles"))
    return classes + os.pathsep + ZXING_JAR


def write_jobs(classes, folder, profile_files=()):
    """ProofJobs' jobs, texts and logo, written into folder (and the codes
    for each of the profile files)."""
    subprocess.run(["java", "-cp", classes, "net.vellamoor.printerio.receipt.ProofJobs", folder]
                   + list(profile_files), check=True, timeout=600)


def readme_program():
    """The README's "Compose a receipt" program made to write its receipt's
    job instead of printing it: its imports and its statement that builds
    the receipt, as the README has them."""
    with open(os.path.join(ROOT, "README.md"), encoding="utf-8") as readme:
        blocks = re.findall(r"^```java\n(.*?)^```$", readme.read(), re.M | re.S)
    block = next((block for block in blocks if "Receipt.builder()" in block), "")
    statement = re.search(r"^ *Receipt receipt = Receipt\.builder\(\).*?\.build\(\);$", block, re.M | re.S)
    if statement is None:
        raise ValueError("README.md has no program with `Receipt receipt = Receipt.builder() ... .build();`")
    imports = re.findall(r"^import .*;$", block, re.M)
    return "\n".join(imports + [
        "public class ReadmeReceipt {",
        "    public static void main(String[] args) throws Exception {",
        statement.group(0),
        "        for (int i = 1; i < args.length; i++) {",
        "            Profile profile = args[i].endsWith(\".properties\")",
        "                    ? Profile.load(java.nio.file.Paths.get(args[i])) : Profile.builtIn(args[i]);",
        "            String name = new java.io.File(args[i]).getName().replace(\".properties\", \"\");",
        "            java.nio.file.Files.write(java.nio.file.Paths.get(args[0], \"readme-\" + name + \".bin\"),",
        "                    receipt.encode(profile));",
        "        }",
        "    }",
        "}", ""])


def readme_jobs(classes, folder, profiles):
    """The README receipt's job for each profile (a built-in name or a
    file), as folder/readme-NAME.bin; the program reads logo.png from
    folder, where ProofJobs left one."""
    program = os.path.join(folder, "readme-program")
    os.makedirs(program, exist_ok=True)
    with open(os.path.join(program, "ReadmeReceipt.java"), "w", encoding="utf-8") as source:
        source.write(readme_program())
    subprocess.run(["javac", "-cp", classes, "-d", program, os.path.join(program, "ReadmeReceipt.java")],
                   check=True, timeout=600)
    subprocess.run(["java", "-cp", program + os.pathsep + classes, "ReadmeReceipt", folder] + list(profiles),
                   cwd=folder, check=True, timeout=600)


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


def main(png):
    sys.path.insert(0, os.path.join(ROOT, "tools", "virtual_printer"))
    import receipt_image
    from character_sets import load_profile
    with tempfile.TemporaryDirectory(prefix="readme-receipt-") as folder:
        classes = classpath(folder)
        write_jobs(classes, folder)
        readme_jobs(classes, folder, ["generic-80mm"])
        width, model = load_profile(profile_path("generic-80mm"))
        with open(os.path.join(folder, "readme-generic-80mm.bin"), "rb") as job:
            image, notes = receipt_image.render_job(job.read(), width, model)
    if notes:
        sys.exit("the README's receipt does not draw cleanly: %s" % notes)
    image.save(png, optimize=True)


if __name__ == "__main__":
    main(sys.argv[1])
