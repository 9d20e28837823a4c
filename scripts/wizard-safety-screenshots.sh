#!/usr/bin/env bash
# Runs the wizard in a real window under Xvfb on the choices that used to cost recordings: two
# recordings of one name from different folders, and one that holds no picture, with "Delete
# source files after conversion" on. Saves the review page, which names the shared output name,
# and the finish page's log: scripts/wizard-safety-screenshots.sh [LANGUAGE] [OUT_DIR]
# (OUT_DIR build/screenshots/safety-LANGUAGE). Needs a built build/app/reelkit-wizard and
# build/tools/reelkit-record.
set -euo pipefail
cd "$(dirname "$0")/.."
language=${1:-en}
out=$(realpath -m "${2:-build/screenshots/safety-$language}")
build=$(realpath "${REELKIT_BUILD_DIR:-build}")
mkdir -p "$out"

work=${TMPDIR:-/tmp}/reelkit-safety
rm -rf "$work"
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
monday=$work/Recordings/monday
tuesday=$work/Recordings/tuesday
mkdir -p "$monday" "$tuesday"
cp resources/sample.rcrec "$monday/call7.rcrec"
"$build/tools/reelkit-record" --size 800x500 --duration 4 --seed 7 -o "$tuesday/call7.rcrec" \
  >/dev/null
# A recording that stopped before its first record: the header of an 8-bit one (whose colour
# table makes it long enough to be recognised) and nothing else.
"$build/tools/reelkit-record" --size 320x200 --depth 8 --duration 1 -o "$work/eight.rcrec" \
  >/dev/null
header=$(python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read(12); print(12 + struct.unpack_from("<I", d, 8)[0])' "$work/eight.rcrec")
head -c "$header" "$work/eight.rcrec" >"$monday/empty.rcrec"

# shellcheck source=scripts/lib/wizard-window.sh
. scripts/lib/wizard-window.sh
start_wizard "$build/app/reelkit-wizard" "$language"

press Return
add_files "$monday/call7.rcrec" "$monday/empty.rcrec"
add_files "$tuesday/call7.rcrec"
click 27 374  # "Delete source files after conversion"
press Return
# The files lie in two folders, so the destination is chosen in the folder dialog.
click 530 111
sleep 1.2
xdotool type --delay 20 "$monday"
xdotool key Return
sleep 0.5
press Return
shot review-shared-name
press Return
wait_for_files "$monday/call7_MSVC.avi" "$monday/call7_MSVC-2.avi"
sleep 1.5
press space
shot finish-log
ls -1 "$monday" "$tuesday" >"$out/files-left.txt"
echo "$(basename "$0"): $out/files-left.txt"
press Return
wait %2 2>/dev/null || true
