#!/usr/bin/env bash
# reelkit-batch over SSH: two SSH servers on loopback ports, run as the test user with throwaway
# host and user keys in a temporary folder (the machine's own SSH configuration is not touched),
# stand for two conversion hosts; one of them is killed in the middle of the batch.
#   cluster_test.sh BUILD_DIR
set -euo pipefail

build=$(realpath "$1")
batch=$build/app/reelkit-batch
reelkit=$build/app/reelkit
record=$build/tools/reelkit-record

skip() {
  echo "cluster_test: $*; skipped"
  exit 77
}
fail() {
  echo "cluster_test: $*" >&2
  exit 1
}
# shellcheck source=tests/batch/local_conversions.sh
. "$(dirname "$0")/local_conversions.sh"

sshd=/usr/sbin/sshd
[ -x "$sshd" ] || skip "sshd is not installed (Debian's openssh-server)"
for tool in parallel rsync ssh ssh-keygen python3; do
  command -v "$tool" >/dev/null || skip "$tool is not installed"
done

work=$(mktemp -d "$build/test-tmp/cluster.XXXXXX")
stop_servers() {
  local pid_file
  for pid_file in "$work"/server*/pid; do
    if [ -f "$pid_file" ]; then kill "$(cat "$pid_file")" 2>/dev/null || true; fi
  done
  rm -rf "$work"
}
trap stop_servers EXIT

# sshd run by root wants its privilege separation folder, which only a started service makes.
[ "$(id -u)" != 0 ] || mkdir -p /run/sshd

ssh-keygen -q -t ed25519 -N '' -C reelkit-test -f "$work/user_key"
cp "$work/user_key.pub" "$work/authorized_keys"
free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}
: >"$work/known_hosts"
: >"$work/ssh_config"
start_server() {
  local name=$1 port folder=$work/server$1
  port=$(free_port)
  mkdir "$folder"
  ssh-keygen -q -t ed25519 -N '' -f "$folder/host_key"
  cat >"$folder/sshd_config" <<EOF
Port $port
ListenAddress 127.0.0.1
HostKey $folder/host_key
PidFile $folder/pid
AuthorizedKeysFile $work/authorized_keys
StrictModes no
UsePAM no
PasswordAuthentication no
KbdInteractiveAuthentication no
PermitRootLogin prohibit-password
EOF
  "$sshd" -f "$folder/sshd_config" -E "$folder/log"
  cat >>"$work/ssh_config" <<EOF
Host host$name
  HostName 127.0.0.1
  Port $port
  HostKeyAlias host$name
EOF
  echo "host$name $(cut -d' ' -f1,2 "$folder/host_key.pub")" >>"$work/known_hosts"
}
start_server 1
start_server 2
cat >>"$work/ssh_config" <<EOF
Host *
  User $(id -un)
  IdentityFile $work/user_key
  IdentitiesOnly yes
  UserKnownHostsFile $work/known_hosts
  StrictHostKeyChecking yes
  BatchMode yes
  ConnectTimeout 5
EOF
export PARALLEL_SSH="ssh -F $work/ssh_config"
for host in host1 host2; do
  for i in $(seq 50); do
    $PARALLEL_SSH "$host" true 2>/dev/null && break
    [ "$i" != 50 ] || fail "$host does not answer: $($PARALLEL_SSH "$host" true 2>&1) $(cat "$work"/server*/log)"
    sleep 0.1
  done
done

# 40 recordings in four folders, at every depth, two of them pass-through AVIs, three damaged.
input=$work/in
damaged=()
depths=(8 16 565 24 32)
for i in $(seq 40); do
  folder=$input/team$((i % 4))
  mkdir -p "$folder"
  "$record" --size $((64 + 8 * i))x$((48 + 4 * i)) --duration 3 --depth "${depths[i % 5]}" \
    --seed "$i" -o "$folder/call$i.rcrec" >/dev/null 2>&1 &
done
wait
for i in 7 22 35; do
  folder=$input/team$((i % 4))
  truncate -s 1500 "$folder/call$i.rcrec"
  damaged+=("$folder/call$i.rcrec")
done
for i in 1 2; do
  "$reelkit" -in "$input/team$i/call$i.rcrec" -out "$input/team$i/call$i.rcrec.tmp" -fourcc VQSC \
    >/dev/null
  mv "$input/team$i/call$i.rcrec.tmp" "$input/team$i/call$i.rcrec"
done
before=$(cd "$input" && find . | sort)

printf '2/host1\n2/host2\n' >"$work/hosts"
out=$work/out
status=0
REELKIT=$reelkit "$batch" --hosts "$work/hosts" -fourcc MRLE -o "$out" "$input" >"$work/said" 2>&1 &
pid=$!
# Kill the second server and its sessions once the first outputs are back.
for i in $(seq 300); do
  [ "$(find "$out" -name '*_MRLE.avi' 2>/dev/null | wc -l)" -lt 5 ] || break
  sleep 0.1
done
server2=$(cat "$work/server2/pid")
kill -KILL "$(ps -o pid= --ppid "$server2")" "$server2" 2>/dev/null || true
wait "$pid" || status=$?
said=$(cat "$work/said")
[ "$status" = 1 ] || fail "status $status: $said"
[[ $said == *"Converted 37, failed 3, skipped 0 (not recordings), 0 converted before."* ]] ||
  fail "summary: $said"
for file in "${damaged[@]}"; do
  [ "$(grep -cF "$file" <<<"$said")" = 1 ] || fail "$file is not reported once: $said"
done
[ "$(grep -cxF "    Invalid input file. End of file has been reached unexpectedly." <<<"$said")" = 3 ] ||
  fail "reelkit's message is not given for each damaged file: $said"

# Every good output is the local conversion of the same file, byte for byte; the hosts left no
# file among the user's.
expect_local_conversions "$input" "$out" MRLE avi 37
[ "$(cd "$input" && find . | sort)" = "$before" ] || fail "the input folders changed"

status=0
said=$(REELKIT=$reelkit "$batch" --hosts "$work/hosts" -fourcc MRLE -o "$out" "$input") ||
  status=$?
[ "$status" = 1 ] || fail "rerun status $status: $said"
[[ $said == *"Converted 0, failed 3, skipped 0 (not recordings), 37 converted before."* ]] ||
  fail "rerun: $said"
echo "cluster_test: passed"
