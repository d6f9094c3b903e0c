#!/usr/bin/env bash
# Sets everything up, builds, and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
echo "testing: the whole suite" >&2
cd build
ctest --output-on-failure --parallel "$(nproc)" --timeout 600
