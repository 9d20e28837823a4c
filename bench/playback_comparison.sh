#!/usr/bin/env bash
# Playback through GStreamer: the ten-minute 1920x1080 recording of the built-in scene played by
# our plugin into a fake sink as fast as it goes, beside the H.264 MP4 that reelkit makes of it
# played by Debian's decoders in the same way; each element is chosen by decodebin from the
# file's content, as a player's playbin would. The one-minute recording's peak memory beside the
# ten-minute one's says whether memory stays flat in the length. Prints Markdown table rows.
#
#   bench/playback_comparison.sh [BUILD_DIR] [RUNS]
#
# BUILD_DIR defaults to ./build, RUNS to 5; the recordings are shared with run_comparison.sh in
# $REELKIT_BENCH_DIR (default /tmp/reelkit-comparison). Each figure is the median of RUNS runs,
# the two files taking turns.
set -euo pipefail

build_dir=$(realpath "${1:-build}")
runs=${2:-5}
work=${REELKIT_BENCH_DIR:-/tmp/reelkit-comparison}
mkdir -p "$work"
export GST_PLUGIN_PATH=$build_dir/gstreamer GST_REGISTRY=$work/gst-registry.bin

cmake --build "$build_dir" -j "${REELKIT_JOBS:-2}" --target reelkit reelkit-record \
  gstreelkit >/dev/null

record() {
  # $1: seconds, $2: file
  if [ ! -s "$work/$2" ]; then
    QT_QPA_PLATFORM=offscreen "$build_dir/tools/reelkit-record" --size 1920x1080 --depth 32 \
      --duration "$1" -o "$work/$2" >/dev/null 2>&1
  fi
}
record 60 one-minute.rcrec
record 600 ten-minutes.rcrec
for length in one-minute ten-minutes; do
  [ -s "$work/$length.mp4" ] ||
    "$build_dir/app/reelkit" -in "$work/$length.rcrec" -out "$work/$length.mp4" -fourcc H264 \
      >/dev/null
done

# Prints "seconds peak-kilobytes" of one run through decodebin into a fake sink.
play() {
  local measured
  measured=$(mktemp)
  /usr/bin/time -f '%e %M' -o "$measured" gst-launch-1.0 -q filesrc location="$1" ! decodebin ! \
    fakesink sync=false >/dev/null
  cat "$measured"
  rm -f "$measured"
}

median() {
  sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'
}

declare -A seconds memory
for ((run = 0; run < runs; run++)); do
  for file in ten-minutes.rcrec ten-minutes.mp4 one-minute.rcrec; do
    read -r took peak < <(play "$work/$file")
    seconds[$file]+="$took "
    memory[$file]+="$peak "
  done
done

of() { tr ' ' '\n' <<<"$1" | grep . | median; }
ours=$(of "${seconds[ten-minutes.rcrec]}")
theirs=$(of "${seconds[ten-minutes.mp4]}")
long_peak=$(of "${memory[ten-minutes.rcrec]}")
short_peak=$(of "${memory[one-minute.rcrec]}")
mp4_peak=$(of "${memory[ten-minutes.mp4]}")

echo "Load average $(cut -d' ' -f1-3 /proc/loadavg) at the end; medians of $runs runs."
echo
echo "| What | Reelkit | Reference | Ratio | Target | |"
echo "|---|---|---|---|---|---|"
awk -v ours="$ours" -v theirs="$theirs" -v peak="$mp4_peak" 'BEGIN {
  ratio = theirs / ours
  printf "| Playing 10 minutes at 1920x1080 into a fake sink, as fast as it goes | %.2f s | the H.264 MP4 of it through Debian'"'"'s decoders %.2f s (peak %.1f MB) | %.2f x | > 1 x | %s |\n",
    ours, theirs, peak / 1024, ratio, (ratio > 1 ? "met" : "**not met**")
}'
awk -v long="$long_peak" -v short="$short_peak" 'BEGIN {
  ratio = long / short
  printf "| Peak memory, playing 10 minutes | %.1f MB | 1 minute %.1f MB | %.2f x | <= 1.10 x | %s |\n",
    long / 1024, short / 1024, ratio, ratio <= 1.10 ? "met" : "**not met**"
}'
