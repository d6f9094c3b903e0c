#!/usr/bin/env bash
# Sets everything up, builds, and runs the deformer's main job.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh >/dev/null
./build/tools/ostrivel help
./build/tools/ostrivel attributes
