#!/usr/bin/env bash
# Cross-builds the portable layers for Windows in a build directory of its own and fails on any
# compiler warning or missing library: the Linux build alone would not notice a Linux-only header,
# or a format only glibc takes, creeping into a layer that builds for Windows.
# Usage: cross_build_test.sh SOURCE_DIR BUILD_DIR. Exit 77 (skipped) without MinGW-w64.
set -euo pipefail
source_dir=$1
build_dir=$2

if ! command -v x86_64-w64-mingw32-g++-posix >/dev/null; then
  echo "MinGW-w64 (g++-mingw-w64-x86-64-posix) is not installed"
  exit 77
fi

# Warnings are errors here, so a file that warned leaves no object behind and fails again on the
# next run, while the build stays incremental (the first run takes minutes, later ones seconds).
cmake -S "$source_dir" --preset windows -B "$build_dir" -DCMAKE_CXX_FLAGS=-Werror >/dev/null
log=$build_dir/cross_build.log
if ! cmake --build "$build_dir" -j2 >"$log" 2>&1; then
  cat "$log"
  echo "FAIL: the Windows build failed or warned"
  exit 1
fi

status=0
for layer in platform access sim vendor ctrl discovery tools views; do
  if [ ! -s "$build_dir/$layer/libvt_$layer.a" ]; then
    echo "FAIL: no Windows library of $layer"
    status=1
  fi
done
for library in gtest gmock_main; do
  if [ ! -s "$build_dir/lib/lib$library.a" ]; then
    echo "FAIL: GoogleTest's $library was not built for Windows"
    status=1
  fi
done
if [ ! -s "$build_dir/bin/vtutil.exe" ]; then
  echo "FAIL: no vtutil.exe"
  status=1
fi
# Nothing of the Linux side may slip in: the platform library holds no Linux backend or helper.
if x86_64-w64-mingw32-nm -C --defined-only "$build_dir/platform/libvt_platform.a" |
  grep -E 'LinuxBackend::|HelperBackend::|OpenLockFile'; then
  echo "FAIL: a Linux-only platform file was built for Windows"
  status=1
fi
exit $status
