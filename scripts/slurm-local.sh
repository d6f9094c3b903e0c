#!/usr/bin/env bash
# A private single-node Slurm cluster on this machine, for trying `ostrivel farm` and for
# its tests: slurmctld, slurmd and munged with their configuration, key, state, logs and
# sockets in one folder, on free private ports. The system's own Slurm and munge
# configuration is neither read nor changed; commands reach this cluster through
# SLURM_CONF=<folder>/slurm.conf.
#
#   slurm-local.sh start [--lifetime SECONDS]   start (or restart) the cluster; prints the export line
#   slurm-local.sh stop                         cancel its jobs and end its daemons
#   slurm-local.sh status                       the daemons and the node, or exit 1 when stopped
#
# The folder is $SLURM_LOCAL_DIR, by default .slurm-local in the repository. --lifetime
# makes the cluster stop itself after that many seconds, so an interrupted test run never
# leaves daemons behind.
set -euo pipefail

repo="$(cd "$(dirname "$0")/.." && pwd)"
dir="${SLURM_LOCAL_DIR:-$repo/.slurm-local}"
conf="$dir/slurm.conf"
daemons=(slurmd slurmctld munged)   # the order they are stopped in

say() { echo "slurm-local: $*" >&2; }
die() { say "$*"; exit 1; }

pid_of() {  # the live process recorded in <folder>/<name>.pid, if it is still that program
    local file="$dir/$1.pid" program="$1" pid
    [ "$program" = expire ] && program=sleep
    [ -f "$file" ] || return 1
    pid="$(cat "$file" 2>/dev/null)" || return 1
    [[ "$pid" =~ ^[0-9]+$ ]] && [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = "$program" ] && echo "$pid"
}

free_ports() {  # two free TCP ports on the loopback interface
    python3 - <<'EOF'
import socket
sockets = [socket.socket() for _ in range(2)]
for s in sockets:
    s.bind(("127.0.0.1", 0))
print(" ".join(str(s.getsockname()[1]) for s in sockets))
EOF
}

write_config() {
    local host ctld_port slurmd_port cpus
    host="$(hostname -s)"
    read -r ctld_port slurmd_port < <(free_ports)
    cpus="$(nproc)"
    cat >"$conf" <<EOF
# Private single-node cluster written by scripts/slurm-local.sh; everything lives in $dir.
ClusterName=ostrivel-local
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=$ctld_port
SlurmdPort=$slurmd_port
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$dir/munge.socket
SlurmUser=$(id -un)
SlurmdUser=$(id -un)
StateSaveLocation=$dir/state
SlurmdSpoolDir=$dir/spool
SlurmctldPidFile=$dir/slurmctld.pid
SlurmdPidFile=$dir/slurmd.pid
SlurmctldLogFile=$dir/slurmctld.log
SlurmdLogFile=$dir/slurmd.log
PlugStackConfig=$dir/plugstack.conf
# No cgroups and no systemd here: processes are tracked through their parents.
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
SwitchType=switch/none
MpiDefault=none
MailProg=/bin/true
SchedulerType=sched/backfill
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
ReturnToService=2
MinJobAge=600
SchedulerParameters=sched_interval=2
NodeName=$host NodeAddr=127.0.0.1 CPUs=$cpus State=UNKNOWN
PartitionName=local Nodes=$host Default=YES MaxTime=INFINITE State=UP
EOF
    : >"$dir/plugstack.conf"
}

start_munge() {
    [ -f "$dir/munge.key" ] || mungekey --create --keyfile="$dir/munge.key" 2>/dev/null ||
        dd if=/dev/urandom of="$dir/munge.key" bs=1024 count=1 status=none
    chmod 600 "$dir/munge.key"
    munged --force --socket="$dir/munge.socket" --key-file="$dir/munge.key" --pid-file="$dir/munged.pid" \
        --log-file="$dir/munged.log" --seed-file="$dir/munged.seed" ||
        die "munged did not start; see $dir/munged.log"
}

wait_for_node() {  # until the node takes jobs (idle or mixed), at most 60 s
    local state=""
    for _ in $(seq 120); do
        state="$(SLURM_CONF="$conf" sinfo -h -N -o %T 2>/dev/null | head -n1)" || true
        case "$state" in idle* | mixed* | allocated*) return 0 ;; esac
        sleep 0.5
    done
    die "the node did not come up (state '${state:-unknown}'); see $dir/slurmctld.log and $dir/slurmd.log"
}

start() {
    local lifetime=""
    if [ "${1:-}" = "--lifetime" ]; then
        [[ "${2:-}" =~ ^[0-9]+$ ]] || die "--lifetime needs a number of seconds"
        lifetime="$2"
    elif [ $# -gt 0 ]; then
        die "unknown option '$1' (start takes --lifetime SECONDS)"
    fi
    for tool in munged slurmctld slurmd sinfo; do
        command -v "$tool" >/dev/null || die "$tool is not installed (bash scripts/setup.sh installs slurm-wlm and munge)"
    done
    stop quiet
    mkdir -p "$dir/state" "$dir/spool"
    chmod 700 "$dir"
    rm -rf "${dir:?}/state/"* "${dir:?}/spool/"*
    write_config
    start_munge
    SLURM_CONF="$conf" slurmctld -f "$conf" -i || die "slurmctld did not start; see $dir/slurmctld.log"
    SLURM_CONF="$conf" slurmd -f "$conf" || die "slurmd did not start; see $dir/slurmd.log"
    wait_for_node
    if [ -n "$lifetime" ]; then
        # Detached from the caller's output, so a test harness does not wait for it.
        nohup bash "$0" _expire "$lifetime" >/dev/null 2>&1 &
        for _ in $(seq 40); do [ -f "$dir/expire.pid" ] && break; sleep 0.05; done
    fi
    say "running in $dir"
    echo "export SLURM_CONF=$conf"
}

stop() {
    local any="" pid
    if [ -f "$conf" ] && pid_of slurmctld >/dev/null; then
        # Jobs first, so no job step outlives the daemons.
        SLURM_CONF="$conf" scancel --full --quiet --user="$(id -un)" 2>/dev/null || true
        for _ in $(seq 40); do
            [ -z "$(SLURM_CONF="$conf" squeue -h -o %i 2>/dev/null)" ] && break
            sleep 0.5
        done
    fi
    for name in "${daemons[@]}"; do
        pid="$(pid_of "$name")" || continue
        any=1
        kill -TERM "$pid" 2>/dev/null || true
        for _ in $(seq 40); do kill -0 "$pid" 2>/dev/null || break; sleep 0.25; done
        kill -0 "$pid" 2>/dev/null && kill -KILL "$pid" 2>/dev/null || true
        rm -f "$dir/$name.pid"
    done
    # The self-stop timer: its sleep, whose end would stop the cluster.
    if pid="$(pid_of expire)"; then kill -TERM "$pid" 2>/dev/null || true; fi
    rm -f "$dir/expire.pid"
    [ "${1:-}" = quiet ] || { [ -n "$any" ] && say "stopped" || say "not running"; }
}

status() {
    local running=0 pid
    for name in munged slurmctld slurmd; do
        if pid="$(pid_of "$name")"; then
            echo "$name running (pid $pid)"
        else
            echo "$name stopped"
            running=1
        fi
    done
    if [ $running -eq 0 ]; then
        echo "export SLURM_CONF=$conf"
        SLURM_CONF="$conf" sinfo -N -o '%N %P %T %C' || running=1
    fi
    return $running
}

case "${1:-}" in
    start) shift; start "$@" ;;
    stop) stop ;;
    status) status ;;
    _expire)  # sleeps, then stops the cluster; a stop before then ends the sleep and this with it
        sleep "$2" &
        echo $! >"$dir/expire.pid"
        wait $! && stop quiet ;;
    *) echo "usage: $0 start [--lifetime SECONDS] | stop | status" >&2; exit 2 ;;
esac
