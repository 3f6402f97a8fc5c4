#!/usr/bin/env bash
# Builds the program and runs it on the bundled demo volumes (an NTFS and a FAT32 image).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSORVANI_TESTS=OFF >/dev/null
cmake --build build --target sorvani -j"$(nproc)"

demo=build/demo
mkdir -p "$demo"
for image in ntfs-4k.img fat32.img; do
  [[ -f "$demo/$image" ]] || zstd -dqf --long=31 "tests/fixtures/$image.zst" -o "$demo/$image"
done

for image in ntfs-4k.img fat32.img; do
  echo "== sorvani info $demo/$image"
  build/cli/sorvani info "$demo/$image"
  echo
done

echo "== sorvani list $demo/ntfs-4k.img --recursive --deleted-only (first 40 rows)"
build/cli/sorvani list "$demo/ntfs-4k.img" --recursive --deleted-only | sed -n '1,40p'

echo
out=$PWD/build/demo/recovered  # the destination must be an absolute path
rm -rf "$out"
echo "== sorvani recover $demo/ntfs-4k.img --all-deleted --to $out"
build/cli/sorvani recover "$demo/ntfs-4k.img" --all-deleted --to "$out" --quiet || true
echo
echo "== what came back (first 30 files)"
(cd "$out" && find . -type f | sort | sed -n '1,30p')
