#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, AddressSanitizer and UndefinedBehaviorSanitizer,
# and runs each for SECONDS (default 60) from its corpus in tests/fuzz/corpus/.
#   bash scripts/fuzz.sh                    # every target, a minute each, a fresh seed each time
#   bash scripts/fuzz.sh 3600 evaluation    # one target, an hour
#   bash scripts/fuzz.sh --ci               # what CI runs: seed 1 and a fixed number of inputs
#                                           # per target (about a minute each), so a CI result
#                                           # replays exactly here
# A failing input is left in build-fuzz/findings/TARGET/ and ends the script with status 1;
# copy it into tests/fuzz/corpus/TARGET/ so the replay tests keep it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
seconds=${1:-60}
shift || true
# CI inputs per target: about a minute each on a 2-core machine.
declare -A ci_runs=([scene_reader]=240000 [evaluation]=240000 [command]=25000)
ci=0
if [ "$seconds" = --ci ]; then ci=1 seconds=180; fi
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(scene_reader evaluation command)

# The sanitizer runtime is shared so the plug-in links with --no-undefined as it always does.
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize=vptr -fno-sanitize-recover=undefined
  -fno-omit-frame-pointer -Wno-delete-non-abstract-non-virtual-dtor"
links="-fsanitize=address,undefined -shared-libsan -Wl,-rpath,$(clang++ -print-runtime-dir)"
cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DQUELVARN_FUZZ=ON -DQUELVARN_TESTS=OFF -DQUELVARN_BENCH=OFF -DCMAKE_CXX_FLAGS="$(echo $flags) -shared-libsan" \
  -DCMAKE_EXE_LINKER_FLAGS="$links" -DCMAKE_SHARED_LINKER_FLAGS="$links" >/dev/null
cmake --build build-fuzz --parallel "$(nproc)" --target "${targets[@]/%/_fuzz}" quelvarn_v005_2023

status=0
for target in "${targets[@]}"; do
  corpus=build-fuzz/corpus/$target findings=build-fuzz/findings/$target
  if [ $ci -eq 1 ]; then  # from the committed corpus alone, as on a fresh clone
    corpus=build-fuzz/ci/corpus/$target findings=build-fuzz/ci/findings/$target
    rm -rf "$corpus" "$findings"
  fi
  mkdir -p "$corpus" "$findings"
  cp -n tests/fuzz/corpus/"$target"/* "$corpus"/ 2>/dev/null || true
  log=$(dirname "$(dirname "$corpus")")/$target.log
  budget=(-max_total_time="$seconds")
  [ $ci -eq 1 ] && budget=(-seed=1 -runs="${ci_runs[$target]}" -max_total_time="$seconds")
  # The shared runtime must come first among the libraries, before libstdc++.
  LD_PRELOAD="$(clang++ -print-runtime-dir)/libclang_rt.asan-x86_64.so" \
  ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
    ./build-fuzz/tests/fuzz/"${target}"_fuzz "$corpus" "${budget[@]}" -timeout=20 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$findings"/ >"$log" 2>&1 || status=1
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  # Slow units are reported but are no failure: a busy machine makes them.
  found=$(find "$findings" -type f ! -name 'slow-unit-*' | wc -l)
  echo "fuzz $target: ${runs:-?} executions$([ $ci -eq 1 ] && echo ", seed 1" || echo " in ${seconds} s"), $found findings"
  [ "$found" -eq 0 ] || { tail -40 "$log"; status=1; }
done
exit $status
