#!/usr/bin/env bash
# Runs every benchmark against FFmpeg: bench/run-all.sh [BUILD_DIR]
set -euo pipefail
build=${1:-build}
here=$(dirname "$0")
for script in pictures avi make-avi view-avi stretch-extreme hostile-memory; do
  if [ -x "$here/$script.sh" ]; then
    echo "== $script"
    "$here/$script.sh" "$build"
  fi
done
