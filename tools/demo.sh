#!/usr/bin/env bash
# Builds the program and runs it on the bundled demo volumes (an NTFS and a FAT32 image).
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh
# Its own build folder: the test script's builds keep their options.
cmake -S . -B build-demo -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSORVANI_TESTS=OFF >/dev/null
cmake --build build-demo --target sorvani -j"$(nproc)"
# The desktop program too, when Qt 6 is there (install-deps.sh installs it).
gui=0
if grep -q '^SORVANI_GUI:BOOL=ON' build-demo/CMakeCache.txt; then
  cmake --build build-demo --target sorvani-recovery -j"$(nproc)"
  gui=1
fi
sorvani=build-demo/cli/sorvani

demo=build-demo/demo
mkdir -p "$demo"
for image in ntfs-4k.img fat32.img; do
  [[ -f "$demo/$image" ]] || zstd -dqf --long=31 "tests/fixtures/$image.zst" -o "$demo/$image"
done

for image in ntfs-4k.img fat32.img; do
  echo "== sorvani info $demo/$image"
  "$sorvani" info "$demo/$image"
  echo
done

echo "== sorvani list $demo/ntfs-4k.img --recursive --deleted-only (first 40 rows)"
"$sorvani" list "$demo/ntfs-4k.img" --recursive --deleted-only | sed -n '1,40p'

echo
out=$PWD/$demo/recovered  # the destination must be an absolute path
rm -rf "$out"
echo "== sorvani recover $demo/ntfs-4k.img --all-deleted --to $out"
# Exit 1 means some items could not be recovered, which the run itself reports; anything else
# is the program failing, and the demo stops there.
status=0
"$sorvani" recover "$demo/ntfs-4k.img" --all-deleted --to "$out" --quiet || status=$?
if (( status > 1 )); then
  echo "demo: sorvani recover failed (exit $status)" >&2
  exit "$status"
fi
(( status == 0 )) || echo "demo: some items could not be recovered (exit 1); their rows say why"
echo
echo "== what came back (first 30 files)"
(cd "$out" && find . -type f | sort | sed -n '1,30p')

if (( gui )); then
  echo
  echo "== the desktop program"
  echo "Start it on the demo volume (a display is needed; xvfb-run -a works without one):"
  echo "    build-demo/ui/sorvani-recovery --image $demo/ntfs-4k.img"
fi
