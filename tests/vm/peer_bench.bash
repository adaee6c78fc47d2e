#!/bin/bash
# The timings of the benchmark machine (run by kernel_peer_bench.sh while the device server runs):
# each operation's programs run interleaved RUNS times; every program's commands are counted on
# one run of its own. Prints "BENCH " lines: a table of medians and ratios, then the floors.
# Usage: peer_bench.bash RUNS SERVER_PID
runs=$1 serve_pid=$2
now_us() { local t=${EPOCHREALTIME/./}; echo $((10#$t)); }
# Commands every drive of the server has taken so far.
all_commands() {
  kill -USR1 "$serve_pid"; sleep 0.3
  local total=0 drive n
  for drive in 0 1 2 3; do
    n=$(grep "drive $drive: .* commands" /tmp/serve.log | tail -n 1 | awk '{print $4}')
    total=$((total + ${n:-0}))
  done
  echo "$total"
}
median() { sort -n | awk '{v[NR] = $1} END {if (NR) printf "%.1f", (v[int((NR + 1) / 2)] + v[int(NR / 2) + 1]) / 2000}'; }

# Operation, then its programs; the first is the peer the others are measured against.
operations=(
  "smart-scsi|smartctl -A -d sat /dev/sda|vtutil smart 1"
  "smart-usb|smartctl -A -d sat,12 /dev/sdc|vtutil smart 3"
  "identity-scsi|smartctl -i /dev/sda|hdparm -I /dev/sda|vtutil info 1"
  "listing|smartctl --scan-open|vtutil list"
  "start|smartctl --version|vtutil --version"
)
echo "BENCH $runs interleaved runs per program, medians in ms"
printf 'BENCH %-14s %-32s %9s %6s %9s\n' operation program median ratio commands
for operation in "${operations[@]}"; do
  IFS='|' read -r -a fields <<<"$operation"
  name=${fields[0]}
  programs=("${fields[@]:1}")
  declare -A sent=()
  for program in "${programs[@]}"; do
    before=$(all_commands)
    $program > /dev/null 2>&1
    sent[$program]=$(($(all_commands) - before))
  done
  for program in "${programs[@]}"; do : > "/tmp/times.${program//[ \/,]/_}"; done
  for ((r = 0; r < runs; r++)); do
    for program in "${programs[@]}"; do
      t0=$(now_us); $program > /dev/null 2>&1; t1=$(now_us)
      echo $((t1 - t0)) >> "/tmp/times.${program//[ \/,]/_}"
    done
  done
  peer=""
  for program in "${programs[@]}"; do
    m=$(median < "/tmp/times.${program//[ \/,]/_}")
    [ -n "$peer" ] || peer=$m
    ratio=$(awk -v a="$m" -v b="$peer" 'BEGIN {printf "%.2f", (b > 0 ? a / b : 0)}')
    printf 'BENCH %-14s %-32s %9s %6s %9s\n' "$name" "$program" "$m" "$ratio" "${sent[$program]}"
  done
  unset sent
done
# The floor of each path: one TEST UNIT READY through the same kernel path, a thousand times.
for disk in sda sdc; do
  t0=$(now_us); sg_turs -n 1000 /dev/$disk > /dev/null 2>&1; t1=$(now_us)
  echo "BENCH floor /dev/$disk: $(awk -v t=$((t1 - t0)) 'BEGIN {printf "%.3f", t / 1000000}') ms per command (sg_turs -n 1000)"
done
