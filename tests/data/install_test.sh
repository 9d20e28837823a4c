#!/usr/bin/env bash
# Installs Reelkit from a build tree into a temporary DESTDIR, as a package or a user would, and
# checks one property of the installed programs and files:
#   install_test.sh CASE BUILD_DIR SOURCE_DIR LIBDIR
# CASE is one of: layout, conversions, wizard, desktop, manuals, completion.
# LIBDIR is the install layout's library folder (lib, lib/x86_64-linux-gnu).
set -euo pipefail

case_name=$1
build=$2
source=$3
libdir=$4
app_id=com.kestrixtolvan.Reelkit

work=$(mktemp -d "$build/test-tmp/install.XXXXXX")
trap 'rm -rf "$work"' EXIT
root=$work/root
prefix=$root/usr

fail() {
  echo "install_test $case_name: $*" >&2
  exit 1
}

DESTDIR=$root cmake --install "$build" --prefix /usr >/dev/null

# Every installed file, and nothing else; the programs are executable, the rest is not.
check_layout() {
  local expected actual
  expected=$(sort <<EOF
usr/bin/reelkit
usr/bin/reelkit-batch
usr/bin/reelkit-thumbnailer
usr/bin/reelkit-wizard
usr/$libdir/gstreamer-1.0/libgstreelkit.so
usr/$libdir/reelkit/reelkit-symbolize
usr/$libdir/reelkit/vqcodec.ax
usr/share/applications/$app_id.desktop
usr/share/bash-completion/completions/reelkit
usr/share/doc/gstreamer1.0-reelkit/changelog.gz
usr/share/doc/gstreamer1.0-reelkit/copyright
usr/share/doc/reelkit-wizard/changelog.gz
usr/share/doc/reelkit-wizard/copyright
usr/share/doc/reelkit/changelog.gz
usr/share/doc/reelkit/copyright
usr/share/icons/hicolor/128x128/apps/$app_id.png
usr/share/icons/hicolor/256x256/apps/$app_id.png
usr/share/icons/hicolor/48x48/apps/$app_id.png
usr/share/icons/hicolor/64x64/apps/$app_id.png
usr/share/icons/hicolor/scalable/apps/$app_id.svg
usr/share/man/man1/reelkit-batch.1.gz
usr/share/man/man1/reelkit-thumbnailer.1.gz
usr/share/man/man1/reelkit-wizard.1.gz
usr/share/man/man1/reelkit.1.gz
usr/share/metainfo/$app_id.GStreamer.metainfo.xml
usr/share/metainfo/$app_id.metainfo.xml
usr/share/mime/packages/reelkit-mime.xml
usr/share/thumbnailers/reelkit.thumbnailer
EOF
)
  actual=$(cd "$root" && find . -type f -printf '%P\n' | sort)
  [ "$actual" = "$expected" ] || fail "installed files differ:
$(diff <(echo "$expected") <(echo "$actual") || true)"
  local file
  for file in usr/bin/reelkit usr/bin/reelkit-batch usr/bin/reelkit-thumbnailer usr/bin/reelkit-wizard \
    "usr/$libdir/reelkit/reelkit-symbolize"; do
    [ -x "$root/$file" ] || fail "$file is not executable"
  done
  local size
  for size in 48 64 128 256; do
    file "$prefix/share/icons/hicolor/${size}x${size}/apps/$app_id.png" |
      grep -q "PNG image data, $size x $size," || fail "the $size-pixel icon is not $size pixels"
  done
  if ldd "$prefix/bin/reelkit" | grep -q 'libQt6'; then
    fail "reelkit links Qt: $(ldd "$prefix/bin/reelkit" | grep libQt6)"
  fi
  # The plugin is loaded into every GStreamer program: it brings neither Qt nor FFmpeg along, and
  # exports only what GST_PLUGIN_DEFINE makes: its description and its registration.
  local plugin="$prefix/$libdir/gstreamer-1.0/libgstreelkit.so"
  if ldd "$plugin" | grep -qE 'libQt6|libav|libsw'; then
    fail "the plugin links $(ldd "$plugin" | grep -E 'libQt6|libav|libsw')"
  fi
  [ "$(nm -D --defined-only "$plugin" | awk '$2 == "T" {print $3}' | tr '\n' ' ')" = \
    "gst_plugin_reelkit_get_desc gst_plugin_reelkit_register " ] ||
    fail "the plugin exports more than its entry point: $(nm -D --defined-only "$plugin" | head)"
}

# Run from a folder of its own with nothing of the build on PATH: each format converts, VQSC
# through the codec module of the private folder, and the video holds what its name says.
check_conversions() {
  local fourcc output codec expected
  mkdir "$work/elsewhere"
  cd "$work/elsewhere"
  for fourcc in MSVC MRLE VQSC H264; do
    case $fourcc in
      MSVC) output=call.avi expected=msvideo1 ;;
      MRLE) output=call_mrle.avi expected=msrle ;;
      VQSC) output=call_vqsc.avi expected=VQSC ;;
      H264) output=call.mp4 expected=h264 ;;
    esac
    PATH=/usr/bin:/bin "$prefix/bin/reelkit" -in "$source/resources/sample.rcrec" -out "$output" \
      -fourcc "$fourcc" >"$fourcc.log" || fail "$fourcc failed: $(cat "$fourcc.log")"
    grep -q '^Done\.$' "$fourcc.log" || fail "$fourcc did not finish: $(cat "$fourcc.log")"
    codec=$(ffprobe -v error -select_streams v:0 -show_entries stream=codec_name,codec_tag_string \
      -of default=noprint_wrappers=1:nokey=1 "$output" | tr '\n' ' ')
    [[ " $codec" == *" $expected "* ]] || fail "$fourcc wrote a video of '$codec'"
  done
}

# Without arguments reelkit runs the wizard installed beside it; without a display the wizard
# says so itself. Without the wizard, reelkit names the package that holds it.
check_wizard() {
  local said status=0
  mkdir "$work/elsewhere"
  cd "$work/elsewhere"
  said=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM PATH=/usr/bin:/bin \
    "$prefix/bin/reelkit") || status=$?
  [ "$status" = 2 ] || fail "no display: status $status"
  [[ $said == "The conversion wizard needs a graphical desktop"* ]] ||
    fail "the installed wizard did not answer: $said"
  rm "$prefix/bin/reelkit-wizard"
  status=0
  said=$("$prefix/bin/reelkit") || status=$?
  [ "$status" = 2 ] || fail "no wizard: status $status"
  [[ $said == "The conversion wizard is not installed; it comes in the package reelkit-wizard."* ]] ||
    fail "a missing wizard was not named: $said"
  [[ $said == *"reelkit -in <inputfilename> -out <outputfilename>"* ]] ||
    fail "no usage text after the missing wizard: $said"
}

# The desktop's validators find nothing to report in the entry, the metainfo and the icons. (The
# validator only counts its pedantic remark on the capital letter of the application's id, which
# follows the desktop's reverse-DNS convention.) The entry opens the types the MIME package
# defines, no more and no fewer, and its TryExec names the installed wizard: the validator checks
# neither, and the desktop hides an entry whose TryExec is not a program.
check_desktop() {
  local said entry_types package_types try_exec
  said=$(desktop-file-validate "$prefix/share/applications/$app_id.desktop" 2>&1) ||
    fail "desktop-file-validate: $said"
  [ -z "$said" ] || fail "desktop-file-validate: $said"
  try_exec=$(sed -n 's/^TryExec=//p' "$prefix/share/applications/$app_id.desktop")
  [ -x "$prefix/bin/$try_exec" ] || fail "TryExec=$try_exec is not an installed program"
  entry_types=$(sed -n 's/^MimeType=//p' "$prefix/share/applications/$app_id.desktop" | tr ';' '\n' |
    sed '/^$/d' | sort)
  package_types=$(grep -o '<mime-type type="[^"]*"' "$prefix/share/mime/packages/reelkit-mime.xml" |
    cut -d'"' -f2 | sort)
  [[ -n $entry_types && $entry_types == "$package_types" ]] ||
    fail "the entry opens '$entry_types', the MIME package defines '$package_types'"
  said=$(appstreamcli validate --no-net --no-color "$prefix/share/metainfo/$app_id.metainfo.xml" 2>&1) ||
    fail "appstreamcli validate: $said"
  appstream_says_nothing "$said" || fail "appstreamcli validate: $said"
  said=$(appstreamcli validate-tree --no-net --no-color "$root" 2>&1) ||
    fail "appstreamcli validate-tree: $said"
  appstream_says_nothing "$said" || fail "appstreamcli validate-tree: $said"
}

appstream_says_nothing() {  # the validator's output
  ! grep -qE '^[[:space:]]*[EWI]: ' <<<"$1" && grep -qE '^. Validation was successful(: pedantic: [0-9]+)?$' <<<"$1"
}

# Both manual pages format without a warning and document what they must.
check_manuals() {
  local page said text
  for page in reelkit reelkit-batch reelkit-wizard reelkit-thumbnailer; do
    said=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l \
      "$prefix/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
    [ -z "$said" ] || fail "man --warnings on $page(1): $said"
  done
  text=$(LC_ALL=C.UTF-8 MANWIDTH=200 man -E UTF-8 -l "$prefix/share/man/man1/reelkit.1.gz" 2>/dev/null)
  for said in -in -out -fourcc -probe MSVC MRLE VQSC H264 'EXIT STATUS' ENVIRONMENT XDG_STATE_HOME FILES \
    EXAMPLES "$libdir/reelkit/vqcodec.ax"; do
    [[ $text == *"$said"* ]] || fail "reelkit(1) does not mention $said"
  done
}

# The completion offers the options not yet given, the four formats and recordings for -in.
check_completion() {
  local files
  files=$work/recordings
  mkdir -p "$files/older"
  touch "$files/call.rcrec" "$files/call.avi" "$files/notes.txt"
  cd "$files"
  completions() {  # the words of the command line, the last one being completed
    bash --norc --noprofile -c '
      source /usr/share/bash-completion/bash_completion
      source "$0"
      COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
      _reelkit reelkit "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
      printf "%s\n" "${COMPREPLY[@]}" | sort | tr "\n" " "' \
      "$prefix/share/bash-completion/completions/reelkit" "$@"
  }
  local got
  got=$(completions reelkit -fourcc '')
  [ "$got" = "H264 MRLE MSVC VQSC " ] || fail "-fourcc offers '$got'"
  got=$(completions reelkit -fourcc M)
  [ "$got" = "MRLE MSVC " ] || fail "-fourcc M offers '$got'"
  got=$(completions reelkit -in '')
  [ "$got" = "call.avi call.rcrec older " ] || fail "-in offers '$got'"
  got=$(completions reelkit -in call.rcrec '')
  [ "$got" = "-fourcc -out " ] || fail "after -in, '$got' is offered"
  got=$(completions reelkit '')
  [ "$got" = "-fourcc -in -out " ] || fail "at the start, '$got' is offered"
}

"check_$case_name"
