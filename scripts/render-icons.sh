#!/usr/bin/env bash
# Renders the sized PNG icons of the desktop's theme from the scalable drawing, the icon's one
# source. Needs rsvg-convert (librsvg2-bin); the same bytes on every run.
set -euo pipefail
cd "$(dirname "$0")/../data/icons/hicolor"
for drawing in scalable/apps/*.svg; do
  name=$(basename "$drawing" .svg)
  for size in 48 64 128 256; do
    mkdir -p "${size}x${size}/apps"
    rsvg-convert --width "$size" --height "$size" --output "${size}x${size}/apps/$name.png" \
      "$drawing"
  done
done
