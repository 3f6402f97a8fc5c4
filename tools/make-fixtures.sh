#!/usr/bin/env bash
# Builds the test images under tests/fixtures with independent tools (mkntfs/ntfs-3g,
# mkfs.fat/mtools, ImageMagick, sfdisk) and writes answer keys from The Sleuth Kit.
#
#   sudo tools/make-fixtures.sh            # every image
#   sudo tools/make-fixtures.sh fat12 ...  # only the named ones
#
# Everything happens in one mktemp folder; mounts are FUSE mounts of plain image files
# (no loop devices), and the exit trap unmounts them and removes the folder.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
OUT="$ROOT/tests/fixtures"
HELP="$ROOT/tools/fixtures"
PY=python3
[[ -x /usr/bin/python3 ]] && PY=/usr/bin/python3   # skips slow version-manager shims
GEN="$PY $HELP/gen.py"
ALL=(ntfs-4k ntfs-512 ntfs-64k ntfs-mftfrag fat12 fat16 fat32 mbr-ntfs-fat32 gpt-ntfs-fat mbr-extended)

[[ $(id -u) -eq 0 ]] || { echo "make-fixtures: needs root (FUSE mounts)" >&2; exit 1; }
for t in mkntfs ntfs-3g ntfsinfo mkfs.fat mcopy mdel mmd convert exiftool setfattr sfdisk \
         fsstat fls icat istat ils mmls zstd python3; do
  command -v "$t" >/dev/null || { echo "make-fixtures: missing tool $t" >&2; exit 1; }
done

WORK=$(mktemp -d /tmp/sorvani-fixtures.XXXXXX)
MOUNTS=()

# Waits for the ntfs-3g daemon serving IMAGE to exit: for a plain file the FUSE unmount
# returns before the daemon has flushed and closed the volume.
wait_daemon() {
  local img=$1 p n
  for n in $(seq 1 200); do
    local busy=0
    for p in /proc/[0-9]*; do
      [[ -r $p/cmdline ]] || continue
      if tr '\0' '\n' <"$p/cmdline" 2>/dev/null | grep -qxF "$img"; then
        if tr '\0' '\n' <"$p/cmdline" 2>/dev/null | head -1 | grep -q 'ntfs-3g$'; then busy=1; fi
      fi
    done
    [[ $busy -eq 0 ]] && return 0
    sleep 0.1
  done
  echo "make-fixtures: ntfs-3g for $img did not exit" >&2
  return 1
}

nmount() { # IMAGE MOUNTPOINT
  mkdir -p "$2"
  ntfs-3g -o streams_interface=windows "$1" "$2"
  MOUNTS+=("$2|$1")
}

numount() { # MOUNTPOINT
  local mnt=$1 img="" i
  sync
  for i in "${!MOUNTS[@]}"; do
    if [[ ${MOUNTS[$i]%%|*} == "$mnt" ]]; then img=${MOUNTS[$i]#*|}; unset 'MOUNTS[i]'; fi
  done
  umount "$mnt"
  [[ -n $img ]] && wait_daemon "$img"
  return 0
}

cleanup() {
  local m
  for m in "${MOUNTS[@]}"; do
    if mountpoint -q "${m%%|*}"; then umount "${m%%|*}" || umount -l "${m%%|*}" || true; fi
    wait_daemon "${m#*|}" || true
  done
  # only ever our own mktemp folder
  [[ $WORK == /tmp/sorvani-fixtures.* ]] && rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

# Fixed times for what we can set (mtime/atime); ctime and MFT times follow the clock.
FIXED_TIME="2021-06-15 12:00:00 UTC"
export TZ=UTC SOURCE_DATE_EPOCH=1623758400

fix_times() { find "$1" -mindepth 1 -exec touch -h -d "$FIXED_TIME" {} + 2>/dev/null || true; }

# Record number of a path on an ntfs-3g mount (ntfs-3g reports it as the inode number).
recno() { stat -c %i "$1"; }

# mkntfs explains at length that a plain file has no disk geometry; keep that for failures.
mkntfs_q() {
  mkntfs "$@" >"$WORK/mkntfs.log" 2>&1 || { cat "$WORK/mkntfs.log" >&2; return 1; }
}

pack() { # IMAGE-NAME [FILE...]: compress the image into tests/fixtures
  local name=$1
  rm -f "$OUT/$name.zst"
  zstd -q -19 --long=27 "$WORK/$name" -o "$OUT/$name.zst"
}

# ---------------------------------------------------------------------------------------
# NTFS, 4 KiB clusters: the main volume, one or more of every on-disk shape.

build_ntfs_4k() {
  local name=ntfs-4k.img img="$WORK/ntfs-4k.img" m="$WORK/m4k"
  truncate -s 48M "$img"
  mkntfs_q -q -F -Q -T -c 4096 -L SORVANI4K "$img"
  nmount "$img" "$m"

  # The orphan's parent goes first so that it owns the lowest record that will be free
  # at the end; the next record allocated after a remount then reuses it.
  mkdir "$m/OrphanParent"
  $GEN pattern 900 20000 >"$m/OrphanParent/orphan-child.bin"
  echo "$(recno "$m/OrphanParent") $(recno "$m/OrphanParent/orphan-child.bin")" >"$WORK/orphan.rec"

  # Fragmentation: single-cluster hole files, then fill the volume, then free every other
  # hole, so the only free space left is one-cluster gaps that the targets must use.
  mkdir -p "$m/Frag/holes"
  local i
  $GEN files pattern 2001 4096 $(for i in $(seq -w 1 1500); do echo "$m/Frag/holes/h$i.bin"; done)
  : >"$m/Frag/fragmented-live.bin"
  : >"$m/Frag/fragmented-deleted.bin"
  : >"$m/Frag/many-runs-attrlist.bin"
  : >"$m/Frag/many-runs-deleted.bin"
  dd if=/dev/zero of="$m/Frag/spacer.bin" bs=64k 2>/dev/null || true
  sync
  (cd "$m/Frag/holes" && rm $(seq -f 'h%04g.bin' 2 2 1500))
  sync
  $GEN pattern 3001 $((80 * 4096)) >"$m/Frag/fragmented-live.bin"; sync
  $GEN pattern 3002 $((40 * 4096)) >"$m/Frag/fragmented-deleted.bin"; sync
  $GEN pattern 3003 $((300 * 4096)) >"$m/Frag/many-runs-attrlist.bin"; sync
  $GEN pattern 3004 $((300 * 4096)) >"$m/Frag/many-runs-deleted.bin"; sync
  truncate -s 0 "$m/Frag/spacer.bin"
  sync

  # Nested live folders holding live and deleted files.
  mkdir -p "$m/Docs/Reports/2023/Q4"
  $GEN text 10 600 >"$m/Docs/Reports/2023/summary.txt"
  $GEN text 11 300 >"$m/Docs/Reports/2023/draft-old.txt"
  $GEN pattern 12 200000 >"$m/Docs/Reports/2023/report-final.bin"
  $GEN pattern 13 150000 >"$m/Docs/Reports/2023/budget-deleted.bin"
  $GEN text 14 9000 >"$m/Docs/Reports/2023/Q4/q4-notes.txt"
  $GEN text 15 12000 >"$m/Docs/Reports/2023/Q4/q4-deleted.txt"
  $GEN text 16 100 >"$m/Docs/readme.txt"
  : >"$m/Docs/empty-live.dat"
  : >"$m/Docs/empty-deleted.dat"
  $GEN text 17 450 >"$m/Docs/resident-deleted.txt"

  # A whole tree that is deleted at the end.
  mkdir -p "$m/OldProject/src/lib/deep"
  $GEN text 20 700 >"$m/OldProject/README.txt"
  $GEN pattern 21 30000 >"$m/OldProject/src/main.bin"
  $GEN text 22 200 >"$m/OldProject/src/lib/util.txt"
  $GEN pattern 23 50000 >"$m/OldProject/src/lib/deep/data.bin"
  $GEN text 24 5000 >"$m/OldProject/src/lib/deep/notes.txt"

  # Names: 8.3 aliases, accents, CJK, a surrogate pair, 255 characters.
  mkdir "$m/Names"
  $GEN text 30 500 >"$m/Names/Long File Name Document.txt"
  setfattr -n system.ntfs_dos_name -v "LONGFI~1.TXT" "$m/Names/Long File Name Document.txt"
  $GEN text 31 5000 >"$m/Names/Another Long Name Deleted.txt"
  setfattr -n system.ntfs_dos_name -v "ANOTHE~1.TXT" "$m/Names/Another Long Name Deleted.txt"
  $GEN text 32 300 >"$m/Names/café-résumé.txt"
  $GEN text 33 300 >"$m/Names/Müller-Übersicht.txt"
  $GEN text 34 300 >"$m/Names/日本語のファイル.txt"
  $GEN text 35 6000 >"$m/Names/smile-😀.txt"
  $GEN text 36 300 >"$m/Names/naïve-gelöscht-é.txt"
  $GEN text 37 6000 >"$m/Names/削除された日本語.txt"
  $GEN text 38 300 >"$m/Names/deleted-😀-emoji.txt"
  local long255 long255d
  long255=$(python3 -c 'print(("L255-live-" + "abcdefghij" * 30)[:251] + ".txt")')
  long255d=$(python3 -c 'print(("L255-deleted-" + "klmnopqrst" * 30)[:251] + ".txt")')
  $GEN text 39 400 >"$m/Names/$long255"
  $GEN text 40 400 >"$m/Names/$long255d"

  # Large files (> 4 MiB).
  mkdir "$m/Big"
  $GEN pattern 50 $((5 * 1024 * 1024 + 1234)) >"$m/Big/large-live.bin"
  $GEN pattern 51 $((4 * 1024 * 1024 + 300000)) >"$m/Big/large-deleted.bin"

  # Compressed folder: the flag is inherited by files created in it.
  mkdir "$m/Compressed"
  setfattr -n system.ntfs_attrib_be -v 0x00000800 "$m/Compressed"
  $GEN units 60 tttttp >"$m/Compressed/comp-text.txt"
  $GEN units 61 trtp >"$m/Compressed/comp-random-unit.bin"
  $GEN units 62 thzt >"$m/Compressed/comp-partzero.bin"
  $GEN units 63 ttth >"$m/Compressed/comp-deleted.txt"
  $GEN text 64 500 >"$m/Compressed/comp-small-resident.txt"

  # Sparse: writes past the end leave unallocated holes.
  mkdir "$m/Sparse"
  $GEN pattern 70 65536 >"$m/Sparse/sparse-live.bin"
  $GEN pattern 71 65536 | dd of="$m/Sparse/sparse-live.bin" bs=65536 seek=40 conv=notrunc 2>/dev/null
  truncate -s $((6 * 1024 * 1024)) "$m/Sparse/sparse-live.bin"
  $GEN pattern 72 32768 | dd of="$m/Sparse/sparse-deleted.bin" bs=32768 seek=64 2>/dev/null
  $GEN pattern 73 32768 | dd of="$m/Sparse/sparse-deleted.bin" bs=32768 seek=100 conv=notrunc 2>/dev/null

  # Alternate data streams.
  mkdir "$m/Streams"
  $GEN text 80 2000 >"$m/Streams/ads-live.txt"
  $GEN text 81 120 >"$m/Streams/ads-live.txt:meta"
  $GEN pattern 82 20000 >"$m/Streams/ads-live.txt:Zone.Identifier"
  $GEN text 83 300 >"$m/Streams/ads-deleted.txt"
  $GEN pattern 84 30000 >"$m/Streams/ads-deleted.txt:secret"
  $GEN text 85 150 >"$m/Streams/ads-deleted.txt:small"

  # Hard links push $FILE_NAME attributes into extension records ($ATTRIBUTE_LIST).
  mkdir "$m/HardLinks"
  $GEN text 90 3000 >"$m/HardLinks/links-live.txt"
  $GEN text 91 3000 >"$m/HardLinks/links-deleted.txt"
  for i in $(seq -w 1 20); do
    ln "$m/HardLinks/links-live.txt" "$m/HardLinks/links-live-hard-link-number-$i.txt"
    ln "$m/HardLinks/links-deleted.txt" "$m/HardLinks/links-deleted-hard-link-number-$i.txt"
  done

  fix_times "$m"
  sync
  # what ntfs-3g allocated for each path, before any of it is deleted
  find "$m" -mindepth 1 -printf '%i\t%P\n' | sort -n >"$WORK/ntfs-4k.records.tsv"

  # Deletions.
  rm "$m/Docs/Reports/2023/draft-old.txt" "$m/Docs/Reports/2023/budget-deleted.bin" \
     "$m/Docs/Reports/2023/Q4/q4-deleted.txt" "$m/Docs/empty-deleted.dat" "$m/Docs/resident-deleted.txt"
  rm -r "$m/OldProject"
  rm "$m/Names/Another Long Name Deleted.txt" "$m/Names/naïve-gelöscht-é.txt" \
     "$m/Names/削除された日本語.txt" "$m/Names/deleted-😀-emoji.txt" "$m/Names/$long255d"
  rm "$m/Big/large-deleted.bin" "$m/Compressed/comp-deleted.txt" "$m/Sparse/sparse-deleted.bin"
  rm "$m/Streams/ads-deleted.txt" "$m/Frag/fragmented-deleted.bin" "$m/Frag/many-runs-deleted.bin"
  rm "$m"/HardLinks/links-deleted*
  rm "$m/OrphanParent/orphan-child.bin"
  rmdir "$m/OrphanParent"
  numount "$m"

  # New files after a remount take the lowest free record: the orphan's parent.
  nmount "$img" "$m"
  local parent child n=0 r
  read -r parent child <"$WORK/orphan.rec"
  printf '%s\t%s\n' "$parent" OrphanParent "$child" OrphanParent/orphan-child.bin >>"$WORK/ntfs-4k.records.tsv"
  while :; do
    n=$((n + 1))
    $GEN text $((100 + n)) 200 >"$m/reuser-$n.txt"
    r=$(recno "$m/reuser-$n.txt")
    if [[ $r == "$parent" ]]; then
      printf '%s\t%s\n' "$r" "reuser-$n.txt" >>"$WORK/ntfs-4k.records.tsv"
      break
    fi
    if [[ $n -ge 3 ]]; then echo "make-fixtures: record $parent was not reused" >&2; return 1; fi
  done
  touch -d "$FIXED_TIME" "$m"/reuser-*.txt
  numount "$m"
  echo "orphan parent record $parent, child record $child" >&2
}

# Smaller sets for the other cluster sizes: a few live and deleted files, a folder tree,
# one larger file and a named stream.
build_ntfs_small() { # NAME CLUSTER SIZE LABEL
  local name=$1 img="$WORK/$1" m="$WORK/m-$1"
  truncate -s "$3" "$img"
  mkntfs_q -q -F -Q -T -c "$2" -L "$4" "$img"
  nmount "$img" "$m"
  mkdir -p "$m/Folder/Sub/Deeper" "$m/Gone/Inner"
  $GEN text 200 400 >"$m/Folder/small-live.txt"
  $GEN text 201 400 >"$m/Folder/small-deleted.txt"
  $GEN pattern 202 70000 >"$m/Folder/Sub/medium-live.bin"
  $GEN pattern 203 90000 >"$m/Folder/Sub/medium-deleted.bin"
  $GEN text 204 3000 >"$m/Folder/Sub/Deeper/deep-live.txt"
  $GEN pattern 205 $((3 * 1024 * 1024 + 777)) >"$m/Folder/large-live.bin"
  $GEN pattern 206 $((2 * 1024 * 1024 + 555)) >"$m/Folder/large-deleted.bin"
  $GEN text 207 1500 >"$m/Gone/gone-a.txt"
  $GEN pattern 208 40000 >"$m/Gone/Inner/gone-b.bin"
  $GEN text 209 800 >"$m/ads-host.txt"
  $GEN pattern 210 10000 >"$m/ads-host.txt:extra"
  $GEN text 211 800 >"$m/ads-deleted.txt"
  $GEN text 212 5000 >"$m/ads-deleted.txt:hidden"
  : >"$m/zero-live.dat"
  fix_times "$m"
  sync
  rm "$m/Folder/small-deleted.txt" "$m/Folder/Sub/medium-deleted.bin" "$m/Folder/large-deleted.bin" \
     "$m/ads-deleted.txt"
  rm -r "$m/Gone"
  numount "$m"
}

# NTFS whose $MFT has several extents: grow the MFT in batches while the space after it
# is taken by data, so each growth lands somewhere else.
build_ntfs_mftfrag() {
  local name=ntfs-mftfrag.img img="$WORK/ntfs-mftfrag.img" m="$WORK/mfrag" b i
  truncate -s 32M "$img"
  mkntfs_q -q -F -Q -T -c 4096 -L MFTFRAG "$img"
  nmount "$img" "$m"
  mkdir "$m/chunks"
  # Fill the volume (the MFT zone included) with 256 KiB chunks.
  i=0
  # the last write fails with ENOSPC: that is the point, so its message is dropped
  while { $GEN pattern $((5000 + i)) 262144 >"$m/chunks/c$(printf %04d $i).bin"; } 2>/dev/null; do
    i=$((i + 1))
  done
  rm -f "$m/chunks/c$(printf %04d $i).bin"
  sync
  for b in 1 2 3 4 5 6; do
    # free one chunk far from the MFT, then add records until the MFT has to grow into it
    rm "$m/chunks/c$(printf %04d $((b * 13)))".bin "$m/chunks/c$(printf %04d $((b * 13 + 1)))".bin
    sync
    mkdir "$m/batch$b"
    $GEN files text $((b * 1000)) 300 $(for i in $(seq -w 1 150); do echo "$m/batch$b/f$i.txt"; done)
    sync
  done
  fix_times "$m"
  # Deleted files at high record numbers.
  for i in $(seq -w 120 2 150); do rm "$m/batch6/f$i.txt"; done
  rm "$m/batch5/f140.txt" "$m/batch5/f141.txt"
  numount "$m"
}

# ---------------------------------------------------------------------------------------
# Pictures for the FAT images (and carving): every picture is made from ImageMagick
# built-ins so the bytes depend only on the ImageMagick version.

make_pictures() { # DIR SCALE(1..4)
  local d=$1 s=$2
  mkdir -p "$d"
  local w=$((160 * s)) h=$((120 * s))
  convert -size ${w}x${h} gradient:navy-orange -fill white -draw "circle $((w/2)),$((h/2)) $((w/2)),$((h/8))" \
    -strip -quality 88 "$d/photo-exif.jpg"
  convert "$d/photo-exif.jpg" -resize 160x120 -strip -quality 70 "$d/thumb.tmp.jpg"
  exiftool -q -overwrite_original -Make=Sorvani -Model=Fixture -DateTimeOriginal="2021:06:15 12:00:00" \
    "-ThumbnailImage<=$d/thumb.tmp.jpg" "$d/photo-exif.jpg"
  rm "$d/thumb.tmp.jpg"
  convert -size ${w}x${h} pattern:checkerboard -fill red -draw "rectangle 10,10 $((w/3)),$((h/3))" \
    -strip -quality 80 "$d/plain.jpg"
  convert -size ${w}x${h} plasma:fuchsia-yellow -seed 7 -strip -interlace JPEG -quality 75 "$d/progressive.jpg" 2>/dev/null ||
    convert -size ${w}x${h} gradient:green-white -strip -interlace JPEG -quality 75 "$d/progressive.jpg"
  # Stored (level 0) deflate keeps it large; the pixel data is then re-framed into 4 KiB
  # IDAT chunks, as some encoders write them.
  convert -size $((64 * s))x$((64 * s)) gradient:red-blue -define png:compression-level=0 \
    -define png:exclude-chunks=date,time -strip "PNG24:$d/multi-idat.png"
  $PY "$HELP/png_idat.py" split "$d/multi-idat.png" 4096
  convert -size 96x96 xc:white -fill blue -draw "rectangle 8,8 40,40" \
    -define png:exclude-chunks=date,time -strip "$d/small.png"
  convert -delay 20 -loop 0 -size 80x60 gradient:red-blue gradient:green-yellow pattern:checkerboard \
    gradient:white-purple -strip "GIF:$d/anim.gif"
  convert -size $((80 * s))x$((60 * s)) gradient:white-black -strip "BMP3:$d/picture.bmp"
  touch -d "$FIXED_TIME" "$d"/*
}

# TSV of the pictures put into an image: name (path in the image), deleted, sha256, size, type.
pictures_tsv() { # OUTFILE DIR IMAGE-FOLDER DELETED-NAMES...
  local out=$1 d=$2 folder=$3; shift 3
  local f base del typ
  printf 'name\tdeleted\tsha256\tsize\ttype\n' >"$out"
  for f in "$d"/*; do
    base=${f##*/}
    del=no
    for x in "$@"; do [[ $x == "$base" ]] && del=yes; done
    case $base in *.jpg) typ=jpeg ;; *.png) typ=png ;; *.gif) typ=gif ;; *.bmp) typ=bmp ;; *) typ=other ;; esac
    printf '%s\t%s\t%s\t%s\t%s\n' "$folder/$base" "$del" "$(sha256sum "$f" | cut -d' ' -f1)" \
      "$(stat -c %s "$f")" "$typ" >>"$out"
  done
}

# Common FAT contents: a tree with long names, deleted files and a deleted folder.
fat_fill() { # IMAGE SCALE SEED
  local img=$1 s=$2 seed=$3 src="$WORK/fatsrc-$3"
  mkdir -p "$src"
  $GEN text $((seed + 1)) 900 >"$src/readme.txt"
  $GEN text $((seed + 2)) 3000 >"$src/notes with a long name.txt"
  $GEN text $((seed + 3)) 2000 >"$src/café menu.txt"
  $GEN text $((seed + 4)) 1500 >"$src/old letter.txt"
  $GEN pattern $((seed + 5)) $((20000 * s)) >"$src/data.bin"
  $GEN pattern $((seed + 6)) $((15000 * s)) >"$src/deleted data.bin"
  $GEN text $((seed + 7)) 700 >"$src/tree-a.txt"
  $GEN text $((seed + 8)) 4000 >"$src/tree-b.txt"
  : >"$src/empty.txt"
  touch -d "$FIXED_TIME" "$src"/*
  mmd -i "$img" ::/DOCS ::/DOCS/Letters ::/OLDTREE ::/OLDTREE/Sub ::/PICS
  mcopy -m -i "$img" "$src/readme.txt" ::/README.TXT
  mcopy -m -i "$img" "$src/notes with a long name.txt" "$src/café menu.txt" "$src/empty.txt" ::/DOCS/
  mcopy -m -i "$img" "$src/old letter.txt" ::/DOCS/Letters/
  mcopy -m -i "$img" "$src/data.bin" "$src/deleted data.bin" ::/
  mcopy -m -i "$img" "$src/tree-a.txt" ::/OLDTREE/
  mcopy -m -i "$img" "$src/tree-b.txt" ::/OLDTREE/Sub/
  local pics="$WORK/pics-$seed"
  make_pictures "$pics" "$s"
  mcopy -m -i "$img" "$pics"/* ::/PICS/
  # keep photo-exif.jpg, small.png, picture.bmp live; the rest go to free clusters
  mdel -i "$img" ::/PICS/plain.jpg ::/PICS/progressive.jpg ::/PICS/multi-idat.png ::/PICS/anim.gif
  mdel -i "$img" "::/DOCS/Letters/old letter.txt" "::/deleted data.bin"
  mdeltree -i "$img" ::/OLDTREE
  PICS_DIR=$pics
}

build_fat() { # NAME FATBITS SIZE-KiB SECTORS-PER-CLUSTER LABEL SCALE SEED
  local name=$1 img="$WORK/$1"
  rm -f "$img"
  mkfs.fat -F "$2" -C -s "$4" -n "$5" -i 5056A${2}0 --invariant "$img" "$3" >/dev/null
  fat_fill "$img" "$6" "$7"
  pictures_tsv "$OUT/$name.pictures.tsv" "$PICS_DIR" /PICS plain.jpg progressive.jpg multi-idat.png anim.gif
}

# ---------------------------------------------------------------------------------------
# Partitioned disks: each file system is built on its own, then copied to its offset.

small_ntfs_part() { # FILE SECTORS START
  local img=$1 m="$WORK/mp-${1##*/}"
  truncate -s $(($2 * 512)) "$img"
  mkntfs_q -q -F -Q -T -c 4096 -p "$3" -H 255 -S 63 -L PARTNTFS "$img" "$2"
  nmount "$img" "$m"
  mkdir "$m/Data"
  $GEN text 300 1200 >"$m/Data/part-live.txt"
  $GEN pattern 301 90000 >"$m/Data/part-live.bin"
  $GEN pattern 302 60000 >"$m/Data/part-deleted.bin"
  $GEN text 303 300 >"$m/part-deleted.txt"
  fix_times "$m"
  sync
  rm "$m/Data/part-deleted.bin" "$m/part-deleted.txt"
  numount "$m"
}

small_fat_part() { # FILE SECTORS START FATBITS LABEL
  local img=$1
  rm -f "$img"
  local spc=1
  [[ $4 == 16 ]] && spc=4
  mkfs.fat -F "$4" -C -s $spc -h "$3" -n "$5" -i 5056B${4}0 --invariant "$img" $(($2 / 2)) >/dev/null
  local src="$WORK/partsrc-$4-$3"
  mkdir -p "$src"
  $GEN text 310 1000 >"$src/fat-live.txt"
  $GEN pattern 311 30000 >"$src/fat-deleted.bin"
  convert -size 120x90 gradient:purple-white -strip -quality 85 "$src/part-photo.jpg"
  touch -d "$FIXED_TIME" "$src"/*
  mmd -i "$img" ::/Stuff
  mcopy -m -i "$img" "$src"/* ::/Stuff/
  mdel -i "$img" ::/Stuff/fat-deleted.bin ::/Stuff/part-photo.jpg
}

place() { # DISK PART-IMAGE START-SECTOR
  dd if="$2" of="$1" bs=512 seek="$3" conv=notrunc,sparse status=none
}

build_mbr_ntfs_fat32() {
  local name=mbr-ntfs-fat32.img img="$WORK/mbr-ntfs-fat32.img"
  truncate -s 96M "$img"
  # NTFS: 2048 + 40960 sectors (20 MiB); FAT32 right after: 73728 sectors (36 MiB)
  printf 'label: dos\nlabel-id: 0x5056a001\n2048,40960,7\n43008,73728,c\n' | sfdisk -q "$img"
  small_ntfs_part "$WORK/p1.ntfs" 40960 2048
  small_fat_part "$WORK/p2.fat" 73728 43008 32 PARTFAT32
  place "$img" "$WORK/p1.ntfs" 2048
  place "$img" "$WORK/p2.fat" 43008
}

build_gpt_ntfs_fat() {
  local name=gpt-ntfs-fat.img img="$WORK/gpt-ntfs-fat.img"
  truncate -s 48M "$img"
  printf 'label: gpt\nlabel-id: 5056A001-0000-4000-8000-000000000001\n' >"$WORK/gpt.sfdisk"
  printf 'start=2048, size=40960, type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7, uuid=5056A001-0000-4000-8000-0000000000A1, name="ntfs"\n' >>"$WORK/gpt.sfdisk"
  printf 'start=43008, size=53248, type=EBD0A0A2-B9E5-4433-87C0-68B6B72699C7, uuid=5056A001-0000-4000-8000-0000000000A2, name="fat16"\n' >>"$WORK/gpt.sfdisk"
  sfdisk -q "$img" <"$WORK/gpt.sfdisk"
  small_ntfs_part "$WORK/g1.ntfs" 40960 2048
  small_fat_part "$WORK/g2.fat" 53248 43008 16 GPTFAT16
  place "$img" "$WORK/g1.ntfs" 2048
  place "$img" "$WORK/g2.fat" 43008
}

build_mbr_extended() {
  local name=mbr-extended.img img="$WORK/mbr-extended.img"
  truncate -s 80M "$img"
  # primary FAT16 (24 MiB), extended from 51200 to the end, one logical FAT32 in it
  printf 'label: dos\nlabel-id: 0x5056a002\n2048,49152,6\n51200,112640,5\n53248,110592,c\n' | sfdisk -q "$img"
  small_fat_part "$WORK/e1.fat" 49152 2048 16 PRIMFAT16
  small_fat_part "$WORK/e5.fat" 110592 53248 32 LOGFAT32
  place "$img" "$WORK/e1.fat" 2048
  place "$img" "$WORK/e5.fat" 53248
}

# ---------------------------------------------------------------------------------------

build_one() {
  local t0=$SECONDS
  case $1 in
    ntfs-4k) build_ntfs_4k ;;
    ntfs-512) build_ntfs_small ntfs-512.img 512 24M SORVANI512 ;;
    ntfs-64k) build_ntfs_small ntfs-64k.img 65536 40M SORVANI64K ;;
    ntfs-mftfrag) build_ntfs_mftfrag ;;
    fat12) build_fat fat12.img 12 1440 1 SORVANIF12 1 100 ;;
    fat16) build_fat fat16.img 16 24576 4 SORVANIF16 3 400 ;;
    fat32) build_fat fat32.img 32 40960 1 SORVANIF32 4 700 ;;
    mbr-ntfs-fat32) build_mbr_ntfs_fat32 ;;
    gpt-ntfs-fat) build_gpt_ntfs_fat ;;
    mbr-extended) build_mbr_extended ;;
    *) echo "make-fixtures: unknown image $1" >&2; return 1 ;;
  esac
  local name="$1.img"
  $PY "$HELP/tsk_key.py" "$WORK/$name" >"$OUT/$name.key.json.tmp"
  mv "$OUT/$name.key.json.tmp" "$OUT/$name.key.json"
  if [[ $1 == ntfs-4k ]]; then
    $PY "$HELP/ntfs_notes.py" "$WORK/$name" "$OUT/$name.key.json" "$WORK/ntfs-4k.records.tsv" >"$OUT/ntfs-4k.notes.json"
  fi
  pack "$name"
  echo "built $name in $((SECONDS - t0)) s" >&2
}

mkdir -p "$OUT"
targets=("$@")
[[ ${#targets[@]} -eq 0 ]] && targets=("${ALL[@]}")
for t in "${targets[@]}"; do build_one "$t"; done
