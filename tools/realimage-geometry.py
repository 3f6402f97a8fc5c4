#!/usr/bin/env python3
"""Records fsstat's geometry of the third-party validation images beside the project.

tools/realimage-geometry.py [REALIMAGES_DIR] > tests/fixtures/realimages.fsstat.json

Each image maps to a list of volumes: {"offset": bytes into the image, "fsstat": {...}}, one per
file system that mmls/fsstat find. The tests compare `sorvani info` with it when the images exist.
"""
import json
import os
import re
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "fixtures"))
from tsk_key import parse_fsstat  # noqa: E402

CODECS = {".zst": ["zstd", "-dc"], ".gz": ["gzip", "-dc"], ".bz2": ["bzip2", "-dc"], ".xz": ["xz", "-dc"]}


def volumes(image):
    out = []
    mm = subprocess.run(["mmls", image], capture_output=True, text=True)
    starts = []
    if mm.returncode == 0 and "Units are in" in mm.stdout:
        for line in mm.stdout.splitlines():
            m = re.match(r"^\s*\d+:\s+(\S+)\s+(\d+)\s+(\d+)\s+(\d+)", line)
            if m and ":" in m.group(1):
                starts.append(int(m.group(2)))
    else:
        starts = [0]
    for start in starts:
        fs = subprocess.run(["fsstat", "-o", str(start), image], capture_output=True, text=True,
                            errors="replace")
        if fs.returncode == 0:
            out.append({"offset": start * 512, "fsstat": parse_fsstat(fs.stdout)})
    return out


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "..", "shared", "realimages")
    result = {}
    with tempfile.TemporaryDirectory() as tmp:
        for packed in sorted(os.listdir(folder)):
            base, ext = os.path.splitext(packed)
            if ext not in CODECS:
                continue
            path = os.path.join(tmp, base)
            with open(path, "wb") as f:
                subprocess.run(CODECS[ext] + [os.path.join(folder, packed)], stdout=f, check=True)
            found = volumes(path)
            if found:
                result[base] = found
            os.remove(path)
    json.dump(result, sys.stdout, indent=1, sort_keys=True)
    sys.stdout.write("\n")


if __name__ == "__main__":
    main()
