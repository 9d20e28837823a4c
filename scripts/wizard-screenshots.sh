#!/usr/bin/env bash
# Runs the wizard in a real window under Xvfb, walks its six pages converting two recordings
# and saves a screenshot of each page: scripts/wizard-screenshots.sh [LANGUAGE] [OUT_DIR]
# (LANGUAGE "en" by default, any catalog language such as "de"; OUT_DIR build/screenshots/LANGUAGE).
# Needs xvfb, xdotool and imagemagick (scripts/install-deps.sh) and a built build/app/reelkit-wizard.
set -euo pipefail
cd "$(dirname "$0")/.."
language=${1:-en}
out=$(realpath -m "${2:-build/screenshots/$language}")
binary=$(realpath "${REELKIT_BUILD_DIR:-build}/app/reelkit-wizard")
mkdir -p "$out"

# A fixed place, so that the pictures show the same paths on every run.
work=${TMPDIR:-/tmp}/reelkit-wizard
rm -rf "$work"
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
mkdir -p "$work/Recordings"
cp resources/sample.rcrec "$work/Recordings/meeting.rcrec"
cp resources/sample.rcrec "$work/Recordings/support call.rcrec"

# shellcheck source=scripts/lib/wizard-window.sh
. scripts/lib/wizard-window.sh
start_wizard "$binary" "$language"

shot 1-welcome
press Return
# Add: the file dialog takes several quoted names in its file-name field.
add_files "$work/Recordings/meeting.rcrec" "$work/Recordings/support call.rcrec"
shot 2-files
press Return
shot 3-destination
press Return
shot 4-review
press Return
shot 5-conversion
wait_for_files "$work/Recordings/support call_MSVC.avi" "$work/Recordings/meeting_MSVC.avi"
sleep 1.5
shot 6-finish
press space
shot 6-finish-details
press Return
wait %2 2>/dev/null || true
