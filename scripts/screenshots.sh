#!/usr/bin/env bash
# Redraws the window's pictures in docs/ from a build in build/: at the normal
# scale and at twice the scale, under Xvfb, in the face the layout is drawn for,
# under a light palette and (after a run only) a dark one.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --build build --target window_screenshots
for scale in 1 2; do
  suffix=""
  [ "$scale" = 1 ] || suffix="-${scale}x"
  QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=$scale xvfb-run -a -s "-screen 0 1280x1200x24" \
    build/tests/ui/window_screenshots docs "$suffix"
done
