"""Receipts composed by a peer, @point-of-sale/receipt-printer-encoder from
npm (pinned), through scripts/peer-receipts.js, for the same printer as our
generic 80 mm profile: 48 columns, our pages under our ESC t numbers, GS v 0
pictures. The peer has no multibyte mode."""

import json
import os
import subprocess

from character_sets import codec_name, read_profile_properties
from receipt_jobs import ROOT, profile_path

PEER = "@point-of-sale/receipt-printer-encoder"
PEER_VERSION = "4.0.1"
PROFILE = "generic-80mm"


def install_peer(folder):
    """The peer from npm into folder, once; raises CalledProcessError when
    npm cannot install it."""
    package = os.path.join(folder, "node_modules", PEER, "package.json")
    if os.path.exists(package):
        with open(package) as file:
            if json.load(file)["version"] == PEER_VERSION:
                return
    subprocess.run(["npm", "install", "--no-audit", "--no-fund", "--prefix", folder, PEER + "@" + PEER_VERSION],
                   stdout=subprocess.PIPE, stderr=subprocess.STDOUT, check=True, timeout=600)


def peer_page_name(codec):
    """The peer's name for one of our pages (by its Python codec)."""
    if codec == "katakana":
        return "epson/katakana"
    if codec.startswith("cp125"):
        return "windows" + codec[2:]
    return codec.replace("iso8859_", "iso8859-")


def peer_pages():
    pages = {}
    for entry in read_profile_properties(profile_path(PROFILE))["code.pages"].split(","):
        number, _, charset = entry.strip().partition(":")
        pages[peer_page_name(codec_name(charset))] = int(number)
    return pages


def compose(peer_folder, out, languages, codes=False, bench=None):
    """The peer's language-XX.bin (languages: code to ProofJobs' lines of the
    sample; the last, the title and 12.50 apart, it composes as a table) and
    codes.bin, written into out; returns its timing lines for bench (see
    peer-receipts.js)."""
    os.makedirs(out, exist_ok=True)
    order = os.path.join(out, "order.json")
    with open(order, "w", encoding="utf-8") as file:
        json.dump({"pages": peer_pages(), "languages": {code: lines[:-1] for code, lines in languages.items()},
                   "codes": codes, "bench": bench or {"pictures": []}}, file, ensure_ascii=False)
    result = subprocess.run(["node", os.path.join(ROOT, "scripts", "peer-receipts.js"), order, out], check=True,
                            stdout=subprocess.PIPE, text=True, timeout=900,
                            env=dict(os.environ, NODE_PATH=os.path.join(peer_folder, "node_modules")))
    return [line.split() for line in result.stdout.split("\n") if line]
