#!/usr/bin/env bash
# Lays out every tracked C++ source and header as .clang-format says.
set -euo pipefail
cd "$(dirname "$0")/.."
git ls-files -z -- '*.cpp' '*.h' | xargs -0 clang-format -i
