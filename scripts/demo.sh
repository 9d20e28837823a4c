#!/usr/bin/env bash
# Installs the dependencies, builds Reelkit and converts the bundled sample recording.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
# Until the conversion engine lands, show the usage (exit status 2 means usage was printed).
build/reelkit -help || [ $? -eq 2 ]
