#!/bin/sh
# End-to-end comparisons of whole conversions with their references, on recordings of the
# built-in scene at 1920x1080, 32 bits: one minute (speed and quality ratios, memory baseline) and
# ten minutes (real time, memory growth, pass-through beside ffmpeg -c copy), and ten minutes of a
# session whose screen drops from 32 to 16 bits after a second beside the same session kept at 32
# bits.
# The H.264 rows set the whole conversion to MP4 beside the ffmpeg program encoding the same
# pictures with libx264 at its default settings, from raw pictures written beforehand (about
# 3.7 GB in the work folder while it runs), and the thumbnailer on the ten-minute recording sets
# beside ffmpegthumbnailer on the MP4 made of it. Prints a Markdown table, then the start-up of
# the command line beside ffmpeg's as a row of its own, and last bench/batch_comparison.sh:
# 200 short recordings through reelkit-batch beside a shell loop of reelkit, and then
# bench/playback_comparison.sh: the ten-minute recording played through GStreamer.
#
#   bench/run_comparison.sh [BUILD_DIR] [RUNS]
#
# BUILD_DIR defaults to ./build (configured Release or RelWithDebInfo); RUNS to 3. The recordings
# are made once and kept in $REELKIT_BENCH_DIR (default /tmp/reelkit-comparison).
set -eu

build_dir=${1:-build}
runs=${2:-3}
work=${REELKIT_BENCH_DIR:-/tmp/reelkit-comparison}

cmake --build "$build_dir" -j "${REELKIT_JOBS:-2}" --target reelkit reelkit-record \
  reelkit-thumbnailer reelkit_comparison reelkit_startup_comparison >/dev/null
mkdir -p "$work"

record() {
  # $1: seconds, $2: file
  if [ ! -s "$work/$2" ]; then
    "$build_dir/tools/reelkit-record" --size 1920x1080 --depth 32 --duration "$1" \
      -o "$work/$2" >/dev/null 2>&1
  fi
}
record 60 one-minute.rcrec
record 600 ten-minutes.rcrec

# $1: the depth the screen takes after a second, $2: file
record_depth() {
  if [ ! -s "$work/$2" ]; then
    cat >"$work/depth-$1.txt" <<SCENE
size 1920 1080
depth 32
idle 1
format 1920 1080 $1
window report 60 40 760 520 Quarterly report.txt
window notes 420 260 640 420 Notes - Editor
type notes 6 Call with the customer about the printer queue.\\nThe spooler restarts fine.
scroll report 24 4
menu report 4 2.5
drag notes -300 120 2
idle 3
SCENE
    "$build_dir/tools/reelkit-record" --script "$work/depth-$1.txt" --duration 600 \
      -o "$work/$2" >/dev/null 2>&1
  fi
}
record_depth 565 depth-change.rcrec
record_depth 32 depth-kept.rcrec

echo "Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')," \
  "load average $(cut -d' ' -f1-3 /proc/loadavg) at the start"
echo
"$build_dir/bench/reelkit_comparison" --reelkit "$build_dir/app/reelkit" \
  --short "$work/one-minute.rcrec" --long "$work/ten-minutes.rcrec" \
  --depth-change "$work/depth-change.rcrec" --depth-kept "$work/depth-kept.rcrec" \
  --thumbnailer "$build_dir/thumbnailer/reelkit-thumbnailer" \
  --runs "$runs" --work "$work"
echo
echo "| What | Reelkit | Reference | Ratio | Target | |"
echo "|---|---|---|---|---|---|"
"$build_dir/bench/reelkit_startup_comparison" "$build_dir/app/reelkit"
echo
bash "$(dirname "$0")/batch_comparison.sh" "$build_dir" 200 "$runs"
echo
bash "$(dirname "$0")/playback_comparison.sh" "$build_dir" 5
