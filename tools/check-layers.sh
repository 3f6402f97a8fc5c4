#!/usr/bin/env bash
# Fails when a folder includes a header of a folder above it. Each line below names a folder and
# the folders it may include from (besides itself); front ends and tools may use everything.
set -euo pipefail
cd "$(dirname "$0")/.."
allowed=(
  "foundation:"
  "lib:foundation"
  "platform:foundation"
  "disk:platform foundation"
  "ntfs:disk platform foundation"
  "fat:disk platform foundation"
  "volumes:ntfs fat disk platform foundation"
  "index:volumes ntfs fat disk platform foundation"
  "search:index lib volumes ntfs fat disk platform foundation"
  "recovery:index volumes ntfs fat disk platform foundation"
  "surfacescan:volumes ntfs fat disk platform foundation"
  "app:recovery search surfacescan index lib volumes ntfs fat disk platform foundation"
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
