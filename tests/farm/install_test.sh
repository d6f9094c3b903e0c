#!/usr/bin/env bash
# `cmake --install` gives a tree that works under any prefix and after being moved: the
# binary finds its plug-in (and libhostapi) relative to itself, not in the build tree.
# Usage: install_test.sh BUILD_DIR SCENE WORK
set -euo pipefail
build="$1" scene="$2" work="$3"
fail() { echo "FAIL: $*" >&2; exit 1; }
rm -rf "$work"
mkdir -p "$work"
cmake --install "$build" --prefix "$work/first" >/dev/null
mv "$work/first" "$work/moved"
bin="$work/moved/bin/ostrivel"
plugin="$work/moved/lib/quelvarn/quelvarn_v005_2023.so"
[ -f "$plugin" ] || fail "no plug-in at $plugin"
# The farm's job script names the plug-in the binary found.
script="$("$bin" farm "$scene" --frames 2 --out "$work/shot" --dry-run)" || fail "installed farm --dry-run failed"
[[ "$script" == *"animate $work/shot/scene/$(basename "$scene") --frames 2 "*"--plugin $plugin"* ]] ||
    fail "the installed binary did not find its own plug-in:
$script"
"$bin" deform "$scene" --out "$work/result.json" || fail "the installed binary cannot deform"
rm -rf "$work"
echo "installed tree: passed"
