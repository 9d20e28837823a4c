#!/usr/bin/env bash
# Installs the dependencies, builds Reelkit and runs every test through ctest.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh -DREELKIT_WERROR=ON
cd build
ctest --output-on-failure -j 2 --timeout 600 -LE 'long|cluster|slurm'
