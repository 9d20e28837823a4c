#!/usr/bin/env bash
# Checks the Debian packages of build/packages/ (scripts/package.sh) in a brand-new minimal
# Debian 12 root made by debootstrap from the mirror apt uses here: installing both pulls only
# Debian's packages, reelkit on PATH converts to all four formats, recordings have their MIME type
# by content and their thumbnails, and removing both leaves no file of theirs behind. Run as root; needs debootstrap and network access to the mirror.
#   scripts/check-packages-in-fresh-root.sh [ROOT_DIR]
# ROOT_DIR (default /var/tmp/reelkit-fresh-root) is made afresh and removed at the end, unless
# REELKIT_KEEP_ROOT=1.
# The ${...} in single quotes are dpkg-query's own format fields.
# shellcheck disable=SC2016
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(realpath -m "${1:-/var/tmp/reelkit-fresh-root}")
app_id=com.kestrixtolvan.Reelkit
packages=(build/packages/reelkit_*.deb build/packages/reelkit-wizard_*.deb)
for package in "${packages[@]}"; do
  [ -f "$package" ] || { echo "check: no $package; run scripts/package.sh first" >&2; exit 1; }
done

say() { echo "check: $*"; }
fail() { echo "check: FAILED: $*" >&2; exit 1; }

# The Debian sources of this machine: deb822 files first, then one-line lists.
debian_sources() {
  local file
  for file in /etc/apt/sources.list.d/*.sources; do
    [ -f "$file" ] && awk -v RS= -v ORS='\n\n' '/URIs:[^\n]*debian/ && /Suites:[^\n]*bookworm/' "$file"
  done
  [ -f /etc/apt/sources.list ] && grep -E '^deb .*debian.* bookworm' /etc/apt/sources.list
  true
}
sources=$(debian_sources)
mirror=$(awk '/^URIs:/ && $2 !~ /security/ {print $2; exit} /^deb / && $3 == "bookworm" {print $2; exit}' <<<"$sources")
[ -n "$mirror" ] || fail "no Debian bookworm mirror in /etc/apt/sources.list*"

in_root() { chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 "$@"; }
cleanup() {
  umount "$root/proc" 2>/dev/null || true
  [ "${REELKIT_KEEP_ROOT:-0}" = 1 ] || rm -rf "$root"
}
trap cleanup EXIT

rm -rf "$root"
say "debootstrap --variant=minbase bookworm from $mirror"
debootstrap --variant=minbase bookworm "$root" "$mirror" >"$root.debootstrap.log" 2>&1 ||
  fail "debootstrap: $(tail -5 "$root.debootstrap.log")"
rm -f "$root.debootstrap.log"
# The same Debian sources as here, updates and security included, and nothing else.
rm -f "$root/etc/apt/sources.list"
printf '%s\n' "$sources" >"$root/etc/apt/sources.list.d/debian.sources"
[[ $sources == Types:* ]] || { mv "$root/etc/apt/sources.list.d/debian.sources" "$root/etc/apt/sources.list"; }
cp /etc/resolv.conf "$root/etc/resolv.conf"
mount -t proc proc "$root/proc"
mkdir -p "$root/tmp/check"
cp "${packages[@]}" resources/sample.rcrec "$root/tmp/check/"

in_root apt-get update -qq
in_root dpkg-query -W -f='${Package}\n' | sort >"$root/tmp/check/before"
say "apt install ./reelkit_*.deb ./reelkit-wizard_*.deb"
in_root sh -c 'cd /tmp/check && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq ./reelkit_*.deb ./reelkit-wizard_*.deb' \
  >"$root/tmp/check/install.log" 2>&1 || fail "apt install: $(tail -20 "$root/tmp/check/install.log")"
in_root dpkg-query -W -f='${Package}\n' | sort >"$root/tmp/check/after"
mapfile -t pulled < <(comm -13 "$root/tmp/check/before" "$root/tmp/check/after" | grep -vx -e reelkit -e reelkit-wizard)
say "installing pulled ${#pulled[@]} packages besides reelkit and reelkit-wizard"
# Each one installed at a version that one of Debian's sources offers.
for package in "${pulled[@]}"; do
  in_root apt-cache policy "$package" | awk '/^ \*\*\* /{getline; print; exit}' |
    grep -q 'debian' || fail "$package did not come from Debian's archive"
done
say "every pulled package comes from Debian's archive"

# Converted by the reelkit found on PATH, from a folder of the user's.
[ "$(in_root sh -c 'command -v reelkit')" = /usr/bin/reelkit ] || fail "reelkit is not on PATH"
for fourcc in MSVC MRLE VQSC H264; do
  in_root sh -c "cd /tmp/check && reelkit -in sample.rcrec -out out-$fourcc.video -fourcc $fourcc" \
    >"$root/tmp/check/$fourcc.log" || fail "$fourcc: $(cat "$root/tmp/check/$fourcc.log")"
  grep -q '^Done\.$' "$root/tmp/check/$fourcc.log" || fail "$fourcc did not finish"
  say "$fourcc: $(tail -1 "$root/tmp/check/$fourcc.log")"
done
[ "$(head -c 4 "$root/tmp/check/out-MSVC.video")" = RIFF ] || fail "MSVC wrote no AVI file"
[ "$(dd if="$root/tmp/check/out-H264.video" bs=1 skip=4 count=4 2>/dev/null)" = ftyp ] ||
  fail "H264 wrote no MP4 file"
# The pass-through file is read back: it converts again.
in_root sh -c 'cd /tmp/check && reelkit -in out-VQSC.video -out again.avi -fourcc MRLE' >/dev/null ||
  fail "the VQSC file does not convert again"
said=$(in_root reelkit) || true
[[ $said == "The conversion wizard needs a graphical desktop"* ]] ||
  fail "reelkit without arguments did not reach the wizard: $said"
say "reelkit without arguments reaches the installed wizard"

# The desktop's side, read as file managers read it, through GLib: recordings under other names
# are known by their content, the wizard opens both types, and the thumbnailer entry's command
# line, filled in as a file manager fills it, makes the PNG. GLib's gio and the index of
# applications by type that desktop-file-utils keeps (every desktop has it; GLib reads a type's
# applications from that index) are installed now, so that the figures above stay the packages'.
in_root sh -c 'DEBIAN_FRONTEND=noninteractive apt-get install -y -qq libglib2.0-bin desktop-file-utils' \
  >/dev/null 2>&1 || fail "libglib2.0-bin and desktop-file-utils do not install"
cp "$root/tmp/check/sample.rcrec" "$root/tmp/check/call.bin"
type_of() { in_root gio info -a standard::content-type "$1" 2>/dev/null | sed -n 's/^ *standard::content-type: //p'; }
read -ra thumbnailer < <(sed -n 's/^Exec=//p' "$root/usr/share/thumbnailers/reelkit.thumbnailer")
for file_and_type in call.bin:video/x-reelkit-recording out-VQSC.video:video/x-reelkit-screen-avi; do
  file=${file_and_type%%:*} expected=${file_and_type#*:}
  [ "$(type_of "/tmp/check/$file")" = "$expected" ] ||
    fail "$file is of type '$(type_of "/tmp/check/$file")', not $expected"
  offered=$(in_root gio mime "$expected" 2>&1) || true
  [[ $offered == "Default application for "*"$expected"*": $app_id.desktop"* ]] ||
    fail "the wizard does not open $expected: $offered"
  command=()
  for word in "${thumbnailer[@]}"; do
    case $word in
      %s) word=256 ;;
      %i) word=/tmp/check/$file ;;
      %o) word=/tmp/check/$file.png ;;
    esac
    command+=("$word")
  done
  started=$(date +%s%N)
  in_root "${command[@]}" || fail "the thumbnailer entry's '${command[*]}' failed"
  took=$((($(date +%s%N) - started) / 1000000))
  png=$(file -b "$root/tmp/check/$file.png")
  [[ $png == "PNG image data, 256 x 192,"* ]] || fail "the thumbnail of $file is $png"
  say "$file: $expected, opened by $app_id.desktop; '${command[*]}' made a $png in $took ms"
done

# With the debug packages, a crash of the installed program is reported with its source lines, in
# the user's state folder.
cp build/packages/*.ddeb "$root/tmp/check/"
in_root sh -c 'cd /tmp/check && for p in ./*.ddeb; do cp "$p" "${p%.ddeb}.deb"; done &&
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq ./reelkit-dbgsym_*.deb ./reelkit-wizard-dbgsym_*.deb' \
  >/dev/null 2>&1 || fail "the debug packages do not install"
said=$(in_root sh -c 'mkfifo /tmp/check/pipe && { reelkit -in /tmp/check/pipe -out /tmp/check/x.avi & pid=$!;
  sleep 1; kill -SEGV $pid; wait $pid; } 2>/dev/null') || true
[[ $said == *"The crash report and core dump are in /root/.local/state/reelkit/diag"* ]] ||
  fail "the crash was not reported in the state folder: $said"
[ "$(stat -c %a "$root/root/.local/state/reelkit/diag")" = 700 ] || fail "the diag folder is not private"
grep -q 'main\.cpp, [0-9]*)' "$root"/root/.local/state/reelkit/diag/reelkit-0053-*.txt ||
  fail "the crash report has no source lines: $(cat "$root"/root/.local/state/reelkit/diag/*.txt)"
say "a crash of the installed reelkit is reported in ~/.local/state/reelkit/diag with source lines"

in_root dpkg-query -L reelkit reelkit-wizard reelkit-dbgsym reelkit-wizard-dbgsym | sort -u >"$root/tmp/check/owned"
say "apt remove reelkit reelkit-wizard (and the debug packages)"
in_root sh -c 'DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq reelkit reelkit-wizard' >/dev/null 2>&1 ||
  fail "apt remove failed"
left=()
while read -r path; do
  [[ -z $path || $path == /. ]] && continue
  if [ -e "$root$path" ] && ! [ -d "$root$path" ]; then
    left+=("$path")
  elif [ -d "$root$path" ] && ! in_root dpkg-query -S "$path" >/dev/null 2>&1; then
    left+=("$path/")  # a folder of theirs that no other package owns
  fi
done <"$root/tmp/check/owned"
[ ${#left[@]} -eq 0 ] || fail "left behind: ${left[*]}"
status=$(in_root dpkg-query -W -f='${Status} ' reelkit reelkit-wizard reelkit-dbgsym reelkit-wizard-dbgsym 2>/dev/null || true)
[[ $status != *"ok installed"* ]] || fail "still installed: $status"
say "apt remove left none of their $(wc -l <"$root/tmp/check/owned") paths behind"
# The MIME database was rebuilt without them: the renamed recording is just bytes again.
[ "$(type_of /tmp/check/call.bin)" = application/octet-stream ] ||
  fail "after removal call.bin is still of type $(type_of /tmp/check/call.bin)"
say "after removal the renamed recording is application/octet-stream again"
say "all checks passed"
