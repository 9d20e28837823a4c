#!/usr/bin/env bash
# Installs the dependencies, builds Reelkit and converts the bundled sample recording.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
REELKIT_TARGETS="reelkit vqcodec" scripts/build.sh
out=build/sample.avi
build/app/reelkit -in resources/sample.rcrec -out "$out"
echo "The converted video is at $(pwd)/$out"
