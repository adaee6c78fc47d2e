# Sourced by run_vm_test.sh after the machine powered off: what the self-test left on the AHCI
# disk's backing file. Sets failed=1 on a mismatch.
host_check() {
  local name=$1; shift
  if "$@"; then echo "CHECK host-$name PASS"; else echo "CHECK host-$name FAIL"; failed=1; fi
}
sector_hex() { dd if="$work/sata.img" bs=512 skip="$1" count=1 2>/dev/null | od -An -v -tx1 | tr -d ' \n'; }
# Sector 0 holds FFFFh words.
host_check sector0-ffff test "$(sector_hex 0)" = "$(printf 'ff%.0s' $(seq 512))"
# The one-sector run at LBA 150 holds word i = 150 x 256 + i, little-endian.
host_check lba150-pattern test "$(sector_hex 150 | cut -c1-16)" = "0096019602960396"
