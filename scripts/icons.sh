#!/usr/bin/env bash
# Draws the application icon (the window's emblem) into packaging/icons/ at the
# sizes the desktop entry installs, with the window preview program.
#   scripts/icons.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$(pwd)
BUILD=${1:-$ROOT/build/release}

if [ ! -f "$BUILD/build.ninja" ]; then
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -Wno-dev >/dev/null
fi
cmake --build "$BUILD" --target tidewell-window-preview >/dev/null
for size in 48 256; do
  "$BUILD/bin/tidewell-window-preview" --icon "$size" "$ROOT/packaging/icons/tidewell-$size.png"
done
echo "saved packaging/icons/tidewell-48.png and tidewell-256.png"
