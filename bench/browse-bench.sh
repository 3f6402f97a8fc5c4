#!/usr/bin/env bash
# The desktop program's browse view against the command line on the same images in one run.
#
#   bench/browse-bench.sh [--runs N] [--build DIR] NTFS_IMAGE [WIDE_IMAGE]
#
# NTFS_IMAGE: e.g. the 300k-file corpus (../shared/bench/make-ntfs-corpus.sh); the time from
# opening it in the window to its root's rows, indexing included, against
# `sorvani list IMAGE --recursive --deleted-only`. WIDE_IMAGE: an image with a folder "Wide"
# of many deleted files (bench/make-wide-folder.sh); its fill and sorts, and the longest time
# the window's event loop waited. Needs a build with -DSORVANI_BENCH=ON and the desktop program.
set -euo pipefail
runs=5
build=
while [ $# -gt 0 ]; do
  case $1 in
    --runs) runs=$2; shift 2 ;;
    --build) build=$2; shift 2 ;;
    -h|--help) sed -n 2,11p "${BASH_SOURCE[0]}"; exit 0 ;;
    *) break ;;
  esac
done
[ $# -ge 1 ] || { echo "usage: $0 [--runs N] [--build DIR] NTFS_IMAGE [WIDE_IMAGE]" >&2; exit 2; }
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${build:-$repo/build}
bench=$build/bench/browse_bench
cli=$build/cli/sorvani
[ -x "$bench" ] && [ -x "$cli" ] || { echo "$0: build $build with -DSORVANI_BENCH=ON" >&2; exit 2; }

median() { sort -g | awk '{v[NR]=$1} END {print (NR%2 ? v[(NR+1)/2] : (v[NR/2]+v[NR/2+1])/2)}'; }

gui=() cmd=() gaps=()
for _ in $(seq "$runs"); do
  out=$("$bench" "$1" 2>/dev/null)
  gui+=("$(awk '$1=="open"{print $2}' <<<"$out")")
  gaps+=("$(awk '$1=="gap"{print $3}' <<<"$out")")
  start=$(date +%s.%N)
  "$cli" list "$1" --recursive --deleted-only >/dev/null
  cmd+=("$(awk -v a="$start" -v b="$(date +%s.%N)" 'BEGIN {printf "%.3f", b - a}')")
done
g=$(printf '%s\n' "${gui[@]}" | median)
c=$(printf '%s\n' "${cmd[@]}" | median)
echo "open to root rows (window)      $g s   median of $runs"
echo "list --recursive --deleted-only $c s"
echo "ratio window / command line     $(awk -v g="$g" -v c="$c" 'BEGIN {printf "%.2f", g / c}')"
echo "longest event-loop wait         $(printf '%s\n' "${gaps[@]}" | sort -g | tail -1) ms"

if [ $# -ge 2 ]; then
  "$bench" "$2" --folder 'C:\Wide\' --runs "$runs" 2>/dev/null |
    awk '$1=="fill"{printf "fill of %d rows                %s s\n", $3, $2}
         $1=="sort"{printf "sort by column %s %-4s          %s s\n", $2, $3, $4}
         $1=="gap"{printf "longest event-loop wait (%s)  %s ms\n", $2, $3}'
fi
