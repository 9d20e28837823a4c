#!/usr/bin/env bash
# Shows recordings as the desktop shows them: installs the build into a prefix of its own (the
# MIME package, the thumbnailer entry, the desktop entry), opens a folder of recordings in Debian's
# PCManFM under Xvfb, which makes their thumbnails with our entry, then opens one of them from the
# file manager as a user does (Return on the selected file: the default application of its type)
# and saves a picture of each step:
#   scripts/file-manager-screenshots.sh [--through-totem] [OUT_DIR]
#                                                      (OUT_DIR build/screenshots/file-manager)
# With --through-totem the thumbnails are Totem's, made through the GStreamer plugin of the build:
# Totem's own thumbnailer entry is given the recordings' types in place of ours, and the one
# picture is file-manager-totem-thumbnails (needs totem).
# Needs a built build/ (with build/tools/reelkit-record), pcmanfm, shared-mime-info,
# desktop-file-utils, xvfb, xdotool, x11-utils and imagemagick. Only this script needs pcmanfm:
#   sudo apt-get install --no-install-recommends pcmanfm
set -euo pipefail
cd "$(dirname "$0")/.."
through_totem=false
if [ "${1:-}" = --through-totem ]; then
  through_totem=true
  shift
fi
build=$(realpath "${REELKIT_BUILD_DIR:-build}")
out=$(realpath -m "${1:-build/screenshots/file-manager}")
mkdir -p "$out"
for tool in pcmanfm update-mime-database update-desktop-database Xvfb xdotool xdpyinfo import; do
  command -v "$tool" >/dev/null || { echo "$(basename "$0"): $tool is not installed" >&2; exit 1; }
done

# A fixed place, so that the pictures show the same paths on every run.
work=${TMPDIR:-/tmp}/reelkit-desktop
rm -rf "$work"
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
prefix=$work/prefix
export HOME=$work/home
export XDG_CONFIG_HOME=$HOME/.config XDG_CACHE_HOME=$HOME/.cache XDG_DATA_HOME=$HOME/.local/share
export XDG_DATA_DIRS=$prefix/share:/usr/share PATH=$prefix/bin:$PATH
export LANG=C.UTF-8 LANGUAGE=en LC_ALL='' QT_QPA_PLATFORM=xcb
mkdir -p "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME" "$XDG_DATA_HOME"

# As the packages' triggers would: the MIME database and the desktop's index of applications.
cmake --install "$build" --prefix "$prefix" >/dev/null
update-mime-database "$prefix/share/mime"
if $through_totem; then
  rm "$prefix/share/thumbnailers/reelkit.thumbnailer"
  sed 's|^MimeType=.*|MimeType=video/x-reelkit-recording;video/x-reelkit-screen-avi;|' \
    /usr/share/thumbnailers/totem.thumbnailer >"$prefix/share/thumbnailers/totem-reelkit.thumbnailer"
  export GST_PLUGIN_PATH=$build/gstreamer GST_REGISTRY=$work/gst-registry.bin
fi
update-desktop-database "$prefix/share/applications"

# Recordings of several screens and depths; one renamed, known by its content alone.
folder=$HOME/Recordings
mkdir -p "$folder"
record() { QT_QPA_PLATFORM=offscreen "$build/tools/reelkit-record" --duration 20 "$@" >/dev/null; }
cp resources/sample.rcrec "$folder/support call.rcrec"
record --size 1280x800 --seed 2 -o "$folder/monday.rcrec"
record --size 1024x768 --depth 8 --seed 3 -o "$folder/night shift.rcrec"
record --size 1600x900 --depth 16 --seed 4 -o "$folder/archived call.bin"
echo "Not a recording." >"$folder/notes.txt"

# The file manager in its thumbnail view, thumbnails of local files of any size.
mkdir -p "$XDG_CONFIG_HOME/libfm" "$XDG_CONFIG_HOME/pcmanfm/default"
cat >"$XDG_CONFIG_HOME/libfm/libfm.conf" <<EOF
[config]
single_click=0
show_thumbnail=1
thumbnail_local=1
thumbnail_max=0
[ui]
thumbnail_size=128
EOF
cat >"$XDG_CONFIG_HOME/pcmanfm/default/pcmanfm.conf" <<EOF
[ui]
win_width=760
win_height=460
view_mode=thumbnail
show_hidden=0
sort=name;ascending;
EOF

display=:$((80 + RANDOM % 9))
Xvfb "$display" -screen 0 1024x640x24 -nolisten tcp >/dev/null 2>&1 &
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

# A picture of the screen, or of a part of it, in 128 colours: small enough for the README.
save() {  # name [geometry]
  import -window root ${2:+-crop "$2"} png:- | convert - -dither None -colors 128 "PNG8:$out/$1.png"
  echo "$(basename "$0"): $out/$1.png"
}

# Waits until the thumbnail cache holds COUNT pictures, for at most half a minute.
wait_for_thumbnails() {  # count
  for _ in $(seq 60); do
    [ "$(find "$XDG_CACHE_HOME/thumbnails" -name '*.png' 2>/dev/null | wc -l)" -ge "$1" ] && return
    sleep 0.5
  done
  echo "$(basename "$0"): only $(find "$XDG_CACHE_HOME/thumbnails" -name '*.png' 2>/dev/null |
    wc -l) thumbnails were made" >&2
  exit 1
}

pcmanfm "$folder" >"$work/pcmanfm.log" 2>&1 &
manager=$(xdotool search --sync --onlyvisible --class pcmanfm | head -1)
wait_for_thumbnails 4
# The first file in name order is the renamed recording: selected, the status bar names its type.
xdotool windowfocus --sync "$manager" key Home
sleep 1
if $through_totem; then
  save file-manager-totem-thumbnails 760x460+0+0
  exit 0
fi
save file-manager-thumbnails 760x460+0+0

# Opened as a double-click opens it, with the default application of its type.
xdotool windowfocus --sync "$manager" key Return
wizard=$(xdotool search --sync --onlyvisible --class reelkit | head -1)
xdotool windowmove --sync "$wizard" 400 170
sleep 1.5
save file-manager-open-with
