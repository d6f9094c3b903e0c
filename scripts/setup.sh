#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the benchmarks need.
# Idempotent: when everything is present it prints nothing and touches nothing.
set -euo pipefail
packages=(
  build-essential cmake ninja-build ccache pkg-config python3
  libtbb-dev libimath-dev
  opencl-headers ocl-icd-opencl-dev pocl-opencl-icd
  libgtest-dev libgmock-dev libbenchmark-dev
  nlohmann-json3-dev libcli11-dev libssl-dev
  slurm-wlm munge
  libocct-foundation-dev libocct-modeling-data-dev libocct-modeling-algorithms-dev
  librsvg2-bin
  clang libclang-rt-dev
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "setup: installing ${#missing[@]} Debian packages: ${missing[*]}" >&2
SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
echo "setup: updating the package lists" >&2
$SUDO apt-get update -qq >/dev/null
echo "setup: downloading and installing (this takes a minute or two)" >&2
$SUDO apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
echo "setup: done" >&2
