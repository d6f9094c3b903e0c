#!/usr/bin/env bash
# ostrivel farm against the private cluster (scripts/slurm-local.sh, started once for the
# suite by the farm.cluster_start fixture). Usage: farm_cluster_test.sh CASE OSTRIVEL DATA WORK
#   chunks   24 frames in 4 chunks are byte-identical to one `animate --frames 24` (the
#            manifest's and the frozen scene's contents: farm_tests)
#   resume   a chunk cancelled with scancel is reported by --wait (exit 1, its lines) and
#            filled by --resume, which submits only that chunk; a removed frame likewise;
#            a folder holding a shot is refused without --resume or with other options
#   failed   chunks whose animate run fails are reported with their state and log
set -euo pipefail
trap 'echo "FAIL: line $LINENO: $BASH_COMMAND" >&2' ERR
case_name="$1" ostrivel="$2" data="$3" work="$4"
: "${SLURM_CONF:?the cluster fixture sets SLURM_CONF}"
rm -rf "$work"
mkdir -p "$work"
cd "$work"
scene="$data/plane_obj.json"

fail() { echo "FAIL: $*" >&2; exit 1; }
expect_eq() { [ "$1" = "$2" ] || fail "$3: expected [$2], got [$1]"; }
expect_match() { [[ "$1" =~ $2 ]] || fail "$3: [$1] does not match [$2]"; }
job_of() { sed -n 's/^submitted job \([0-9]*\):.*/\1/p' "$1" 2>/dev/null || true; }  # empty until printed
partition() {  # holds (DOWN) or releases (UP) the queue; retried while the controller settles
    for _ in $(seq 20); do scontrol update PartitionName=local State="$1" 2>/dev/null && return 0; sleep 0.25; done
    fail "cannot set the partition $1: $(scontrol update PartitionName=local State="$1" 2>&1)"
}
# Submits a waiting farm run into the held queue; sets the caller's farm (its pid) and job.
submit_held() {
    partition DOWN
    trap 'partition UP' EXIT
    "$ostrivel" farm "$scene" --frames "$1" --chunk "$2" --out "$work/shot" --wait >out.txt 2>err.txt &
    farm=$! job=""
    for _ in $(seq 100); do job="$(job_of out.txt)"; [ -n "$job" ] && break; sleep 0.1; done
    [ -n "$job" ] || fail "no job id printed: $(cat out.txt err.txt)"
}

chunks() {
    "$ostrivel" farm "$scene" --frames 24 --chunk 6 --out "$work/shot" --wait >out.txt 2>err.txt ||
        fail "farm exited $?: $(cat err.txt)"
    expect_match "$(cat out.txt)" "^submitted job [0-9]+: 4 of 4 chunks \(24 frames, 6 per chunk\) to partition \(default\)
  chunk 1  frames 1-6  log $work/shot/logs/chunk_1-job_[0-9]+\.log
  chunk 2  frames 7-12  log [^
]*
  chunk 3  frames 13-18  log [^
]*
  chunk 4  frames 19-24  log [^
]*
verified 24 frames; wrote $work/shot/manifest.json$" "farm stdout"
    [ -s err.txt ] && fail "farm wrote to stderr: $(cat err.txt)"
    expect_eq "$(ls shot/logs | wc -l)" 4 "one log per task"

    "$ostrivel" animate "$scene" --frames 24 --out "$work/whole" >/dev/null 2>&1 || fail "animate failed"
    expect_eq "$(ls shot/frames)" "$(ls whole)" "frame files"
    for file in whole/*.obj; do
        cmp -s "$file" "shot/frames/$(basename "$file")" || fail "shot/frames/$(basename "$file") differs from $file"
    done
}

resume() {
    # Held in a down partition, chunk 2 is cancelled before it starts.
    local farm job status=0
    submit_held 24 6
    scancel "${job}_2"
    partition UP
    wait "$farm" || status=$?
    expect_eq "$status" 1 "farm --wait exit code with a cancelled chunk"
    expect_eq "$(cat err.txt)" "ostrivel: chunk 2 of 4 (frames 7-12) failed before it started: no log \
$work/shot/logs/chunk_2-job_$job.log
ostrivel: missing frames 7-12 (6 of 24); --resume submits only chunk 2" "farm --wait stderr"
    [ -e shot/manifest.json ] && fail "a manifest was written for an incomplete shot"

    # Without --resume, or with another frame count, the folder is refused.
    status=0
    "$ostrivel" farm "$scene" --frames 24 --chunk 6 --out "$work/shot" >out.txt 2>err.txt || status=$?
    expect_eq "$status" 2 "farm into a folder holding a shot"
    expect_eq "$(cat err.txt)" "ostrivel: error: $work/shot already holds a shot (shot.json); add --resume to \
fill in its missing frames, or choose another folder" "refusal"
    status=0
    "$ostrivel" farm "$scene" --frames 30 --out "$work/shot" --resume >out.txt 2>err.txt || status=$?
    expect_eq "$status" 2 "--resume with another frame count"
    expect_eq "$(cat err.txt)" "ostrivel: error: --frames 30 does not match the shot in $work/shot (24 frames)" \
        "frame count refusal"

    "$ostrivel" farm "$scene" --frames 24 --out "$work/shot" --resume --wait >out.txt 2>err.txt ||
        fail "resume exited $?: $(cat err.txt)"
    expect_match "$(cat out.txt)" "^submitted job [0-9]+: 1 of 4 chunks \(24 frames, 6 per chunk\)[^
]*
  chunk 2  frames 7-12  log [^
]*
verified 24 frames; wrote $work/shot/manifest.json$" "resume stdout"

    # A frame lost later: only its chunk runs again. While that chunk waits in the queue a
    # further --resume is refused; once it ran, --resume finds nothing to submit.
    rm shot/frames/frame_0020.obj
    partition DOWN
    "$ostrivel" farm "$scene" --frames 24 --out "$work/shot" --resume >out.txt 2>err.txt ||
        fail "second resume exited $?: $(cat err.txt)"
    expect_match "$(cat out.txt)" "^submitted job [0-9]+: 1 of 4 chunks [^
]*
  chunk 4  frames 19-24  log [^
]*$" "second resume stdout"
    job="$(job_of out.txt)"
    status=0
    "$ostrivel" farm "$scene" --frames 24 --out "$work/shot" --resume >out.txt 2>err.txt || status=$?
    expect_eq "$status" 2 "--resume while a chunk is queued"
    expect_eq "$(cat err.txt)" "ostrivel: error: job $job of this shot still has chunk 4 pending or running; wait \
for it (or scancel $job) before --resume" "queued chunk refusal"
    partition UP
    for _ in $(seq 300); do [ -z "$(squeue -h -j "$job" -o %i 2>/dev/null)" ] && break; sleep 0.1; done
    "$ostrivel" farm "$scene" --frames 24 --out "$work/shot" --resume --wait >out.txt 2>err.txt ||
        fail "third resume exited $?: $(cat err.txt)"
    expect_eq "$(cat out.txt)" "all 24 frames of $work/shot are present; nothing to submit
verified 24 frames; wrote $work/shot/manifest.json" "third resume stdout"

    # A frozen file edited after submission is caught before anything is submitted.
    echo "# edited" >>shot/scene/plane_points.obj
    rm shot/frames/frame_0001.obj
    status=0
    "$ostrivel" farm "$scene" --frames 24 --out "$work/shot" --resume >out.txt 2>err.txt || status=$?
    expect_eq "$status" 2 "--resume after the frozen OBJ changed"
    expect_eq "$(cat err.txt)" "ostrivel: error: the frozen $work/shot/scene/plane_points.obj changed after the \
shot was submitted (its SHA-256 differs from shot.json); its frames would not match those already written" \
        "changed shot refusal"
}

failed() {
    # Chunks whose animate run fails (the frozen OBJ broken while they wait in the queue) are
    # each named with their state and log; the log holds animate's error line.
    local farm job status=0
    submit_held 4 2
    echo "v 0 0" >shot/scene/plane_points.obj
    partition UP
    wait "$farm" || status=$?
    expect_eq "$status" 1 "farm --wait exit code with failing chunks"
    expect_eq "$(cat err.txt)" "ostrivel: chunk 1 of 2 (frames 1-2) failed (FAILED); log \
$work/shot/logs/chunk_1-job_$job.log
ostrivel: chunk 2 of 2 (frames 3-4) failed (FAILED); log $work/shot/logs/chunk_2-job_$job.log
ostrivel: missing frames 1-4 (4 of 4); --resume submits only chunks 1-2" "farm --wait stderr"
    expect_match "$(cat "shot/logs/chunk_2-job_$job.log")" "ostrivel: error: [^
]*plane_points.obj:1: " "the failed chunk's log"
}

"$case_name"
rm -rf "$work"
echo "farm $case_name: passed"
