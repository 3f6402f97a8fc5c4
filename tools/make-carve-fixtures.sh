#!/usr/bin/env bash
# Builds the small carving images under tests/fixtures with independent tools (mkfs.fat +
# mtools, mkntfs + ntfs-3g, ImageMagick, exiftool, The Sleuth Kit) and an answer key per image:
#
#   carve-fat12.img.zst carve-fat16.img.zst carve-fat32.img.zst carve-ntfs.img.zst
#   carve-*.img.pictures.tsv   name deleted sha256 size type layout
#
# layout tells what a carver can hope for: contiguous (every byte still in place, in free
# clusters), fragmented, overwritten (some cluster since reused), resident (NTFS, inside the
# MFT record), live (not deleted). Deterministic for a given tool set.
#
#   sudo tools/make-carve-fixtures.sh
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
OUT="$ROOT/tests/fixtures"
IM=${IM:-/usr/bin/convert}  # the real ImageMagick
[[ $(id -u) -eq 0 ]] || { echo "make-carve-fixtures: needs root (FUSE mount)" >&2; exit 1; }
for t in mkfs.fat mcopy mdel mmd mkntfs ntfs-3g exiftool istat fls zstd python3 "$IM"; do
  command -v "$t" >/dev/null || { echo "make-carve-fixtures: missing tool $t" >&2; exit 1; }
done
export MTOOLS_SKIP_CHECK=1 IM OUT
WORK=$(mktemp -d /tmp/sorvani-carve.XXXXXX)
export WORK
cleanup() {
  if mountpoint -q "$WORK/mnt" 2>/dev/null; then sync; umount "$WORK/mnt"; fi
  rm -rf "$WORK"
}
trap cleanup EXIT

python3 - <<'PY'
import hashlib, os, random, re, subprocess, time
IM, OUT, WORK = os.environ["IM"], os.environ["OUT"], os.environ["WORK"]
P = os.path.join(WORK, "pics"); os.makedirs(P)
R = random.Random(2024)

def sh(*a, **k): return subprocess.run(a, check=True, **k)
def im(args, out):
    sh("sh", "-c", f"{IM} {args}{out}")
    return out
def sha(b): return hashlib.sha256(b).hexdigest()
def noise(name, size):
    p = os.path.join(P, name)
    with open(p, "wb") as f: f.write(R.randbytes(size))
    return p

# ------------------------------------------------------------------ pictures
pics = {}
def pic(name, kind, args):
    pics[name] = (kind, im(args, os.path.join(P, name)))
pic("exif.jpg", "jpeg", "-seed 1 -size 200x150 plasma: -quality 85 JPEG:")
thumb = im("-seed 2 -size 64x48 plasma: -quality 70 JPEG:", os.path.join(P, "thumb.jpg"))
sh("exiftool", "-q", "-overwrite_original", f"-ThumbnailImage<={thumb}", "-Make=Sorvani", os.path.join(P, "exif.jpg"))
pic("prog.jpg", "jpeg", "-seed 3 -size 320x240 plasma: -interlace Plane -quality 80 JPEG:")
pic("plain.jpg", "jpeg", "-seed 4 -size 96x64 gradient:red-blue -quality 90 JPEG:")
pic("idats.png", "png", "-seed 5 -size 160x120 plasma: -depth 8 -define png:compression-level=0 PNG24:")
pic("small.png", "png", "-seed 6 -size 40x30 gradient:white-green PNG8:")
pic("anim.gif", "gif", "-seed 7 -delay 20 -size 64x48 plasma: -size 64x48 plasma: -size 64x48 plasma: -loop 0 -colors 64 GIF:")
pic("still.gif", "gif", "-seed 8 -size 80x60 pattern:hexagons -colors 16 GIF:")
pic("tiny.gif", "gif", "-size 8x8 xc:red GIF:")
pic("rgb.bmp", "bmp", "-seed 9 -size 50x40 plasma: BMP3:")
pic("argb.bmp", "bmp", "-seed 10 -size 30x30 plasma: -alpha set BMP:")
pic("live.jpg", "jpeg", "-seed 11 -size 120x90 plasma: -quality 75 JPEG:")
pic("live.png", "png", "-seed 12 -size 60x60 plasma: PNG24:")
pic("frag.jpg", "jpeg", "-seed 13 -size 400x300 plasma: -quality 92 JPEG:")
pic("over.png", "png", "-seed 14 -size 200x200 plasma: PNG24:")
data = {n: open(p, "rb").read() for n, (k, p) in pics.items()}
n_idat = data["idats.png"].count(b"IDAT")
assert n_idat >= 2, f"idats.png has {n_idat} IDAT chunks"
assert data["exif.jpg"].count(b"\xff\xd9") >= 2, "exif.jpg has no embedded thumbnail"

# Order of writing. "hole" is deleted before frag.jpg is written, so frag.jpg fills the hole
# and continues after the next file: two runs. over.png is deleted and then overwritten.
plan = [("n1", noise("n1.bin", 3000)), ("exif.jpg",), ("idats.png",), ("anim.gif",),
        ("rgb.bmp",), ("n2", noise("n2.bin", 5000)), ("prog.jpg",), ("live.jpg",),
        ("small.png",), ("still.gif",), ("tiny.gif",), ("argb.bmp",), ("plain.jpg",),
        ("hole", noise("hole.bin", 6000)), ("n3", noise("n3.bin", 2000)), ("live.png",)]
deleted = ["exif.jpg", "idats.png", "anim.gif", "rgb.bmp", "prog.jpg", "small.png",
           "still.gif", "tiny.gif", "argb.bmp", "plain.jpg", "frag.jpg", "over.png"]
def path_of(n): return pics[n][1] if n in pics else dict((x[0], x[1]) for x in plan if len(x) > 1)[n]

def image_bytes(img): return open(img, "rb").read()

def intact(img, offs, blob):
    """offs: byte offsets of the file's clusters in order (cluster size cs)."""
    raw = image_bytes(img)
    got = b"".join(raw[o:o + l] for o, l in offs)
    return got[:len(blob)] == blob

def runs_of(offs):
    n = 1
    for (a, la), (b, _) in zip(offs, offs[1:]):
        if b != a + la: n += 1
    return n

def manifest(img, layout):
    with open(img + ".pictures.tsv", "w") as f:
        f.write("#name\tdeleted\tsha256\tsize\ttype\tlayout\n")
        for n in sorted(pics):
            if n == "thumb.jpg": continue
            f.write(f"{n}\t{1 if n in deleted else 0}\t{sha(data[n])}\t{len(data[n])}\t{pics[n][0]}\t{layout.get(n, 'live')}\n")

# ------------------------------------------------------------------ FAT via mtools
def fat_extents(img, name, cs):
    out = subprocess.run(["fls", "-r", "-p", img], capture_output=True, text=True, check=True).stdout
    m = re.search(r"r/r (\d+):\s+(?:\S+/)?" + re.escape(name) + r"$", out, re.M)
    st = subprocess.run(["istat", img, m.group(1)], capture_output=True, text=True, check=True).stdout
    secs = [int(x) for x in st.split("Sectors:")[1].split()]
    size = int(re.search(r"Size: (\d+)", st).group(1))
    secs = secs[:(size + 511) // 512]
    return [(s * 512, 512) for s in secs]

def make_fat(label, bits, mb, extra):
    img = os.path.join(WORK, f"carve-fat{bits}.img")
    sh("truncate", "-s", f"{mb}M", img)
    sh("mkfs.fat", "-F", str(bits), *extra, "-n", label, img, stdout=subprocess.DEVNULL)
    sh("mmd", "-i", img, "::/DCIM")
    def put(n): sh("mcopy", "-i", img, "-o", path_of(n), f"::/DCIM/{n.upper() if '.' in n else n}")
    for it in plan: put(it[0])
    sh("mdel", "-i", img, "::/DCIM/hole")
    put("frag.jpg"); put("over.png")
    ext = {n: fat_extents(img, n.upper(), 0) for n in deleted}
    # over.png is deleted first and its clusters, then the lowest free ones, taken by w.
    sh("mdel", "-i", img, "::/DCIM/OVER.PNG")
    sh("mcopy", "-i", img, "-o", noise("w.bin", len(data["over.png"])), "::/DCIM/w")
    for n in deleted:
        if n != "over.png": sh("mdel", "-i", img, f"::/DCIM/{n.upper()}")
    lay = {}
    for n in deleted:
        r = runs_of(ext[n])
        if not intact(img, ext[n], data[n]): lay[n] = "overwritten"
        elif r > 1: lay[n] = f"fragmented"
        else: lay[n] = "contiguous"
    manifest(img, lay)
    return img

imgs = []
# FAT12 2 KiB clusters; FAT16 with its data area off the cluster grid (1 KiB clusters, -a,
# one reserved sector); FAT32 with 512-byte clusters.
imgs.append(make_fat("CARVE12", 12, 4, ["-s", "4"]))
imgs.append(make_fat("CARVE16", 16, 8, ["-s", "2", "-a", "-R", "1", "-r", "112"]))
imgs.append(make_fat("CARVE32", 32, 40, ["-s", "1"]))

# ------------------------------------------------------------------ NTFS via ntfs-3g
img = os.path.join(WORK, "carve-ntfs.img")
sh("truncate", "-s", "12M", img)
sh("mkntfs", "-F", "-f", "-Q", "-q", "-c", "4096", "-L", "carve", img, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
mnt = os.path.join(WORK, "mnt"); os.makedirs(mnt)
def mount():
    p = subprocess.Popen(["ntfs-3g", "-o", "no_detach,noatime", img, mnt], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    for _ in range(100):
        if os.path.ismount(mnt): return p
        time.sleep(0.1)
    raise SystemExit("ntfs-3g mount failed")
def umount(p):
    os.sync(); sh("umount", mnt); p.wait()
p = mount()
os.mkdir(os.path.join(mnt, "DCIM"))
ino = {}
def nput(n):
    dst = os.path.join(mnt, "DCIM", n)
    with open(path_of(n), "rb") as s, open(dst, "wb") as d: d.write(s.read())
    ino[n] = os.stat(dst).st_ino
for it in plan: nput(it[0])
os.unlink(os.path.join(mnt, "DCIM", "hole"))
umount(p); p = mount()
nput("frag.jpg"); nput("over.png")
umount(p)
def nt_extents(n):
    st = subprocess.run(["istat", "-r", img, str(ino[n])], capture_output=True, text=True).stdout
    m = re.search(r"Type: \$DATA \(128-\d+\)\s+Name: N/A\s+(Resident|Non-Resident)[^\n]*\n((?:\s*Starting address[^\n]*\n?)*)", st)
    if m.group(1) == "Resident": return None
    return [(int(a) * 4096, int(b) * 4096)
            for a, b in re.findall(r"Starting address: (\d+), length: (\d+)", m.group(2))]
ext = {n: nt_extents(n) for n in deleted}
p = mount()
os.unlink(os.path.join(mnt, "DCIM", "over.png"))
umount(p); p = mount()
with open(os.path.join(mnt, "DCIM", "w"), "wb") as f: f.write(R.randbytes(len(data["over.png"])))
for n in deleted:
    if n != "over.png": os.unlink(os.path.join(mnt, "DCIM", n))
umount(p)
lay = {}
for n in deleted:
    e = ext[n]
    if e is None: lay[n] = "resident"
    elif not intact(img, e, data[n]): lay[n] = "overwritten"
    elif runs_of(e) > 1: lay[n] = "fragmented"
    else: lay[n] = "contiguous"
manifest(img, lay)
imgs.append(img)

for i in imgs:
    sh("zstd", "-q", "-19", "-f", i, "-o", os.path.join(OUT, os.path.basename(i) + ".zst"))
    sh("cp", i + ".pictures.tsv", OUT)
    print(os.path.basename(i), "\t".join(l.split("\t")[0] + ":" + l.rstrip().split("\t")[5] for l in open(i + ".pictures.tsv") if not l.startswith("#")))
PY
ls -la "$OUT"/carve-*
