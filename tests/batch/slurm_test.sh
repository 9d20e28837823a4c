#!/usr/bin/env bash
# The Slurm recipe of docs/batch-on-slurm.md, run as written there on a one-node Slurm of the
# test's own: its slurm.conf, munge key and munged socket, state and logs all live in a temporary
# folder, the daemons run as the test user on free loopback ports, and nothing of the machine's
# own Slurm or munge is read or touched.
#   slurm_test.sh SOURCE_DIR BUILD_DIR
set -euo pipefail

skip() {
  echo "slurm_test: $*; skipped"
  exit 77
}
fail() {
  echo "slurm_test: $*" >&2
  exit 1
}
# shellcheck source=tests/batch/local_conversions.sh
. "$(dirname "$0")/local_conversions.sh"

# The daemons live in /usr/sbin, which a user's PATH often leaves out.
PATH=$PATH:/usr/sbin
for tool in slurmctld slurmd sbatch squeue scontrol sinfo scancel munged mungekey; do
  command -v "$tool" >/dev/null ||
    skip "$tool is not installed (Debian's slurm-wlm and munge, see the README)"
done
for tool in parallel python3; do
  command -v "$tool" >/dev/null || skip "$tool is not installed"
done

recipe=$(realpath "$1")/docs/batch-on-slurm.md
build=$(realpath "$2")
# shellcheck disable=SC2034  # read by local_conversions.sh
reelkit=$build/app/reelkit
record=$build/tools/reelkit-record

work=$(mktemp -d "$build/test-tmp/slurm.XXXXXX")
conf=$work/slurm.conf
daemons=()
job=''

# Every process that carries this test's folder in its command line or environment: the daemons,
# and the job steps and conversions they started. The test's own shells keep the environment
# they were started with, which names no such folder.
processes_of_test() {
  local entry
  for entry in /proc/[0-9]*; do
    if grep -qzF -- "$work" "$entry/cmdline" "$entry/environ" 2>/dev/null; then
      echo "${entry#/proc/}"
    fi
  done
}

stop_slurm() {
  [ -z "$job" ] || SLURM_CONF=$conf scancel "$job" 2>/dev/null || true
  job=''
  local pid i left
  for pid in "${daemons[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for i in $(seq 100); do
    mapfile -t left < <(processes_of_test)
    [ "${#left[@]}" != 0 ] || break
    [ "$i" != 100 ] || kill -KILL "${left[@]}" 2>/dev/null || true
    sleep 0.1
  done
  for pid in "${daemons[@]}"; do wait "$pid" 2>/dev/null || true; done
  daemons=()
}
trap 'stop_slurm; rm -rf "$work"' EXIT
trap 'exit 1' HUP INT TERM

free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# wait_for SECONDS WHAT COMMAND...: until COMMAND succeeds.
wait_for() {
  local tenths=$(($1 * 10)) what=$2 i
  shift 2
  for ((i = 0; i < tenths; i++)); do
    "$@" 2>/dev/null && return 0
    sleep 0.1
  done
  fail "$what: $(tail -n 20 "$work"/*.log "$work"/*.console 2>/dev/null)"
}

# munged wants everyone able to reach its socket's folder, and nobody else to write there.
chmod 711 "$work"
mkdir -m 711 "$work/munge"
mkdir "$work/state" "$work/spool" "$work/submit"
mungekey --create --keyfile="$work/munge/key"
socket=$work/munge/socket
munged --foreground --socket="$socket" --key-file="$work/munge/key" \
  --pid-file="$work/munge/pid" --log-file="$work/munged.log" --seed-file="$work/munge/seed" \
  >"$work/munged.console" 2>&1 &
daemons+=($!)
wait_for 10 "munged does not answer" test -S "$socket"

# Debian's own slurmd would drain a node that promises more than it finds, so what it finds is
# taken as it is; the recipe asks for two processors per task.
cpus=$(nproc)
[ "$cpus" -ge 2 ] || cpus=2
user=$(id -un)
cat >"$conf" <<EOF
ClusterName=reelkit-test
SlurmctldHost=localhost
SlurmctldPort=$(free_port)
SlurmdPort=$(free_port)
SlurmUser=$user
SlurmdUser=$user
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$socket
StateSaveLocation=$work/state
SlurmdSpoolDir=$work/spool
SlurmctldPidFile=$work/slurmctld.pid
SlurmdPidFile=$work/slurmd.pid
SlurmctldLogFile=$work/slurmctld.log
SlurmdLogFile=$work/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
MpiDefault=none
SchedulerType=sched/builtin
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
AccountingStorageType=accounting_storage/none
JobAcctGatherType=jobacct_gather/none
JobCompType=jobcomp/none
MailProg=/bin/true
ReturnToService=2
SlurmdParameters=config_overrides
NodeName=localhost NodeAddr=127.0.0.1 CPUs=$cpus State=UNKNOWN
PartitionName=test Nodes=localhost Default=YES MaxTime=INFINITE State=UP
EOF
export SLURM_CONF=$conf
slurmctld -D -f "$conf" >"$work/slurmctld.console" 2>&1 &
daemons+=($!)
wait_for 30 "slurmctld does not answer" scontrol ping
slurmd -D -f "$conf" -N localhost >"$work/slurmd.console" 2>&1 &
daemons+=($!)
node_idle() { [ "$(sinfo -h -n localhost -o %T)" = idle ]; }
wait_for 30 "the node does not come up" node_idle

# A dozen recordings in two folders, one with a space in its name, two of them damaged.
input=$work/recordings
out=$work/videos
damaged=("$input/tuesday/call4.rcrec" "$input/monday/call9.rcrec")
depths=(8 16 565 24 32)
for i in $(seq 12); do
  name=call$i
  [ "$i" != 6 ] || name="call 6.late"
  folder=$input/$([ $((i % 2)) = 0 ] && echo tuesday || echo monday)
  mkdir -p "$folder"
  "$record" --size $((64 + 8 * i))x$((48 + 4 * i)) --duration 2 --depth "${depths[i % 5]}" \
    --seed "$i" -o "$folder/$name.rcrec" >/dev/null
done
for file in "${damaged[@]}"; do truncate -s 1500 "$file"; done

# The recipe's code blocks in order: the list, the submission, the array script, the rerun. The
# chunk of 50 becomes 5, so that the dozen files span three array tasks.
recipe_block() {
  awk -v wanted="$1" '
    /^ *```sh$/ { block++; inside = block == wanted; next }
    /^ *```$/ { inside = 0; next }
    inside { sub(/^   /, ""); print }' "$recipe"
}
from_recipe() {
  local text
  text=$(recipe_block "$1")
  [ -n "$text" ] || fail "the recipe has no code block $1"
  text=${text//\/srv\/videos/$out}
  printf '%s\n' "${text//\/srv\/recordings/$input}"
}
from_recipe 1 >"$work/list.sh"
from_recipe 2 >"$work/submit.sh"
grep -q ' 50$' "$work/submit.sh" || fail "the submission no longer takes a chunk of 50"
sed -i 's/\b50\b/5/g' "$work/submit.sh"
from_recipe 3 >"$work/submit/reelkit-array.sh"
from_recipe 4 >"$work/rerun.sh"
grep -q 'reelkit-batch --convert-one' "$work/submit/reelkit-array.sh" ||
  fail "the recipe's third block is not the array script"

# As on a node: reelkit and reelkit-batch on PATH, nothing else pointing at this build.
unset REELKIT
export PATH=$build/app:$PATH
run_recipe_step() { (cd "$work/submit" && bash -euo pipefail "$work/$1"); }

started=$EPOCHSECONDS
mkdir -p "$out"
run_recipe_step list.sh
listed=$(tr -cd '\0' <"$out/todo" | wc -c)
[ "$listed" = 24 ] || fail "the list holds $((listed / 2)) recordings, not 12"
submitted=$(run_recipe_step submit.sh) || fail "sbatch failed: $submitted"
job=$(sed -n 's/^Submitted batch job \([0-9]*\)$/\1/p' <<<"$submitted")
[ -n "$job" ] || fail "sbatch said: $submitted"
job_gone() { [ -z "$(squeue -h -j "$job" 2>&1)" ]; }
wait_for 240 "the array job does not end: $(squeue -j "$job" 2>&1)" job_gone
states=$(scontrol -o show job "$job" | tr ' ' '\n' | grep -E '^(JobState|ExitCode)=' |
  paste -d' ' - - | sort | uniq -c | sed 's/^ *//')
[ "$states" = "3 JobState=COMPLETED ExitCode=0:0" ] ||
  fail "array tasks: $states $(cat "$work"/submit/reelkit-*.out)"
echo "slurm_test: the array job took $((EPOCHSECONDS - started)) s"
job=''

# Each file is reported once in the tasks' output, a damaged one with reelkit's message.
reports=$(cat "$work"/submit/reelkit-*.out)
[ "$(grep -c '^converted: ' <<<"$reports")" = 10 ] || fail "reports: $reports"
failures=$(cd "$work/submit" && grep -A3 '^failed: ' reelkit-*.out)
for file in "${damaged[@]}"; do
  [ "$(grep -cF "failed: $file" <<<"$failures")" = 1 ] || fail "$file is not reported once: $reports"
done
[ "$(grep -c 'Invalid input file. End of file has been reached unexpectedly.' <<<"$failures")" = 2 ] ||
  fail "reelkit's message is not given for each damaged file: $failures"

# Every good output is named as reelkit-batch names it and is the local conversion of the same
# file, byte for byte; a damaged file leaves nothing under a final name.
expect_local_conversions "$input" "$out" H264 mp4 10
[ "$(find "$out" -name '*.mp4' | wc -l)" = 10 ] || fail "outputs: $(find "$out" -name '*.mp4')"

# The batch afterwards sees the cluster's outputs as done and tries only the damaged files again.
status=0
said=$(run_recipe_step rerun.sh 2>&1) || status=$?
[ "$status" = 1 ] || fail "rerun status $status: $said"
[[ $said == *"Converted 0, failed 2, skipped 0 (not recordings), 10 converted before."* ]] ||
  fail "rerun: $said"

stop_slurm
remaining=$(processes_of_test)
[ -z "$remaining" ] || fail "still running: $(ps -o pid=,args= -p "${remaining//$'\n'/,}")"
echo "slurm_test: passed"
