#!/usr/bin/env bash
# Builds the test suite with AddressSanitizer and UndefinedBehaviorSanitizer and runs it
# (see sanitized-suite.sh for what is left out). The vptr check is off: the node's class is
# private to the plug-in, as it must be.
set -euo pipefail
cd "$(dirname "$0")/.."
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  bash scripts/sanitized-suite.sh build-sanitized "-fsanitize=address,undefined -fno-sanitize=vptr"
