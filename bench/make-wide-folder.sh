#!/usr/bin/env bash
# make-wide-folder.sh OUT.img [NFILES]
#
# An NTFS image (mkntfs + the ntfs-3g driver) with one existing folder "Wide" whose NFILES
# (default 100000) small files were all deleted: the worst case for filling and sorting one
# folder of the browse view. Needs root (FUSE).
set -euo pipefail
[ $# -ge 1 ] || { echo "usage: $0 OUT.img [NFILES]" >&2; exit 2; }
OUT=$1; NFILES=${2:-100000}
[ "$(id -u)" = 0 ] || { echo "must run as root (FUSE mount)" >&2; exit 1; }
MNT=$(mktemp -d /tmp/widefolder.mnt.XXXXXX)
rm -f "$OUT"
truncate -s 2G "$OUT"
mkntfs -F -f -Q -q -L wide "$OUT" >/dev/null 2>&1
ntfs-3g -o no_detach,noatime "$OUT" "$MNT" &
NPID=$!
for _ in $(seq 50); do mountpoint -q "$MNT" && break; sleep 0.1; done
mountpoint -q "$MNT" || { echo "mount failed" >&2; exit 1; }
mkdir "$MNT/Wide"
python3 - "$MNT/Wide" "$NFILES" <<'PY'
import os, sys
folder, count = sys.argv[1], int(sys.argv[2])
for i in range(count):
    # Sizes and extensions vary so that every column has something to sort.
    ext = ("txt", "jpg", "docx", "bin", "")[i % 5]
    name = f"file-{(i * 7919) % count:06d}" + (f".{ext}" if ext else "")
    with open(os.path.join(folder, name), "wb") as f:
        f.write(b"x" * ((i * 37) % 700))
PY
find "$MNT/Wide" -type f -delete
umount "$MNT"
wait "$NPID" || true
rmdir "$MNT"
echo "made $OUT: Wide\\ with $NFILES deleted files"
