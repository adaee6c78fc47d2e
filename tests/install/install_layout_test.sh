#!/usr/bin/env bash
# Builds the Debian package, unpacks it into a scratch root and checks the installed layout, then
# runs the installed programs from there: they must find the settings file and write their dumps
# in their own directory. Usage: install_layout_test.sh BUILD_DIR SCRATCH_DIR SOURCE_DIR WITH_WINDOW
set -euo pipefail
build=$1 scratch=$2 source=$3 with_window=$4

if ! command -v dpkg-deb >/dev/null; then
  echo "SKIP: dpkg-deb is not available"
  exit 77
fi

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
check() {
  local what=$1
  shift
  "$@" >/dev/null 2>&1 || fail "$what"
}

rm -rf "$scratch"
mkdir -p "$scratch/pkg" "$scratch/work"
if ! cpack --config "$build/CPackConfig.cmake" -B "$scratch/pkg" >"$scratch/cpack.log" 2>&1; then
  cat "$scratch/cpack.log"
  fail "cpack did not build the package"
  exit 1
fi
debs=("$scratch"/pkg/*.deb)
[ "${#debs[@]}" -eq 1 ] && [ -f "${debs[0]}" ] || { fail "expected one .deb, found: ${debs[*]}"; exit 1; }
deb=${debs[0]}

# Package metadata.
depends=$(dpkg-deb -f "$deb" Depends)
[ "$(dpkg-deb -f "$deb" Package)" = vtutility ] || fail "package name"
programs=(vtutil)
needed=(libc6 libstdc++6 libcairo2 fonts-dejavu-core)
if [ "$with_window" = 1 ]; then
  programs+=(vtutility)
  needed+=(libqt6core6 libqt6gui6 libqt6widgets6 qt6-qpa-plugins pkexec fonts-liberation)
fi
for package in "${needed[@]}"; do
  [[ ", $depends," == *", $package"[\ ,]* ]] || fail "Depends lacks $package: $depends"
done
dpkg-deb --ctrl-tarfile "$deb" | tar -xO ./conffiles >"$scratch/conffiles" || fail "no conffiles"
grep -qx /etc/vtutility/VTUtility.ini "$scratch/conffiles" || fail "settings file is not a conffile"

root=$scratch/root
dpkg-deb -x "$deb" "$root"
program_dir=$root/usr/lib/vtutility

# Both programs in one directory, reached through relative links from /usr/bin.
for program in "${programs[@]}"; do
  [ -f "$program_dir/$program" ] && [ -x "$program_dir/$program" ] || fail "$program not in the program directory"
  [ "$(readlink "$root/usr/bin/$program")" = "../lib/vtutility/$program" ] || fail "/usr/bin/$program link"
  [ -f "$root/usr/share/bash-completion/completions/$program" ] || fail "completion for $program"
done
for page in "$source"/docs/man/*.1; do
  [ -e "$page" ] || continue
  archive=$root/usr/share/man/man1/$(basename "$page").gz
  check "manual page $(basename "$page") is not a gzip'd copy" cmp <(gzip -dc "$archive") "$page"
done

# The JSON Schemas, each the same as in the tree.
for schema in "$source"/docs/schema/*.schema.json; do
  check "schema $(basename "$schema")" cmp "$schema" "$root/usr/share/vtutility/schema/$(basename "$schema")"
done

# The Prometheus rules, the same as in the tree.
check "prometheus rules" cmp "$source/packaging/prometheus/vtutility.rules.yml" \
  "$root/usr/share/vtutility/prometheus/vtutility.rules.yml"

# The settings file: a conffile under /etc, linked from the program directory, both settings 0.
[ "$(readlink "$program_dir/VTUtility.ini")" = /etc/vtutility/VTUtility.ini ] || fail "settings link"
ini=$root/etc/vtutility/VTUtility.ini
check "default settings" grep -qx 'EnResetSmart=0' "$ini"
check "default settings" grep -qx 'EnRemapRelation=0' "$ini"
check "settings section" grep -qx '\[Setting\]' "$ini"

# The helper: an ordinary root-owned program beside the others, writable by root alone, never
# set-user-ID (pkexec or sudo give it its rights), with no link in /usr/bin; and the policy that
# lets pkexec start it, naming the installed path, without the display.
helper=$program_dir/vtutility-helper
[ -f "$helper" ] && [ -x "$helper" ] || fail "the helper is not in the program directory"
[ "$(stat -c %a "$helper" 2>/dev/null)" = 755 ] || fail "helper mode: $(stat -c %a "$helper" 2>/dev/null)"
[ -e "$root/usr/bin/vtutility-helper" ] && fail "the helper has a link in /usr/bin"
helper_entry=$(dpkg-deb -c "$deb" | awk '$6 == "./usr/lib/vtutility/vtutility-helper"')
[[ "$helper_entry" == -rwxr-xr-x\ root/root\ * ]] || fail "helper in the package: $helper_entry"
policy=$root/usr/share/polkit-1/actions/org.vtutility.pkexec.helper.policy
check "policy names the installed helper" \
  grep -q '<annotate key="org.freedesktop.policykit.exec.path">/usr/lib/vtutility/vtutility-helper</annotate>' "$policy"
check "policy asks for the administrator" grep -q '<allow_active>auth_admin_keep</allow_active>' "$policy"
grep -q 'allow_gui' "$policy" && fail "the helper's policy lets it onto the display"
[ -n "$(find "$root/usr/share/polkit-1/actions" -name '*.policy' ! -name org.vtutility.pkexec.helper.policy)" ] &&
  fail "a policy other than the helper's is installed"
if command -v xmllint >/dev/null; then
  check "policy is well-formed XML" xmllint --noout "$policy"
fi
# The metrics service and timer: installed, not enabled, and accepted by systemd's own checker.
# systemd-analyze resolves the units' dependencies and ExecStart inside --root, so the root gets a
# copy of this machine's system units (targets) beside the package's.
units=$root/usr/lib/systemd/system
for unit in vtutility-metrics.service vtutility-metrics.timer; do
  [ -f "$units/$unit" ] || fail "$unit not installed"
done
check "service runs the installed vtutil into the textfile directory" grep -qx \
  'ExecStart=/usr/bin/vtutil metrics --output /var/lib/prometheus/node-exporter/vtutility.prom' \
  "$units/vtutility-metrics.service"
[ -z "$(find "$root" -path '*.wants/*' -o -path '*.requires/*')" ] || fail "the package enables a unit"
if command -v systemd-analyze >/dev/null; then
  for unit in /usr/lib/systemd/system/*; do
    [ -e "$root$unit" ] || cp -a "$unit" "$root$unit"
  done
  # --man=no: the manual page the units name is in the package, not on this machine.
  verify=$(systemd-analyze verify --man=no --root="$root" /usr/lib/systemd/system/vtutility-metrics.service \
    /usr/lib/systemd/system/vtutility-metrics.timer 2>&1) || fail "systemd-analyze verify: $verify"
  [ -z "$verify" ] || fail "systemd-analyze verify warns: $verify"
  # The collector runs as root on every machine of a fleet: its confinement is held to systemd's
  # "OK" rating (2.5 or below).
  security=$(systemd-analyze security --offline=true --root="$root" vtutility-metrics.service 2>&1) ||
    fail "systemd-analyze security: $security"
  score=$(sed -n 's/^.*Overall exposure level for vtutility-metrics.service: \([0-9.]*\) .*$/\1/p' <<<"$security")
  echo "vtutility-metrics.service: exposure $score"
  awk -v s="$score" 'BEGIN { exit !(s != "" && s <= 2.5) }' ||
    fail "the metrics service's exposure is ${score:-unknown}, above 2.5: $(grep '✗' <<<"$security")"
else
  fail "systemd-analyze is missing (scripts/install-deps.sh installs systemd)"
fi

if [ "$with_window" = 1 ]; then
  desktop=$root/usr/share/applications/vtutility.desktop
  check "menu entry starts the window as the user" grep -qx 'Exec=/usr/lib/vtutility/vtutility' "$desktop"
  grep -q pkexec "$desktop" && fail "the menu entry starts something through pkexec"
  check "menu entry icon" grep -qx 'Icon=vtutility' "$desktop"
  check "icon" test -s "$root/usr/share/icons/hicolor/scalable/apps/vtutility.svg"
  if command -v desktop-file-validate >/dev/null; then
    check "desktop-file-validate" desktop-file-validate "$desktop"
  fi
  if command -v xmllint >/dev/null; then
    check "icon is well-formed XML" xmllint --noout "$root/usr/share/icons/hicolor/scalable/apps/vtutility.svg"
  fi
fi

# Bash completion, as bash would call it on Tab.
complete_words() {
  bash --norc --noprofile -c '
    source "$1"; shift
    COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
    "$(complete -p "$(basename "$1")" | sed "s/.*-F \([^ ]*\).*/\1/")"
    printf "%s\n" "${COMPREPLY[@]}"' _ "$root/usr/share/bash-completion/completions/vtutil" "$@"
}
subcommands=$(complete_words "$root/usr/bin/vtutil" "")
for word in list window probe info ssd-info erase-count bad-blocks smart uart-log config-dump \
  rwtest dump-info raw-dump decode-log capture; do
  grep -qx -- "$word" <<<"$subcommands" || fail "completion lacks subcommand $word"
done
grep -qx -- --reset <<<"$(complete_words "$root/usr/bin/vtutil" --demo smart 0 --)" || fail "completion of smart's options"
touch "$scratch/work/bench-sample.json"
grep -qx -- "$scratch/work/bench-sample.json" <<<"$(complete_words "$root/usr/bin/vtutil" --bench "$scratch/work/bench-s")" ||
  fail "completion of --bench with a file"
if [ "$with_window" = 1 ]; then
  grep -qx dumpssdinfo <<<"$(complete_words "$root/usr/bin/vtutility" dump)" || fail "completion of vtutility's words"
fi

# The installed programs, started through their /usr/bin links, run from the scratch root.
cd "$scratch/work"
listing=$("$root/usr/bin/vtutil" --demo list) || fail "installed vtutil --demo list failed"
grep -q '^ide:/dev/' <<<"$listing" || fail "installed vtutil --demo list shows no drive: $listing"

# The installed vtutil through the installed helper (serving the demo bench: the test runs on no
# real drive) lists what it lists in process.
through_helper=$(VTUTIL_HELPER="$helper --serve-demo" "$root/usr/bin/vtutil" list) || fail "vtutil through the installed helper failed"
[ "$through_helper" = "$listing" ] || fail "vtutil through the installed helper lists otherwise: $through_helper"

# The settings link as the installed system resolves it, re-rooted into the scratch root.
ln -sfn "$ini" "$program_dir/VTUtility.ini"
reset_button_visible() {
  local state
  state=$("$root/usr/bin/vtutil" --demo window --select 0 --click GetSmartInfoBn --json) || return 2
  grep -A2 '"ResetSmartInfoBn"' <<<"$state" | grep -q '"visible": true'
}
reset_button_visible && fail "the default settings offer Reset Smart Info"
sed -i 's/^EnResetSmart=0$/EnResetSmart=1/' "$ini"
reset_button_visible || fail "the installed program does not read the settings beside it"

"$root/usr/bin/vtutil" --demo window --cmdline "/usr/bin/vtutility dumpssdinfo report" --select 0 --json >/dev/null ||
  fail "window with dumpssdinfo"
grep -q '^Vendor Name:' "$program_dir/report.txt" 2>/dev/null || fail "the drive information dump is not in the program directory"

if [ "$with_window" = 1 ]; then
  # A second copy ends at once by design, so a copy running elsewhere leaves no picture.
  if QT_QPA_PLATFORM=offscreen timeout 60 "$root/usr/bin/vtutility" --demo --screenshot "$scratch/work/window.png" \
    2>"$scratch/window.err"; then
    [ -s "$scratch/work/window.png" ] || fail "the installed vtutility wrote no screenshot"
  elif grep -q 'already running' "$scratch/window.err"; then
    # A copy running elsewhere on this machine keeps the single-instance guard.
    echo "NOTE: another vtutility runs; the installed window was not started"
  else
    cat "$scratch/window.err"
    fail "the installed vtutility did not start"
  fi
fi

if [ "$failures" -gt 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "package $(basename "$deb") installs and runs from its own directory"
