#!/usr/bin/env bash
# Fails when a C++ file of the repository differs from .clang-format. With --fix, rewrites them.
# The formatter's version is pinned: another major version formats some constructs differently.
set -euo pipefail
cd "$(dirname "$0")/.."
formatter=${CLANG_FORMAT:-clang-format-14}
command -v "$formatter" >/dev/null || formatter=clang-format
if ! "$formatter" --version | grep -q 'version 14\.'; then
  echo "check-format: needs clang-format 14 (found: $("$formatter" --version 2>/dev/null || echo none))" >&2
  exit 2
fi
mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [[ "${1:-}" == "--fix" ]]; then
  "$formatter" -i "${files[@]}"
  exit 0
fi
if ! "$formatter" --dry-run --Werror "${files[@]}" 2>/tmp/check-format.$$; then
  grep -oE '^[^ :]+\.(cpp|h):[0-9]+:' /tmp/check-format.$$ | cut -d: -f1 | sort -u |
    sed 's/^/  not formatted: /' >&2
  rm -f /tmp/check-format.$$
  echo "check-format: run tools/check-format.sh --fix" >&2
  exit 1
fi
rm -f /tmp/check-format.$$
echo "check-format: ${#files[@]} files formatted"
