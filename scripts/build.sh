#!/usr/bin/env bash
# Configures and builds Reelkit in build/ (or $REELKIT_BUILD_DIR) with the given extra CMake
# options. $REELKIT_TARGETS limits the build to those targets (all by default).
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${REELKIT_BUILD_DIR:-build}
generator=()
[ -f "$build_dir/CMakeCache.txt" ] || generator=(-G Ninja)
cmake -S . -B "$build_dir" "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
targets=()
for target in ${REELKIT_TARGETS:-}; do
  targets+=(--target "$target")
done
cmake --build "$build_dir" -j "${REELKIT_JOBS:-2}" "${targets[@]}"
