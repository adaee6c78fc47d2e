#!/usr/bin/env bash
# The Windows packages, made by CPack from the build as `--target package` makes them: the zip
# holds the programs, the settings file, the manual and the schemas in one folder; the installer
# installs them silently under Wine where it says, with its Start menu entry and uninstaller, and
# the uninstaller takes them away again.
# Usage: package_test.sh BUILD_DIR WINE_DIR SOURCE_DIR. Exit 77 (skipped) without makensis.
set -uo pipefail
build=$1 wine_dir=$2 source_dir=$3
runner="$source_dir/tests/windows/run_under_wine.sh"
if ! command -v makensis >/dev/null; then
  echo "makensis (Debian's nsis) is not installed"
  exit 77
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if ! cpack --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log"
  echo "FAIL: cpack"
  exit 1
fi
fail=0
schemas=$(cd "$source_dir/docs/schema" && ls ./*.schema.json | sed 's|^\./|schema/|')
expected=$(printf '%s\n' vtutility.exe vtutil.exe VTUtility.ini vtutility.txt vtutil.txt $schemas | sort)

zip=$(ls "$work"/VTUtility-*-win64.zip 2>/dev/null | head -1)
if [ -z "$zip" ]; then
  echo "FAIL: no zip"; ls "$work"; fail=1
else
  listed=$(/usr/bin/python3 -c '
import sys, zipfile
names = zipfile.ZipFile(sys.argv[1]).namelist()
top = {n.split("/")[0] for n in names}
print("\n".join(sorted(n.split("/", 1)[1] for n in names if "/" in n and not n.endswith("/"))))
sys.exit(0 if len(top) == 1 else 1)' "$zip") || { echo "FAIL: the zip has more than one top folder"; fail=1; }
  if [ "$listed" != "$expected" ]; then
    echo "FAIL: the zip holds:"; echo "$listed"; fail=1
  else
    echo "ok: the zip holds the programs, settings, manual and schemas in one folder"
  fi
fi

installer=$(ls "$work"/VTUtility-*-win64.exe 2>/dev/null | head -1)
if [ -z "$installer" ]; then
  echo "FAIL: no installer"; exit 1
fi
prefix="$wine_dir/prefix/drive_c"
target="$prefix/VTUtilityTest"
rm -rf "$target"
# NSIS takes /D= as the last word, written as one.
bash "$runner" "$wine_dir" "$installer" /S '/D=C:\VTUtilityTest' >"$work/install.log" 2>&1
status=$?
installed=$(cd "$target" 2>/dev/null && find . -type f | sed 's|^\./||' | grep -v -i '^uninstall.exe$' | sort)
if [ $status -ne 0 ] || [ "$installed" != "$expected" ]; then
  echo "FAIL: the installer (status $status) installed:"; echo "$installed"; fail=1
else
  echo "ok: the installer put the programs, settings, manual and schemas into C:\\VTUtilityTest"
fi
if ! cmp -s "$target/VTUtility.ini" "$source_dir/packaging/VTUtility.ini"; then
  echo "FAIL: the installed settings file is not the packaged one"; fail=1
fi
if ! find "$prefix" -iname 'VTUtility*.lnk' -path '*Start Menu*' | grep -q .; then
  echo "FAIL: no Start menu entry"; fail=1
fi
# An update over the installed copy keeps the technician's settings and renews the rest.
printf '[Setting]\r\nEnResetSmart=1\r\n' >"$target/VTUtility.ini"
cp "$target/VTUtility.ini" "$work/settings.ini"
: >"$target/vtutil.txt"
bash "$runner" "$wine_dir" "$installer" /S '/D=C:\VTUtilityTest' >>"$work/install.log" 2>&1
if ! cmp -s "$target/VTUtility.ini" "$work/settings.ini"; then
  echo "FAIL: installing again replaced the settings file"; fail=1
elif [ ! -s "$target/vtutil.txt" ] || [ -e "$target/VTUtility.ini.kept" ]; then
  echo "FAIL: installing again did not renew the other files as it should"; fail=1
else
  echo "ok: installing again kept the settings file and renewed the others"
fi
if [ ! -f "$target/Uninstall.exe" ]; then
  echo "FAIL: no uninstaller"; fail=1
else
  # The uninstaller copies itself away and returns at once: wait for it to finish.
  bash "$runner" "$wine_dir" "$target/Uninstall.exe" /S >/dev/null 2>&1
  i=0
  while [ -e "$target/vtutility.exe" ] && [ $i -lt 30 ]; do sleep 1; i=$((i + 1)); done
  left=$(cd "$target" 2>/dev/null && find . -type f | sed 's|^\./||')
  if [ -n "$left" ]; then
    echo "FAIL: the uninstaller left:"; echo "$left"; fail=1
  elif find "$prefix" -iname 'VTUtility*.lnk' -path '*Start Menu*' | grep -q .; then
    echo "FAIL: the Start menu entry stayed"; fail=1
  else
    echo "ok: the uninstaller removed the files and the Start menu entry"
  fi
fi
rm -rf "$target"
exit $fail
