#!/usr/bin/env bash
# Converts one corpus of recordings with two builds of reelkit and compares the outputs byte for
# byte: a refactor that should change no byte is checked by building the commit before it into
# one folder and the commit after into another.
#
#   scripts/compare-outputs.sh BEFORE_BUILD_DIR AFTER_BUILD_DIR [WORK_DIR]
#
# The corpus is made with the AFTER build's reelkit-record: every depth and delta option at a small
# size, a depth change mid-recording, the bundled sample, one minute of the built-in scene at
# 1920x1080, and the pass-through AVI of each as an input of its own. Each is converted to every
# output format. Prints one line per difference and a summary; exits 1 on any difference.
set -euo pipefail
cd "$(dirname "$0")/.."

before=$1/app/reelkit
after=$2/app/reelkit
record_tool=$2/tools/reelkit-record
work=${3:-$(mktemp -d)}
mkdir -p "$work/corpus" "$work/before" "$work/after"

# Qt, which draws the scenes, talks on stderr.
record() {
  "$record_tool" "$@" >/dev/null 2>&1
}

make_corpus() {
  local depth options
  for depth in 8 555 565 24 32 32bf; do
    record --size 333x201 --depth "$depth" --duration 20 -o "$work/corpus/d$depth.rcrec"
  done
  for options in "stored bytes" "lzf words"; do
    read -r compression units <<<"$options"
    record --size 640x480 --depth 16 --duration 20 --compression "$compression" \
      --units "$units" --keyframes 5 -o "$work/corpus/$compression-$units.rcrec"
  done
  cat >"$work/depth-change.txt" <<'SCENE'
size 800 600
depth 32
idle 1
format 800 600 565
window notes 100 80 500 360 Notes - Editor
type notes 4 The spooler restarts fine.
idle 2
SCENE
  record --script "$work/depth-change.txt" --duration 15 -o "$work/corpus/depth-change.rcrec"
  cp resources/sample.rcrec "$work/corpus/sample.rcrec"
  record --size 1920x1080 --depth 32 --duration 60 -o "$work/corpus/one-minute.rcrec"
  local recording
  for recording in "$work"/corpus/*.rcrec; do
    "$after" -in "$recording" -out "${recording%.rcrec}-passthrough.avi" -fourcc VQSC >/dev/null
  done
}

[ -n "$(ls -A "$work/corpus")" ] || make_corpus

compared=0
differing=0
for input in "$work"/corpus/*; do
  for format in MSVC MRLE VQSC H264; do
    name=$(basename "$input")-$format
    "$before" -in "$input" -out "$work/before/$name" -fourcc "$format" >/dev/null 2>&1 || true
    "$after" -in "$input" -out "$work/after/$name" -fourcc "$format" >/dev/null 2>&1 || true
    compared=$((compared + 1))
    if [ ! -s "$work/after/$name" ]; then
      echo "no output: $name"
      differing=$((differing + 1))
    elif ! cmp -s "$work/before/$name" "$work/after/$name"; then
      echo "differs: $name"
      differing=$((differing + 1))
    fi
  done
done
echo "compared $compared outputs of $(find "$work/corpus" -type f | wc -l) inputs; $differing differ"
[ "$differing" -eq 0 ]
