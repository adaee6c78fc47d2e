#!/usr/bin/env bash
# Installs what the project needs to build, test and run, from Debian 12's packages.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config clang-format
  qt6-base-dev libgl-dev nlohmann-json3-dev libcli11-dev
  libgtest-dev libgmock-dev libbenchmark-dev zlib1g-dev
  xvfb xauth dpkg-dev desktop-file-utils libxml2-utils
  xdotool
  qemu-system-x86 busybox-static cpio kmod
  smartmontools hdparm sg3-utils
  strace  # the metrics unit's system calls against its filter, in the kernel-disk VM test
  clang libclang-rt-14-dev
  file ccache debootstrap  # the package step's CPack, repeated builds, CI's fresh-machine stage
  python3 python3-jsonschema
  libcairo2-dev fonts-dejavu-core fonts-liberation
  prometheus prometheus-node-exporter systemd  # vtutil metrics: promtool, the textfile collector, systemd-analyze
  g++-mingw-w64-x86-64-posix wine wine64 googletest  # the Windows cross-build and its tests under Wine
  nsis groff-base  # the Windows installer and the manual as text in it
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
