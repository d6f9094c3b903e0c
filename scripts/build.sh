#!/usr/bin/env bash
# Installs what is missing, then configures and builds everything into build/, saying what
# it does: the first build takes a few minutes, later ones rebuild only what changed.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
if [ -f build/build.ninja ]; then
  echo "building: only what changed since the last build" >&2
else
  echo "building: the first build takes a few minutes" >&2
fi
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --parallel "$(nproc)" >&2   # ninja's own [done/total] progress
