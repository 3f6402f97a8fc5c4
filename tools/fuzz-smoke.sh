#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a short time (default 15 s), seeded
# from the fixtures. Longer runs: tools/fuzz-smoke.sh 600 [TARGET...], e.g. 600 ntfs_record
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-15}
shift $(( $# > 0 ? 1 : 0 ))
only=("$@")
out=build-fuzz

CC=clang CXX=clang++ cmake -S . -B "$out" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSORVANI_FUZZ=ON \
  -DSORVANI_TESTS=OFF >/dev/null
cmake --build "$out" -j"$(nproc)"

images=()
mkdir -p "$out/images"
for name in ntfs-4k.img ntfs-512.img ntfs-64k.img; do
  [[ -f "$out/images/$name" ]] || zstd -dqf --long=31 "tests/fixtures/$name.zst" -o "$out/images/$name"
  images+=("$out/images/$name")
done
[[ -d "$out/seeds" ]] || python3 fuzz/make_ntfs_seeds.py "$out/seeds" "${images[@]}"

for binary in "$out"/fuzz/*_fuzz; do
  name=$(basename "$binary" _fuzz)
  if [[ ${#only[@]} -gt 0 && ! " ${only[*]} " =~ " $name " ]]; then continue; fi
  seeds="$out/seeds/${name#ntfs_}"
  # Without ntfs-3g there is no catalogue seed; the whole-volume seeds stand in.
  [[ $name == ntfs_catalogue && ! -d $seeds ]] && seeds="$out/seeds/volume"
  corpus="$out/corpus/$name"
  mkdir -p "$corpus"
  args=("$corpus")
  [[ -d "$seeds" ]] && args+=("$seeds")
  # Inputs that once made a target crash or stall run first in every target.
  args+=(fuzz/regressions)
  # Crash and slow-unit artifacts stay in the build folder, never in the source tree.
  mkdir -p "$out/artifacts"
  echo "== $name: ${seconds}s"
  "$binary" -max_total_time="$seconds" -max_len=1200000 -rss_limit_mb=2048 -print_final_stats=0 \
    -artifact_prefix="$out/artifacts/$name-" "${args[@]}" 2>&1 | tail -n 2
  [[ ${PIPESTATUS[0]} -eq 0 ]] || { echo "$name found a failure"; exit 1; }
done
