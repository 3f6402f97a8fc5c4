#!/usr/bin/env bash
# Builds the desktop program's screenshot suite and grabs every window it knows into OUTDIR as
# PNG files, on the offscreen platform with the Fusion style and DejaVu fonts, so that a person
# can look at each one.
# Usage: tools/gui-screenshots.sh OUTDIR [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
if [[ $# -lt 1 ]]; then
  echo "usage: $0 OUTDIR [BUILD_DIR]" >&2
  exit 2
fi
out=$(realpath -m "$1")
build=${2:-build}
mkdir -p "$out"
cmake -S . -B "$build" -DSORVANI_TESTS=ON -DSORVANI_GUI=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target tst_Screenshots sorvani-recovery
SORVANI_SCREENSHOT_DIR="$out" QT_QPA_PLATFORM=offscreen QT_STYLE_OVERRIDE=Fusion TZ=UTC \
  LC_ALL=C.UTF-8 QT_SCALE_FACTOR=1 "$build/tests/ui/tst_Screenshots"
shopt -s nullglob
shots=("$out"/*.png)
if [[ ${#shots[@]} -eq 0 ]]; then
  echo "gui-screenshots: no picture was written" >&2
  exit 1
fi
printf '%s\n' "${shots[@]}"
