#!/usr/bin/env bash
# Installs what is missing, builds, and starts Vantel.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)"
if [ -x build/apps/vantel/vantel ]; then
  exec build/apps/vantel/vantel "$@"
fi
exec build/apps/vantel-gen/vantel-gen "$@"
