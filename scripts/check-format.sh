#!/usr/bin/env bash
# Checks that every C++ source and header under ROOT (default: the repository's tracked files)
# is as .clang-format lays it out. Names each file that differs and exits 1; 0 when all agree.
# scripts/format.sh rewrites them.
set -uo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root" || exit 2
command -v clang-format >/dev/null || { echo "check-format: clang-format is missing" >&2; exit 2; }
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  # Tracked files that are still there (a deletion not yet committed is not checked).
  mapfile -t files < <(git ls-files -- '*.cpp' '*.h' | while read -r f; do if [ -f "$f" ]; then echo "$f"; fi; done)
else
  mapfile -t files < <(find . -path './build*' -prune -o -type f \( -name '*.cpp' -o -name '*.h' \) -print | sort)
fi
# One clang-format for all files; its diagnostics start with the file's name.
report=$(printf '%s\0' "${files[@]}" | xargs -0 -r clang-format --dry-run --Werror 2>&1)
formatter_status=$?
mapfile -t differing < <(printf '%s\n' "$report" |
  sed -nE 's/^(.+):[0-9]+:[0-9]+: error: code should be clang-formatted.*/\1/p' | sort -u)
if [ "$formatter_status" -ne 0 ] && [ "${#differing[@]}" -eq 0 ]; then
  printf '%s\n' "$report" | tail -5 >&2
  echo "check-format: clang-format failed" >&2
  exit 2
fi
if [ "${#differing[@]}" -gt 0 ]; then
  printf '%s: not formatted as .clang-format says\n' "${differing[@]}"
  echo "check-format: ${#differing[@]} of ${#files[@]} files differ (scripts/format.sh mends them)" >&2
  exit 1
fi
echo "check-format: ${#files[@]} files agree with .clang-format"
