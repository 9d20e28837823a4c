#!/usr/bin/env bash
# Fuzzes the readers and the decoder with libFuzzer.
#
#   scripts/fuzz.sh TARGET|all [SECONDS] [libFuzzer options...]
#
# TARGET is fuzz_recording_job, fuzz_avi_input_job, fuzz_decode_packet, fuzz_still_picture (the
# thumbnailer's picture search) or fuzz_gst_pipeline (the GStreamer plugin in a pipeline), the
# last two seeded with both kinds of input; "all" runs the five one after the other, SECONDS each
# (default 600). Builds with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer in build-fuzz/ (or $REELKIT_FUZZ_BUILD_DIR), writes the seed corpora
# with the recording writer (and converts its recordings to pass-through AVIs with reelkit), keeps
# the growing corpus in <build>/fuzz-corpus/TARGET and any finding in <build>/fuzz-findings/TARGET/.
# Replay a finding with: <build>/tests/fuzz/TARGET <file>. Exit status 1 when a target found
# something. Runs under nice; $REELKIT_JOBS sets the build's parallelism (default 2).
set -euo pipefail
cd "$(dirname "$0")/.."

targets=(fuzz_recording_job fuzz_avi_input_job fuzz_decode_packet fuzz_still_picture
  fuzz_gst_pipeline)
usage="usage: scripts/fuzz.sh ${targets[*]// /|}|all [SECONDS] [libFuzzer options...]"
[ $# -ge 1 ] || { echo "$usage" >&2; exit 2; }
chosen=$1
seconds=${2:-600}
shift $(($# >= 2 ? 2 : 1))
case "$chosen" in
  all) run=("${targets[@]}") ;;
  fuzz_recording_job | fuzz_avi_input_job | fuzz_decode_packet | fuzz_still_picture | \
    fuzz_gst_pipeline) run=("$chosen") ;;
  *) echo "$usage" >&2; exit 2 ;;
esac

build_dir=${REELKIT_FUZZ_BUILD_DIR:-build-fuzz}
if [ ! -f "$build_dir/CMakeCache.txt" ]; then
  CC=clang CXX=clang++ cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DREELKIT_FUZZ=ON -DREELKIT_BUILD_BENCHMARKS=OFF >/dev/null
fi
# Two runs started side by side share the build: the lock lets only one of them build at a time.
mkdir -p "$build_dir"
flock "$build_dir/.fuzz-build.lock" nice -n 10 cmake --build "$build_dir" -j "${REELKIT_JOBS:-2}" \
  --target "${targets[@]}" fuzz_seeds reelkit vqcodec

# Seeds: recordings of every depth and compression, the same sessions as bundle files, and the
# recordings passed through to AVI files.
seeds=$build_dir/fuzz-seeds
exec 9>"$build_dir/.fuzz-seeds.lock"
flock 9
if [ ! -d "$seeds/avi" ]; then
  rm -rf "$seeds"
  "$build_dir/tests/fuzz/fuzz_seeds" "$seeds/recording" "$seeds/bundle"
  mkdir -p "$seeds/avi.partial"
  for recording in "$seeds"/recording/*.rcrec; do
    name=$(basename "$recording" .rcrec)
    "$build_dir/app/reelkit" -in "$recording" -out "$seeds/avi.partial/$name.avi" -fourcc VQSC >/dev/null
  done
  mv "$seeds/avi.partial" "$seeds/avi"
fi
flock -u 9

# One folder a line.
seed_dirs() {
  case "$1" in
    fuzz_recording_job) echo "$seeds/recording" ;;
    fuzz_avi_input_job) echo "$seeds/avi" ;;
    fuzz_decode_packet) echo "$seeds/bundle" ;;
    fuzz_still_picture | fuzz_gst_pipeline) printf '%s\n' "$seeds/recording" "$seeds/avi" ;;
  esac
}

status=0
for target in "${run[@]}"; do
  corpus=$build_dir/fuzz-corpus/$target
  findings=$build_dir/fuzz-findings/$target
  mkdir -p "$corpus" "$findings"
  mapfile -t target_seeds < <(seed_dirs "$target")
  echo "== $target for $seconds s"
  # A conversion may hold a picture of up to 1 GiB in several buffers, and every format
  # announcement clears them: the limits leave room for that under the sanitizers, on a shared
  # machine, while still catching anything unbounded.
  # GLib keeps what its library constructor allocates, and without frame pointers in GLib no
  # suppression can tell that apart from a leak: the plugin's target looks for faults and hangs.
  leaks=()
  [ "$target" != fuzz_gst_pipeline ] || leaks=(-detect_leaks=0)
  if ! nice -n 10 "$build_dir/tests/fuzz/$target" -max_total_time="$seconds" "${leaks[@]}" \
    -rss_limit_mb=6144 -malloc_limit_mb=1300 -timeout=300 -print_final_stats=1 \
    -artifact_prefix="$findings/" "$@" "$corpus" "${target_seeds[@]}"; then
    echo "== $target found a fault; see $findings/" >&2
    status=1
  fi
done
exit $status
