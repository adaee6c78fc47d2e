#!/usr/bin/env bash
# Lays out every tracked C++ source and header as .clang-format says.
set -euo pipefail
cd "$(dirname "$0")/.."
git ls-files -- '*.cpp' '*.h' | while read -r f; do if [ -f "$f" ]; then echo "$f"; fi; done |
  xargs -r -d '\n' clang-format -i
