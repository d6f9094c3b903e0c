#!/usr/bin/env bash
# Builds the test suite with ThreadSanitizer and runs it: the TBB loops of deform and
# prepareDeviceData, the evaluation's atomic status, the kernel's processor probe, the
# host's one-operation-per-node guard and every other parallel path the tests reach (see
# sanitized-suite.sh for what is left out). tests/tsan.supp lists the only suppressions:
# third-party code that is not built with the sanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/tests/tsan.supp" \
  bash scripts/sanitized-suite.sh build-tsan "-fsanitize=thread"
