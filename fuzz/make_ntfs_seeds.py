#!/usr/bin/env python3
"""Seed corpora for the NTFS fuzz targets, cut from NTFS images (the test fixtures).

make_ntfs_seeds.py OUT_DIR IMAGE...

Writes OUT_DIR/{record,runlist,lznt1,index,volume,catalogue}/: MFT records with the clusters after
them, the run lists of their non-resident attributes, INDX blocks, compressed chunks, and
a small whole volume (mkntfs when present, else the first MiB of the first image).
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile


def save(folder, name, data):
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def seeds_from(image, out, tag):
    with open(image, "rb") as f:
        img = f.read()
    if img[3:7] != b"NTFS":
        return
    bps = struct.unpack_from("<H", img, 11)[0]
    spc = img[13] if img[13] <= 0x80 else 1 << (256 - img[13])
    bpc = bps * spc
    mft = struct.unpack_from("<Q", img, 48)[0] * bpc
    v = struct.unpack_from("<b", img, 64)[0]
    rec = v * bpc if v >= 0 else 1 << -v
    for i in range(64):
        r = img[mft + i * rec: mft + (i + 1) * rec]
        if r[:4] != b"FILE":
            continue
        # The record fuzzer takes 1024-byte records followed by volume bytes.
        save(os.path.join(out, "record"), "%s-%d" % (tag, i), r[:1024] + img[mft: mft + 16384])
        off = struct.unpack_from("<H", r, 20)[0]
        while off + 16 <= len(r):
            atype, alen = struct.unpack_from("<II", r, off)
            if atype == 0xFFFFFFFF or alen < 16 or off + alen > len(r):
                break
            if r[off + 8]:
                runs = struct.unpack_from("<H", r, off + 32)[0]
                save(os.path.join(out, "runlist"), "%s-%d-%x" % (tag, i, atype), r[off + runs: off + alen])
            off += alen
    found = 0
    for pos in range(0, min(len(img), 64 << 20), 512):
        if img[pos:pos + 4] == b"INDX" and found < 24:
            save(os.path.join(out, "index"), "%s-%d" % (tag, pos), img[pos:pos + 4096])
            found += 1
    chunks = 0
    for pos in range(0, len(img) - 2, bpc):
        h = struct.unpack_from("<H", img, pos)[0]
        if h & 0xF000 == 0xB000 and chunks < 16:
            save(os.path.join(out, "lznt1"), "%s-%d" % (tag, pos), img[pos:pos + 16 * bpc][:65536])
            chunks += 1


def small_volume(out, first):
    path = os.path.join(out, "volume", "mkntfs-1m")
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with tempfile.TemporaryDirectory() as tmp:
        img = os.path.join(tmp, "v.img")
        with open(img, "wb") as f:
            f.truncate(1100 * 1024)
        r = subprocess.run(["mkntfs", "-F", "-q", "-c", "512", "-L", "seed", "-H", "0", "-S", "0",
                            "-p", "0", img], capture_output=True)
        if r.returncode == 0:
            with open(img, "rb") as f, open(path, "wb") as o:
                o.write(f.read())
            return
    with open(first, "rb") as f, open(path + "-cut", "wb") as o:
        o.write(f.read(1 << 20))


def catalogue_volume(out):
    """A 1.1 MiB volume with deleted files and a deleted folder, made through ntfs-3g when the
    tools and a FUSE mount are at hand; otherwise the catalogue fuzzer starts from the volume
    seeds."""
    path = os.path.join(out, "catalogue", "deleted-1m")
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with tempfile.TemporaryDirectory() as tmp:
        img, mnt = os.path.join(tmp, "v.img"), os.path.join(tmp, "mnt")
        os.makedirs(mnt)
        with open(img, "wb") as f:
            f.truncate(1100 * 1024)
        made = subprocess.run(["mkntfs", "-F", "-q", "-c", "512", "-L", "seed", "-H", "0", "-S", "0",
                               "-p", "0", img], capture_output=True).returncode == 0
        if made and subprocess.run(["ntfs-3g", img, mnt], capture_output=True).returncode == 0:
            try:
                os.makedirs(os.path.join(mnt, "Docs", "Old"))
                os.makedirs(os.path.join(mnt, "Keep"))
                for i in range(1, 5):
                    with open(os.path.join(mnt, "Docs", "Old", "n%d.txt" % i), "w") as f:
                        f.write("note %d\n" % i)
                    with open(os.path.join(mnt, "Keep", "k%d.txt" % i), "w") as f:
                        f.write("keep %d\n" % i)
                with open(os.path.join(mnt, "Keep", "data.bin"), "wb") as f:
                    f.write(bytes(range(256)) * 12)
                shutil.rmtree(os.path.join(mnt, "Docs", "Old"))
                os.remove(os.path.join(mnt, "Keep", "k2.txt"))
            finally:
                subprocess.run(["umount", mnt], capture_output=True)
            shutil.copyfile(img, path)
            return
    shutil.rmtree(os.path.dirname(path))


def main():
    out = sys.argv[1]
    for n, image in enumerate(sys.argv[2:]):
        seeds_from(image, out, "i%d" % n)
    save(os.path.join(out, "lznt1"), "hand", bytes([0x03, 0xB0, 0x02, 0x41, 0xFC, 0x0F, 0x01, 0x30, 0x64, 0x65, 0, 0]))
    small_volume(out, sys.argv[2])
    catalogue_volume(out)


if __name__ == "__main__":
    main()
