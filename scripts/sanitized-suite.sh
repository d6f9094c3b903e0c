#!/usr/bin/env bash
# What both sanitizer runs share: builds the test suite into BUILD_DIR with the sanitizer
# FLAGS (compile and link, -O1, Debug) and runs ctest there, leaving out long oracle sweeps
# (oracle_sweep) and device tests on PoCL (device); benchmarks are not part of ctest. The
# sanitizer's runtime options come from the caller's environment.
#   bash scripts/sanitized-suite.sh BUILD_DIR "FLAGS"
set -euo pipefail
cd "$(dirname "$0")/.."
build=$1 flags="$2 -fno-omit-frame-pointer"
bash scripts/setup.sh
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUELVARN_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="$flags -O1" -DCMAKE_EXE_LINKER_FLAGS="$flags" -DCMAKE_SHARED_LINKER_FLAGS="$flags" >/dev/null
cmake --build "$build" --parallel "$(nproc)"
cd "$build"
ctest --output-on-failure --parallel "$(nproc)" --timeout 900 -LE 'oracle_sweep|device'
