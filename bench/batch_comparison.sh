#!/usr/bin/env bash
# What reelkit-batch costs beside the shell loop a user would otherwise write. Makes FILES short
# recordings (3 s of a 640x480 screen each, every one with its own seed; made once and kept in
# $REELKIT_BENCH_DIR/batch), then converts them all to MSVC, each time into a fresh folder, with
# a plain loop of `reelkit -in X -out Y`, with `reelkit-batch -j 1` and with `reelkit-batch -j 2`,
# and converts the one-minute 1920x1080 recording of the comparison once. The four are run in a
# rotating order RUNS times, so that a change in the machine's load falls on each of them alike.
# Prints Markdown table rows: wall time and files per minute of both batch runs beside the loop
# (medians), and the batch layer's own cost per file, the median over the runs of
# (batch -j 1 - loop) / FILES, set against the median one-minute conversion.
#
#   bench/batch_comparison.sh [BUILD_DIR] [FILES] [RUNS]
#
# BUILD_DIR defaults to ./build (configured Release or RelWithDebInfo, reelkit and reelkit-record
# built; bench/run_comparison.sh builds them), FILES to 200, RUNS to 3.
set -euo pipefail
export LC_ALL=C

build_dir=${1:-build}
files=${2:-200}
runs=${3:-3}
work=${REELKIT_BENCH_DIR:-/tmp/reelkit-comparison}
recordings=$work/batch/recordings-$files
reelkit=$build_dir/app/reelkit
batch=$build_dir/app/reelkit-batch
record=$build_dir/tools/reelkit-record
# The batch tool would otherwise convert with whatever $REELKIT names, not the reelkit beside it.
unset REELKIT

make_recordings() {
  local seed file
  mkdir -p "$recordings" "$work"
  for ((seed = 1; seed <= files; seed++)); do
    file=$recordings/$(printf 'call%03d.rcrec' "$seed")
    [ -s "$file" ] ||
      "$record" --size 640x480 --duration 3 --seed "$seed" -o "$file" >/dev/null 2>&1
  done
  # The same recording as bench/run_comparison.sh makes: its defaults are 1920x1080, 32 bits.
  [ -s "$work/one-minute.rcrec" ] ||
    "$record" --duration 60 -o "$work/one-minute.rcrec" >/dev/null 2>&1
}

convert_in_loop() {
  local file name
  for file in "$recordings"/*.rcrec; do
    name=${file##*/}
    "$reelkit" -in "$file" -out "$1/${name%.rcrec}_MSVC.avi" -fourcc MSVC >/dev/null 2>&1
  done
}

convert_in_batch() {
  "$batch" -j "$1" -fourcc MSVC -o "$2" "$recordings" >/dev/null 2>&1
}

convert_one_minute() {
  "$reelkit" -in "$work/one-minute.rcrec" -out "$1/one-minute_MSVC.avi" -fourcc MSVC \
    >/dev/null 2>&1
}

# Runs one way of converting ($1) into a fresh folder and appends its wall time in seconds to the
# file named after it; fails unless it made every output.
timed() {
  local way=$1 out=$work/batch/out-$1 start end made expected=$files status=0
  [ "$way" != minute ] || expected=1
  rm -rf -- "$out"
  mkdir -p -- "$out"
  start=$EPOCHREALTIME
  case $way in
    loop) convert_in_loop "$out" || status=$? ;;
    j1) convert_in_batch 1 "$out" || status=$? ;;
    j2) convert_in_batch 2 "$out" || status=$? ;;
    minute) convert_one_minute "$out" || status=$? ;;
  esac
  end=$EPOCHREALTIME
  [ "$status" = 0 ] || {
    echo "batch_comparison: $way ended with status $status" >&2
    exit 1
  }
  made=$(find "$out" -name '*_MSVC.avi' | wc -l)
  [ "$made" = "$expected" ] || {
    echo "batch_comparison: $way made $made of $expected outputs" >&2
    exit 1
  }
  awk -v s="$start" -v e="$end" 'BEGIN { printf "%.6f\n", e - s }' >>"$work/batch/times-$way"
}

median() {
  sort -g "$1" | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

make_recordings
rm -f -- "$work"/batch/times-*
ways=(loop j1 j2 minute)
for ((run = 0; run < runs; run++)); do
  for ((i = 0; i < ${#ways[@]}; i++)); do
    timed "${ways[(run + i) % ${#ways[@]}]}"
  done
done
# The loop's and the batch's outputs of the same recording must be the same file.
for output in "$work/batch/out-loop"/*.avi; do
  cmp -s "$output" "$work/batch/out-j1/${output##*/}" || {
    echo "batch_comparison: ${output##*/} differs between the loop and the batch" >&2
    exit 1
  }
done
paste "$work/batch/times-j1" "$work/batch/times-loop" |
  awk -v n="$files" '{ printf "%.6f\n", ($1 - $2) / n }' >"$work/batch/times-cost"

loop=$(median "$work/batch/times-loop")
j1=$(median "$work/batch/times-j1")
j2=$(median "$work/batch/times-j2")
minute=$(median "$work/batch/times-minute")
cost=$(median "$work/batch/times-cost")
echo "| What | Reelkit | Reference | Ratio | Target | |"
echo "|---|---|---|---|---|---|"
awk -v n="$files" -v runs="$runs" -v loop="$loop" -v j1="$j1" -v j2="$j2" -v minute="$minute" \
  -v cost="$cost" 'BEGIN {
  what = sprintf("%d recordings of 3 s at 640x480 to MSVC, median of %d rotating runs", n, runs)
  reference = sprintf("plain shell loop of `reelkit` %.1f s, %.0f files/min", loop, 60 * n / loop)
  printf "| %s: `reelkit-batch -j 1` | %.1f s, %.0f files/min | %s | %.2f x | | |\n",
    what, j1, 60 * n / j1, reference, loop / j1
  printf "| The same, `reelkit-batch -j 2` | %.1f s, %.0f files/min | %s | %.2f x | | |\n",
    j2, 60 * n / j2, reference, loop / j2
  share = 100 * cost / minute
  printf "| Batch layer per file: (`-j 1` - loop) / %d, median of the paired runs | %.1f ms | " \
    "one-minute 1920x1080 recording to MSVC %.2f s | %.1f %% | < 5 %% | %s |\n",
    n, 1000 * cost, minute, share, share < 5 ? "met" : "**not met**"
}'
