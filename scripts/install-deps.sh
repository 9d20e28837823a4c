#!/usr/bin/env bash
# Installs everything Reelkit needs to build and test on Debian 12. Run as root.
# Safe to run again: it only calls apt-get when a package is missing.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  zlib1g-dev liblzf-dev libpng-dev
  libavformat-dev libavcodec-dev libavutil-dev libswscale-dev ffmpeg
  qt6-base-dev fonts-dejavu-core fonts-wqy-microhei
  # The wizard's standard buttons in the user's language, and its screenshots in a real window.
  qt6-translations-l10n xvfb xdotool x11-utils imagemagick
  libdw-dev libunwind-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  gdb
  # The browser test: an MP4 played in headless Chromium, driven by a Python script.
  chromium python3
  # The MIME package's tests: its document type, a database of its own, the type gio reads from
  # it; and the benchmark's reference thumbnailer.
  shared-mime-info libxml2-utils libglib2.0-bin ffmpegthumbnailer
  # The GStreamer plugin: its headers and libraries; its tests run gst-inspect-1.0 and
  # gst-discoverer-1.0 and play through playbin, videoconvert and the AVI demuxer; libav gives
  # playbin the decoders a desktop's players have.
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev gstreamer1.0-tools
  gstreamer1.0-plugins-base gstreamer1.0-plugins-base-apps gstreamer1.0-plugins-good
  gstreamer1.0-libav
  # The fuzz targets: clang with its sanitizer and libFuzzer runtimes, llvm's symbolizer.
  clang libclang-rt-14-dev llvm
  # Installing and packaging: the install tests' validators and completion, the packages and
  # their lint, the fresh-root check, the icons' renderer and the shell scripts' lint.
  desktop-file-utils appstream man-db bash-completion file
  dpkg-dev lintian debootstrap librsvg2-bin shellcheck
  # reelkit-batch's engine, and the SSH servers and client of its test over two hosts (GNU
  # parallel copies files with rsync). Slurm, for the optional test of its recipe, is left to the
  # user (see the README).
  parallel rsync openssh-server openssh-client
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all ${#packages[@]} packages already installed"
  exit 0
fi

SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
echo "install-deps: installing ${missing[*]}"
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
