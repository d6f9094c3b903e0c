#!/usr/bin/env bash
# Sets everything up, builds, and runs the deformer's main job: the built-in eyelid demo.
# Set-up and build report on stderr as they go; the demo's summary is what stdout gets.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
echo "demo: running the built-in eyelid scene into demo-output/" >&2
./build/tools/ostrivel demo --out demo-output
