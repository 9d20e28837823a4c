#!/usr/bin/env bash
# Totem playing a recording through the build's GStreamer plugin under Xvfb, paused half-way with
# its controls showing, as a user sees it after a double-click:
#   scripts/player-screenshots.sh [OUT_DIR]            (OUT_DIR build/screenshots/player)
# Needs a built build/ (the plugin and build/tools/reelkit-record), totem, dbus, xvfb, xdotool,
# x11-utils and imagemagick. Only this script needs totem:
#   sudo apt-get install --no-install-recommends totem
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${REELKIT_BUILD_DIR:-build}")
out=$(realpath -m "${1:-build/screenshots/player}")
mkdir -p "$out"
for tool in totem dbus-run-session Xvfb xdotool xdpyinfo import; do
  command -v "$tool" >/dev/null || { echo "$(basename "$0"): $tool is not installed" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
export HOME=$work/home GST_PLUGIN_PATH=$build/gstreamer GST_REGISTRY=$work/gst-registry.bin
mkdir -p "$HOME"
# Thirty seconds of the built-in scene, with a name a technician would give it.
recording=$work/call7.rcrec
QT_QPA_PLATFORM=offscreen "$build/tools/reelkit-record" --size 1024x640 --duration 30 \
  -o "$recording" >/dev/null 2>&1

display=:$((70 + RANDOM % 9))
Xvfb "$display" -screen 0 1280x860x24 -nolisten tcp >/dev/null 2>&1 &
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

dbus-run-session -- totem "$recording" >"$work/totem.log" 2>&1 &
player=$(xdotool search --sync --onlyvisible --class totem | head -1)
xdotool windowmove --sync "$player" 0 0 windowsize --sync "$player" 1100 800
# Half-way through, paused; the pointer over the picture brings up the seek bar.
sleep 15
xdotool windowfocus --sync "$player" key space
xdotool mousemove --window "$player" 500 400 sleep 0.3 mousemove --window "$player" 520 420
sleep 1
import -window "$player" png:- | convert - -dither None -colors 128 "PNG8:$out/totem-playing.png"
echo "$(basename "$0"): $out/totem-playing.png"
