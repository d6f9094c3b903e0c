#!/usr/bin/env bash
# Builds the test suite with ThreadSanitizer and runs it: the TBB loops of deform and
# prepareDeviceData, the evaluation's atomic status, the kernel's processor probe, the
# host's one-operation-per-node guard and every other parallel path the tests reach.
# Left out (ctest labels): long oracle sweeps (oracle_sweep), device tests on PoCL
# (device) and benchmarks, which are not part of ctest. tests/tsan.supp lists the only
# suppressions: third-party code that is not built with the sanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
flags="-fsanitize=thread -fno-omit-frame-pointer"
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUELVARN_BENCH=OFF \
  -DCMAKE_CXX_FLAGS="$flags -O1" -DCMAKE_EXE_LINKER_FLAGS="$flags" -DCMAKE_SHARED_LINKER_FLAGS="$flags" >/dev/null
cmake --build build-tsan --parallel "$(nproc)"
cd build-tsan
TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/../tests/tsan.supp" \
  ctest --output-on-failure --parallel "$(nproc)" --timeout 900 -LE 'oracle_sweep|device'
