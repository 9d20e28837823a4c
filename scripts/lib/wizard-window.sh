# shellcheck shell=bash
# Shared by the scripts that drive the wizard in a real window under Xvfb; sourced, not run.
# The sourcing script sets $work (a folder of its own) and $out (where screenshots go).
# Needs xvfb, xdotool, x11-utils and imagemagick (scripts/install-deps.sh).
: "${work:?}" "${out:?}"

# Starts a display and the wizard on it, in the language given, with a home of its own in
# "$work/home"; sets $window.
start_wizard() {  # binary language
  local display=:$((90 + RANDOM % 9))
  Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  export DISPLAY=$display
  for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
  local locale
  locale=$([ "$2" = en ] && echo C.UTF-8 || echo "${2}_${2^^}.UTF-8")
  mkdir -p "$work/home"
  HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" LANGUAGE="$2" LANG="$locale" \
    LC_ALL='' QT_QPA_PLATFORM=xcb "$1" &
  window=$(xdotool search --sync --onlyvisible --class reelkit | head -1)
}

shot() {  # name
  sleep 0.7
  import -window "$window" "$out/$1.png"
  echo "$(basename "$0"): $out/$1.png"
}

press() {  # keys...
  xdotool windowfocus --sync "$window" key --delay 80 "$@"
}

click() {  # x y, in the window
  xdotool mousemove --window "$window" "$1" "$2" click 1
}

# Presses the focused Add button and types the files into the file dialog's name field.
add_files() {  # paths...
  press space
  sleep 1
  local names=""
  for path in "$@"; do names+="\"$path\" "; done
  xdotool type --delay 20 "$names"
  xdotool key Return
  sleep 0.5
}

# Waits until every given file exists, for at most a minute.
wait_for_files() {  # paths...
  for _ in $(seq 120); do
    local missing=0
    for path in "$@"; do [ -f "$path" ] || missing=1; done
    [ "$missing" = 0 ] && return
    sleep 0.5
  done
}
