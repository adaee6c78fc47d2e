# Sourced by the virtual-machine tests (the caller sets $here and $cache and defines skip): the
# host's tools for a test machine, Debian's kernel, and the reading of the console the checks
# inside report on.
for tool in qemu-system-x86_64 cpio depmod modprobe; do
  command -v "$tool" >/dev/null || skip "$tool is not installed"
done
[ -x /bin/busybox ] || skip "no busybox"

# Debian's current kernel, unpacked once into the cache.
source "$here/fetch_kernel.sh"

# Prints the console of $1/console.txt without carriage returns, kernel lines and terminal escapes,
# keeping it as $1/console.clean.
show_console() {
  tr -d '\r' < "$1/console.txt" | grep -v '^\[' | sed 's/\x1b\[[0-9;?]*[a-zA-Z]//g' > "$1/console.clean"
  cat "$1/console.clean"
}

# Sets failed=1 when the checks in $1/console.clean did not finish, one failed, or fewer than $2
# reported; failed=0 otherwise.
judge_console() {
  failed=0
  grep -q '^VM: done' "$1/console.clean" || { echo "FAIL: the checks did not finish"; failed=1; }
  if grep -q '^CHECK .* FAIL' "$1/console.clean"; then failed=1; fi
  local ran
  ran=$(grep -c '^CHECK ' "$1/console.clean" || true)
  [ "$ran" -ge "$2" ] || { echo "FAIL: $ran of $2 checks reported"; failed=1; }
}

# Says how many checks in $1/console.clean passed and failed.
count_checks() {
  local passed total
  passed=$(grep -c '^CHECK .* PASS' "$1/console.clean" || true)
  total=$(grep -c '^CHECK ' "$1/console.clean" || true)
  echo "vm: $passed passed, $((total - passed)) failed"
}
