#!/usr/bin/env bash
# Saves a picture of the main window, as it looks in the middle of an EBOOT
# download, to docs/screenshot.png (or the file given). Runs the window under
# a virtual X display (xvfb-run) at 96 dpi.
#   scripts/screenshot.sh [OUTPUT.png] [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
OUT=${1:-$ROOT/docs/screenshot.png}
BUILD=${2:-$ROOT/build/release}

if [ ! -f "$BUILD/build.ninja" ]; then
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -Wno-dev >/dev/null
fi
cmake --build "$BUILD" --target tidewell-window-preview >/dev/null
mkdir -p "$(dirname "$OUT")"
xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" \
  "$BUILD/bin/tidewell-window-preview" --screenshot "$OUT"
echo "saved $OUT"
