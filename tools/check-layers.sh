#!/usr/bin/env bash
# Fails when a folder includes a header of a folder above it. Each line below names a folder and
# the folders it may include from (besides itself); front ends and tools may use everything.
# svres (the resource numbers and texts) is the lowest: it includes nothing of ours.
set -euo pipefail
cd "$(dirname "$0")/.."
allowed=(
  "svres:"
  "foundation:svres"
  "lib:foundation"
  "platform:foundation svres"
  "disk:platform foundation svres"
  "ntfs:disk platform foundation svres"
  "fat:disk platform foundation svres"
  "volumes:ntfs fat disk platform foundation svres"
  "index:volumes ntfs fat disk platform foundation svres"
  "search:index lib volumes ntfs fat disk platform foundation svres"
  "recovery:index volumes ntfs fat disk platform foundation svres"
  "surfacescan:volumes ntfs fat disk platform foundation svres"
  "app:recovery search surfacescan index lib volumes ntfs fat disk platform foundation svres"
)
status=0
for rule in "${allowed[@]}"; do
  folder=${rule%%:*}
  [[ -d $folder ]] || continue
  ok=" $folder ${rule#*:} "
  while IFS=: read -r file line text; do
    used=$(sed -E 's/.*#include "([a-z_]+)\/.*/\1/' <<<"$text")
    if [[ $ok != *" $used "* ]]; then
      echo "check-layers: $file:$line: $folder/ must not include $used/" >&2
      status=1
    fi
  done < <(grep -rnE '^#include "[a-z_]+/' "$folder" --include=*.cpp --include=*.h || true)
done
[[ $status -eq 0 ]] && echo "check-layers: every folder includes only folders below it"
exit $status
