#!/bin/sh
# End-to-end comparisons of whole conversions with their references, on recordings of the
# built-in scene at 1920x1080, 32 bits: one minute (speed and quality ratios, memory baseline) and
# ten minutes (real time, memory growth, pass-through beside cat). Prints a Markdown table.
#
#   bench/run_comparison.sh [BUILD_DIR] [RUNS]
#
# BUILD_DIR defaults to ./build (configured Release or RelWithDebInfo); RUNS to 3. The recordings
# are made once and kept in $REELKIT_BENCH_DIR (default /tmp/reelkit-comparison).
set -eu

build_dir=${1:-build}
runs=${2:-3}
work=${REELKIT_BENCH_DIR:-/tmp/reelkit-comparison}

cmake --build "$build_dir" -j "${REELKIT_JOBS:-2}" --target reelkit reelkit-record reelkit_comparison >/dev/null
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

echo "Machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //')," \
  "load average $(cut -d' ' -f1-3 /proc/loadavg) at the start"
echo
"$build_dir/bench/reelkit_comparison" --reelkit "$build_dir/app/reelkit" \
  --short "$work/one-minute.rcrec" --long "$work/ten-minutes.rcrec" --runs "$runs" --work "$work"
