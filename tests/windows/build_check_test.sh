#!/usr/bin/env bash
# What the Windows build gave: every portable layer's library, GoogleTest for the target, and a
# vtutil.exe and a vtutility.exe that need no DLL but the system's; nothing of the Linux side
# slipped in. (The preset builds with warnings as errors, so a Linux-only header or a format only
# glibc takes fails the build itself.)
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
for program in vtutil vtutility; do
  exe=$build_dir/bin/$program.exe
  if [ ! -s "$exe" ]; then
    echo "FAIL: no $program.exe"
    status=1
    continue
  fi
  # Linked statically: the C++ runtime, libgcc and winpthread are inside.
  dlls=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr 'a-z' 'A-Z' | sort)
  echo "$program.exe imports: $(echo $dlls)"
  for dll in $dlls; do
    case $dll in
      KERNEL32.DLL | ADVAPI32.DLL | SETUPAPI.DLL | CFGMGR32.DLL | MSVCRT.DLL | USER32.DLL | SHELL32.DLL) ;;
      # The window's: common controls 6 and the file dialogs come with every Windows.
      GDI32.DLL | COMCTL32.DLL | COMDLG32.DLL) [ "$program" = vtutility ] || unexpected=1 ;;
      *) unexpected=1 ;;
    esac
    if [ "${unexpected:-0}" = 1 ]; then
      echo "FAIL: $program.exe needs $dll beside it"
      status=1
      unexpected=0
    fi
  done
  if ! grep -q "level=.requireAdministrator" "$exe"; then
    echo "FAIL: $program.exe carries no manifest asking for administrator rights"
    status=1
  fi
done
if ! grep -q "Microsoft.Windows.Common-Controls" "$build_dir/bin/vtutility.exe" ||
  ! grep -q "PerMonitorV2" "$build_dir/bin/vtutility.exe"; then
  echo "FAIL: vtutility.exe's manifest asks for no common controls 6 or per-monitor DPI"
  status=1
fi
if x86_64-w64-mingw32-nm -C --defined-only "$build_dir/platform/libvt_platform.a" |
  grep -E 'LinuxBackend::|HelperBackend::|OpenLockFile'; then
  echo "FAIL: a Linux-only platform file was built for Windows"
  status=1
fi
exit $status
