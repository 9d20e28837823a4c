#!/usr/bin/env bash
# Builds Reelkit with AddressSanitizer and UndefinedBehaviorSanitizer in build-asan/ (or
# $REELKIT_ASAN_BUILD_DIR) and runs every default test through ctest, end-to-end tests included:
# the program they start is the instrumented one too.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${REELKIT_ASAN_BUILD_DIR:-build-asan}
REELKIT_BUILD_DIR=$build_dir scripts/build.sh -DREELKIT_SANITIZE=ON -DREELKIT_WERROR=ON \
  -DREELKIT_BUILD_BENCHMARKS=OFF
# Any report fails the process that made it, and with it the test.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0:strict_string_checks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
cd "$build_dir"
# The crash reporter's tests provoke faults on purpose and catch the fatal signals themselves; the
# sanitizers own those signals and flag the faults first, so they run in the normal build only.
ctest --output-on-failure -j 2 --timeout 900 -LE 'long|cluster|slurm' \
  -E '^(Signals/|StateHomes/)?(Crash(Report|DumpDebugger|Kind)|InstalledCrashReport|InstalledDiag)Test\.'
