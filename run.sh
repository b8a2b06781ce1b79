#!/usr/bin/env bash
# Installs what is missing, builds a Release build and starts the application.
set -euo pipefail
cd "$(dirname "$0")"

./tools/deps.sh

BUILD_DIR=${BUILD_DIR:-build-release}
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build "$BUILD_DIR" -j "$(nproc)" --target marrowlink
exec "$BUILD_DIR/src/app/marrowlink" "$@"
