#!/usr/bin/env bash
# Starts a single-node Slurm from Debian's slurm-wlm and munge as plain
# processes, with a generated configuration in a temporary folder, submits
# packaging/slurm/fernrender-bands.sh, waits for it, and compares the
# assembled PNG with the single render. Stops everything it started.
#   scripts/slurm-check.sh [FERNRENDER]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
fr=$(realpath "${1:-$root/build/cli/fernrender}")
for tool in munged slurmctld slurmd sbatch squeue sinfo; do
  command -v "$tool" > /dev/null || { echo "slurm-check: $tool is missing (scripts/install-deps.sh installs it)" >&2; exit 1; }
done
work=$(mktemp -d)
chmod 700 "$work"
pids=()
stop() {
  for pid in "${pids[@]}"; do kill "$pid" 2> /dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2> /dev/null || true; done
  rm -rf "$work"
}
trap stop EXIT

# munge: its own key and socket.
mkdir -p "$work/munge"
chmod 700 "$work/munge"
head -c 1024 /dev/urandom > "$work/munge/key"
chmod 400 "$work/munge/key"
munged --foreground --force --key-file="$work/munge/key" --socket="$work/munge/socket" \
  --pid-file="$work/munge/pid" --log-file="$work/munge/log" --seed-file="$work/munge/seed" 2> "$work/munge/out" &
pids+=($!)
for _ in $(seq 50); do [ -S "$work/munge/socket" ] && break; sleep 0.1; done

# Slurm: one node, this machine, ports of its own.
node=$(hostname -s)
user=$(id -un)
port=$((20000 + RANDOM % 20000))
mkdir -p "$work/state" "$work/spool"
export SLURM_CONF=$work/slurm.conf
cat > "$SLURM_CONF" << CONF
ClusterName=fernwise
SlurmctldHost=$node(127.0.0.1)
SlurmctldPort=$port
SlurmdPort=$((port + 1))
SlurmUser=$user
SlurmdUser=$user
AuthType=auth/munge
AuthInfo=socket=$work/munge/socket
CredType=cred/munge
StateSaveLocation=$work/state
SlurmdSpoolDir=$work/spool
SlurmctldPidFile=$work/slurmctld.pid
SlurmdPidFile=$work/slurmd.pid
SlurmctldLogFile=$work/slurmctld.log
SlurmdLogFile=$work/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
MpiDefault=none
ReturnToService=2
NodeName=$node NodeAddr=127.0.0.1 CPUs=$(nproc) RealMemory=1000 State=UNKNOWN
PartitionName=check Nodes=$node Default=YES MaxTime=INFINITE State=UP
CONF
slurmctld -D -i -f "$SLURM_CONF" > "$work/slurmctld.out" 2>&1 &
pids+=($!)
slurmd -D -f "$SLURM_CONF" > "$work/slurmd.out" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
  state=$(sinfo -h -o %T 2> /dev/null || true)
  [ "$state" = idle ] && break
  sleep 0.2
done
[ "$state" = idle ] || { echo "slurm-check: the node did not come up ($state)" >&2; tail -5 "$work"/*.log >&2; exit 1; }

opts=(--size 200x151 --iterations 400 --inside zmag --xmin -1 --xmax 0 --ymin -0.3 --ymax 0.3)
"$fr" --quiet "${opts[@]}" "$work/whole.png"
start=$(date +%s)
FERNRENDER=$fr "$root/packaging/slurm/fernrender-bands.sh" 6 "$work/slurm.png" "${opts[@]}" > /dev/null
while [ -n "$(squeue -h 2> /dev/null)" ]; do
  [ $(( $(date +%s) - start )) -lt 120 ] || { echo "slurm-check: the jobs did not finish" >&2; exit 1; }
  sleep 0.5
done
cmp "$work/whole.png" "$work/slurm.png"
echo "slurm-check: 6 array tasks and the assembling job give the single render ($(( $(date +%s) - start )) s)"
