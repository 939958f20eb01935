#!/usr/bin/python3
"""Side by side with a peer: the receipt proof's receipts composed by the
receipt package (ProofJobs) and by @point-of-sale/receipt-printer-encoder
from npm, drawn by the same virtual printer, read back by OCR and decoded;
then the time each takes to turn a 576-dot photograph and a logo into
printer commands. Prints the tables as Markdown and leaves the drawings in
the output folder.

    scripts/compare-peer.py [--rounds N] [--out DIR]

The peer is given the same printer: 48 columns, our profile's pages under
our profile's ESC t numbers, GS v 0 pictures. It has no multibyte mode, so
for Japanese, Chinese and Korean it prints what its single-byte pages hold.
The photograph is drawn here (gradients, soft shapes, grain): the machines
have no photographs to take, and the time depends on the size, not on what
the picture shows.
"""

import argparse
import os
import shutil
import subprocess
import sys

from PIL import Image, ImageDraw, ImageFilter, ImageFont

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "receipts"))
sys.path.insert(0, os.path.join(ROOT, "tools", "virtual_printer"))

import pdf417  # noqa: E402
import readback  # noqa: E402
import receipt_image  # noqa: E402
from character_sets import load_profile  # noqa: E402
from peer_jobs import PROFILE, compose, install_peer  # noqa: E402
from receipt_jobs import classpath, language_sample, profile_path, write_jobs  # noqa: E402

# What each receipt's codes decode to (as tests/receipts/test_receipt_proof.py).
CODES = ["UPC-A:036000291452", "UPC-E:04252614", "EAN-13:4006381333931", "EAN-8:96385074", "CODE-39:VJ-39",
         "I2/5:12345678", "Codabar:A40156B", "CODE-93:Code93", "CODE-128:VJ 0012345678",
         "QR-Code:https://example.com/r/2026-0001 Grüße €"]
PDF417_TEXT = "PDF417 receipt 2026-0001"
# Our ditherings and the peer's names for them.
DITHERINGS = {"FLOYD_STEINBERG": "floydsteinberg", "ATKINSON": "atkinson", "ORDERED": "bayer",
              "THRESHOLD": "threshold"}


def photograph(path):
    """576 x 800 in continuous tones: a sky, a sun, hills, soft shapes, grain."""
    width, height = 576, 800
    image = Image.linear_gradient("L").resize((width, height)).convert("RGB")
    draw = ImageDraw.Draw(image)
    draw.ellipse([380, 90, 520, 230], fill=(250, 240, 200))
    for i, shade in enumerate((70, 110, 150)):
        top = 420 + 110 * i
        draw.polygon([(0, height), (0, top), (200, top - 90), (380, top + 20), (width, top - 60), (width, height)],
                     fill=(shade, shade + 20, shade - 10))
    for i in range(12):
        x, y = 40 + 45 * i, 600 + (i * 37) % 160
        draw.ellipse([x, y, x + 60, y + 90], fill=(30 + 15 * i, 60, 40 + 10 * i))
    image = image.filter(ImageFilter.GaussianBlur(6))
    grain = Image.effect_noise((width, height), 24).convert("RGB")
    Image.blend(image, grain, 0.15).save(path)
    return path


def logo(path):
    """A two-tone shop logo, 320 x 160: a ring, a cup, the shop's name."""
    image = Image.new("RGB", (320, 160), "white")
    draw = ImageDraw.Draw(image)
    draw.ellipse([10, 10, 150, 150], outline="black", width=10)
    draw.rounded_rectangle([50, 55, 105, 110], radius=10, fill="black")
    draw.arc([90, 62, 125, 97], -90, 90, fill="black", width=8)
    font = ImageFont.truetype("/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf", 34)
    draw.text((160, 40), "CORNER", font=font, fill="black")
    draw.text((160, 85), "CAFE", font=font, fill="black")
    image.save(path)
    return path


def rgba(png, path):
    with Image.open(png) as image:
        converted = image.convert("RGBA")
        with open(path, "wb") as raw:
            raw.write(converted.tobytes())
        return converted.size


def ours_bench(classes, rounds, pictures):
    """Our times, in one JVM: {(picture, dithering): median milliseconds}."""
    paths = {png: name for name, png in pictures.items()}
    command = ["java", "-cp", classes, "net.vellamoor.printerio.receipt.ImageConversionBench", PROFILE, str(rounds),
               ",".join(DITHERINGS)] + list(paths)
    times = {}
    for line in subprocess.run(command, check=True, stdout=subprocess.PIPE, text=True, timeout=900).stdout.split("\n"):
        if line:
            png, dithering, millis = line.split()
            times[paths[png], dithering] = float(millis)
    return times


def theirs(out, peer_folder, languages, rounds, pictures):
    """The peer's jobs, written into out, and its times."""
    os.makedirs(out)
    bench = []
    for name, png in pictures.items():
        raw = os.path.join(out, name + ".rgba")
        width, height = rgba(png, raw)
        bench.append({"name": name, "file": raw, "width": width, "height": height,
                      "algorithms": list(DITHERINGS.values())})
    peer_names = {v: k for k, v in DITHERINGS.items()}
    lines = compose(peer_folder, out, languages, codes=True, bench={"rounds": rounds, "pictures": bench})
    return {(name, peer_names[algorithm]): float(millis) for name, algorithm, millis in lines}


def draw(job_file, profile, png):
    width, model = load_profile(profile_path(profile))
    with open(job_file, "rb") as job:
        image, notes = receipt_image.render_job(job.read(), width, model)
    image.save(png)
    return png, notes


def language_table(out, languages, profiles):
    rows = ["| language | printer | ours: agreement (all/non-ASCII) | reads back | peer: agreement | reads back |",
            "|---|---|---|---|---|---|"]
    for code, lines in languages.items():
        text = "\n".join(lines)
        cells = []
        for side in ("ours", "theirs"):
            png, _ = draw(os.path.join(out, side, "language-%s.bin" % code), profiles[code],
                          os.path.join(out, "%s-%s.png" % (side, code)))
            ok, _, scores = readback.read_text(png, code, text)
            cells += ["%.2f / %.2f" % scores, "yes" if ok else "**no**"]
        rows.append("| %s | %s | %s |" % (code, profiles[code], " | ".join(cells)))
    return rows


def verdict(expected, seen):
    """decodes, decodes to other data (shown), or no."""
    if expected in seen:
        return "decodes"
    symbology = expected.split(":")[0] + ":"
    other = [found for found in seen if found.startswith(symbology)]
    return "**reads %r**" % other[0][len(symbology):] if other else "**no**"


def codes_table(out):
    seen, pngs = {}, {}
    for side, job in (("ours", "codes-%s.bin" % PROFILE), ("theirs", "codes.bin")):
        png, _ = draw(os.path.join(out, side, job), PROFILE, os.path.join(out, "%s-codes.png" % side))
        seen[side], pngs[side] = readback.decoded(png), png
    pdf = dict(zip(("ours", "theirs"), pdf417.decode(pngs["ours"], pngs["theirs"])))
    rows = ["| code | ours | peer |", "|---|---|---|"]
    for expected in CODES:
        rows.append("| %s | %s | %s |" % (expected.split(":")[0], *(verdict(expected, seen[side])
                                                                    for side in ("ours", "theirs"))))
    rows.append("| PDF417 | %s | %s |" % tuple("decodes" if PDF417_TEXT in pdf[side] else "**no**"
                                              for side in ("ours", "theirs")))
    return rows


def bench_table(ours, peer, rounds):
    rows = ["| picture | dithering | ours (ms, median of %d) | peer (ms) | peer / ours |" % rounds,
            "|---|---|---|---|---|"]
    for name in ("photograph", "logo"):
        for dithering in DITHERINGS:
            rows.append("| %s | %s | %.2f | %.2f | %.1f |" % (name, dithering.lower(), ours[name, dithering],
                                                            peer[name, dithering],
                                                            peer[name, dithering] / ours[name, dithering]))
    return rows


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--rounds", type=int, default=30, help="timed rounds per picture (as many to warm up)")
    parser.add_argument("--out", default=os.path.join(ROOT, "build", "compare-peer"))
    args = parser.parse_args()
    shutil.rmtree(args.out, ignore_errors=True)
    os.makedirs(args.out)
    install_peer(os.path.join(ROOT, "build", "peer"))
    classes = classpath(args.out)
    write_jobs(classes, os.path.join(args.out, "ours"))
    languages, profiles = {}, {}
    for code in readback.TESSERACT:
        profiles[code], languages[code] = language_sample(os.path.join(args.out, "ours"), code)
    pictures = {"photograph": photograph(os.path.join(args.out, "photograph.png")),
                "logo": logo(os.path.join(args.out, "logo.png"))}
    peer_times = theirs(os.path.join(args.out, "theirs"), os.path.join(ROOT, "build", "peer"), languages,
                        args.rounds, pictures)
    our_times = ours_bench(classes, args.rounds, pictures)
    print("\n".join(["## Text read back by OCR", ""] + language_table(args.out, languages, profiles)
                    + ["", "## Codes decoded (%s)" % PROFILE, ""] + codes_table(args.out)
                    + ["", "## Picture to printer commands", ""] + bench_table(our_times, peer_times, args.rounds)
                    + ["", "(%d cores, load average %.1f over the last minute)" % (os.cpu_count(),
                                                                             os.getloadavg()[0])]))


if __name__ == "__main__":
    main()
