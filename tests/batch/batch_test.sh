#!/usr/bin/env bash
# reelkit-batch on this machine, one property per case:
#   batch_test.sh CASE BUILD_DIR
# CASE is one of: folders, failures, interrupt.
set -euo pipefail

case_name=$1
build=$(realpath "$2")
batch=$build/app/reelkit-batch
reelkit=$build/app/reelkit
record=$build/tools/reelkit-record

fail() {
  echo "batch_test $case_name: $*" >&2
  exit 1
}

command -v parallel >/dev/null || {
  echo "batch_test: GNU parallel is not installed; skipped"
  exit 77
}

work=$(mktemp -d "$build/test-tmp/batch.XXXXXX")
trap 'rm -rf "$work"' EXIT

# record PATH SIZE SECONDS [DEPTH]: a recording of the built-in scene.
record() {
  mkdir -p "$(dirname "$1")"
  "$record" --size "$2" --duration "$3" --depth "${4:-32}" --seed "$RANDOM" -o "$1" >/dev/null
}

# The output of one direct conversion, to compare the batch's with.
convert_directly() {
  "$reelkit" -in "$1" -out "$2" -fourcc "$3" >/dev/null
}

no_temporaries_in() {
  local left
  left=$(find "$1" -name '.*.part-*')
  [ -z "$left" ] || fail "temporary files left: $left"
}

# Outputs mirror the input folders, so two recordings of one name never meet; other files are
# skipped and counted; a pass-through AVI is a recording, whatever its name; a second run converts
# nothing and touches nothing.
check_folders() {
  local input=$work/in out=$work/out said status=0
  record "$input/monday/call7.rcrec" 160x120 1
  record "$input/tuesday/call7.rcrec" 200x100 1 16
  record "$input/tuesday/late/call 8.session.rcrec" 96x64 1 8
  convert_directly "$input/monday/call7.rcrec" "$input/kept.avi" VQSC
  convert_directly "$input/tuesday/call7.rcrec" "$input/monday/plain.avi" MRLE
  echo notes >"$input/monday/notes.txt"
  # The output folder inside the input folder is not searched.
  said=$("$batch" -j 2 -fourcc H264 -o "$input/converted" "$input") || status=$?
  [ "$status" = 0 ] || fail "status $status: $said"
  [[ $said == *"Converted 4, failed 0, skipped 2 (not recordings), 0 converted before."* ]] ||
    fail "summary: $said"
  local expected actual
  expected=$(printf '%s\n' kept_H264.mp4 monday/call7_H264.mp4 tuesday/call7_H264.mp4 \
    "tuesday/late/call 8.session_H264.mp4" reelkit-batch.joblog reelkit-batch.log | sort)
  actual=$(cd "$input/converted" && find . -type f -printf '%P\n' | sort)
  [ "$actual" = "$expected" ] || fail "outputs: $actual"
  local name
  for name in monday/call7 tuesday/call7 "tuesday/late/call 8.session"; do
    convert_directly "$input/$name.rcrec" "$work/direct.mp4" H264
    cmp -s "$work/direct.mp4" "$input/converted/${name}_H264.mp4" || fail "$name differs"
  done
  # Made under a private temporary name, an output still gets the mode of any new file.
  touch "$work/new"
  [ "$(stat -c %a "$input/converted/kept_H264.mp4")" = "$(stat -c %a "$work/new")" ] ||
    fail "an output has mode $(stat -c %a "$input/converted/kept_H264.mp4")"
  local before after
  before=$(cd "$input/converted" && find . -name '*.mp4' -printf '%P %T@\n' | sort)
  said=$("$batch" -fourcc H264 -o "$input/converted" "$input")
  [ "$said" = "Nothing to convert: all 4 recordings are converted already (2 other files skipped)." ] ||
    fail "second run: $said"
  after=$(cd "$input/converted" && find . -name '*.mp4' -printf '%P %T@\n' | sort)
  [ "$before" = "$after" ] || fail "a second run touched outputs"
  # A single file goes straight into OUTDIR.
  "$batch" -fourcc MRLE -o "$out" "$input/monday/call7.rcrec" >/dev/null
  [ -f "$out/call7_MRLE.avi" ] || fail "a single file was not converted into OUTDIR"
  # Two inputs that would share an output are refused before anything starts.
  status=0
  said=$("$batch" -o "$work/clash" "$input/monday" "$input/tuesday" 2>&1) || status=$?
  [ "$status" = 2 ] || fail "clash: status $status"
  [[ $said == *"$work/clash/call7_MSVC.avi"* ]] || fail "clash: $said"
  [ ! -e "$work/clash/call7_MSVC.avi" ] || fail "a clash converted something"
}

# A file reelkit refuses is reported once, with reelkit's own message, has no output and makes the
# run fail; the others convert. A rerun tries it again, and only it.
check_failures() {
  local input=$work/in out=$work/out said status=0
  record "$input/good.rcrec" 160x120 1
  record "$input/b/cut.rcrec" 160x120 2
  truncate -s 2000 "$input/b/cut.rcrec"
  said=$("$batch" -o "$out" "$input") || status=$?
  [ "$status" = 1 ] || fail "status $status: $said"
  [[ $said == *"Converted 1, failed 1, skipped 0 (not recordings), 0 converted before."* ]] ||
    fail "summary: $said"
  [ "$(grep -c "cut.rcrec" <<<"$said")" = 1 ] || fail "the failure is not named once: $said"
  grep -qxF "  $input/b/cut.rcrec" <<<"$said" || fail "the failed file is not named: $said"
  grep -qxF "    Invalid input file. End of file has been reached unexpectedly." <<<"$said" ||
    fail "reelkit's message is missing: $said"
  [ ! -e "$out/b/cut_MSVC.avi" ] || fail "a failed conversion left a final output"
  [ -f "$out/reelkit-batch.joblog" ] || fail "no job log in OUTDIR"
  no_temporaries_in "$out"
  status=0
  said=$("$batch" -o "$out" "$input") || status=$?
  [ "$status" = 1 ] || fail "rerun status $status"
  [[ $said == *"Converted 0, failed 1, skipped 0 (not recordings), 1 converted before."* ]] ||
    fail "rerun summary: $said"
}

# SIGINT stops the batch with 130: the running conversions end, no file is left under a final
# name that is not complete, no temporary file is left; the next run converts the rest.
check_interrupt() {
  local input=$work/in out=$work/out status=0 i
  for i in 1 2 3 4 5 6; do
    record "$input/day$((i % 2))/call$i.rcrec" 640x480 20 &
  done
  wait
  set -m
  "$batch" -j 2 -fourcc MRLE -o "$out" "$input" >"$work/said" 2>&1 &
  local pid=$!
  set +m
  # Interrupt once the first output has arrived, while others are being written, however long a
  # loaded machine takes to get there; the test's time-out catches a batch that never does.
  while [ -z "$(find "$out" -name '*_MRLE.avi' 2>/dev/null)" ]; do
    kill -0 "$pid" 2>/dev/null || fail "the batch ended before its first output: $(cat "$work/said")"
    sleep 0.1
  done
  kill -INT "$pid"
  wait "$pid" || status=$?
  [ "$status" = 130 ] || fail "status $status: $(cat "$work/said")"
  no_temporaries_in "$out"
  pgrep -f "$reelkit -in $input" >/dev/null && fail "a conversion is still running"
  local done_before
  done_before=$(find "$out" -name '*_MRLE.avi' | wc -l)
  [ "$done_before" -lt 6 ] || fail "the interruption came too late to test anything"
  echo "interrupted with $done_before of 6 converted"
  for i in 1 2 3 4 5 6; do
    local output=$out/day$((i % 2))/call${i}_MRLE.avi
    [ -e "$output" ] || continue
    convert_directly "$input/day$((i % 2))/call$i.rcrec" "$work/direct.avi" MRLE
    cmp -s "$work/direct.avi" "$output" || fail "$output is not complete"
  done
  status=0
  "$batch" -j 2 -fourcc MRLE -o "$out" "$input" >"$work/said" || status=$?
  [ "$status" = 0 ] || fail "rerun status $status: $(cat "$work/said")"
  grep -q "^Converted $((6 - done_before)), failed 0, skipped 0 (not recordings), $done_before converted before\.$" \
    "$work/said" || fail "rerun: $(cat "$work/said")"
  [ "$(find "$out" -name '*_MRLE.avi' | wc -l)" = 6 ] || fail "the rerun did not complete the rest"
}

"check_$case_name"
echo "batch_test $case_name: passed"
