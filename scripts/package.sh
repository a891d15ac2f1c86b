#!/usr/bin/env bash
# Installs what is missing, builds in build/ (configured as scripts/run.sh
# does), and makes the Debian package there: build/vantel_<version>_<arch>.deb.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)"
cd build
cpack -G DEB
