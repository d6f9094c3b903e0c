#!/usr/bin/env bash
# Sets everything up, builds, and runs the deformer's main job: the built-in eyelid demo.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh >/dev/null
./build/tools/ostrivel demo --out demo-output
