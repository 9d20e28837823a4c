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
mkdir -p "$work/Recordings" "$work/home"
cp resources/sample.rcrec "$work/Recordings/meeting.rcrec"
cp resources/sample.rcrec "$work/Recordings/support call.rcrec"

display=:$((90 + RANDOM % 9))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

locale=$([ "$language" = en ] && echo C.UTF-8 || echo "${language}_${language^^}.UTF-8")
HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" LANGUAGE="$language" LANG="$locale" \
  LC_ALL= QT_QPA_PLATFORM=xcb "$binary" &
window=$(xdotool search --sync --onlyvisible --class reelkit | head -1)

shot() {  # name
  sleep 0.7
  import -window "$window" "$out/$1.png"
  echo "wizard-screenshots: $out/$1.png"
}
press() {  # keys...
  xdotool windowfocus --sync "$window" key --delay 80 "$@"
}

shot 1-welcome
press Return
# Add: the file dialog takes several quoted names in its file-name field.
press space
sleep 1
xdotool type --delay 20 "\"$work/Recordings/meeting.rcrec\" \"$work/Recordings/support call.rcrec\""
xdotool key Return
sleep 0.5
shot 2-files
press Return
shot 3-destination
press Return
shot 4-review
press Return
shot 5-conversion
for _ in $(seq 120); do
  [ -f "$work/Recordings/support call_MSVC.avi" ] && [ -f "$work/Recordings/meeting_MSVC.avi" ] && break
  sleep 0.5
done
sleep 1.5
shot 6-finish
press space
shot 6-finish-details
press Return
wait %2 2>/dev/null || true
