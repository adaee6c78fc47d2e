#!/usr/bin/env bash
# What the Windows build gave: every portable layer's library, GoogleTest for the target, and a
# vtutil.exe that needs no DLL but the system's; nothing of the Linux side slipped in. (The
# preset builds with warnings as errors, so a Linux-only header or a format only glibc takes
# fails the build itself.)
# Usage: build_check_test.sh BUILD_DIR.
set -euo pipefail
build_dir=$1

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
exe=$build_dir/bin/vtutil.exe
if [ ! -s "$exe" ]; then
  echo "FAIL: no vtutil.exe"
  exit 1
fi
# Linked statically: the C++ runtime, libgcc and winpthread are inside.
dlls=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr 'a-z' 'A-Z' | sort)
echo "vtutil.exe imports: $(echo $dlls)"
for dll in $dlls; do
  case $dll in
    KERNEL32.DLL | ADVAPI32.DLL | SETUPAPI.DLL | CFGMGR32.DLL | MSVCRT.DLL | USER32.DLL | SHELL32.DLL) ;;
    *)
      echo "FAIL: vtutil.exe needs $dll beside it"
      status=1
      ;;
  esac
done
if ! grep -q "level=.requireAdministrator" "$exe"; then
  echo "FAIL: vtutil.exe carries no manifest asking for administrator rights"
  status=1
fi
if x86_64-w64-mingw32-nm -C --defined-only "$build_dir/platform/libvt_platform.a" |
  grep -E 'LinuxBackend::|HelperBackend::|OpenLockFile'; then
  echo "FAIL: a Linux-only platform file was built for Windows"
  status=1
fi
exit $status
