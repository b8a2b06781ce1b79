#!/usr/bin/env bash
# Installs what is missing, builds a Debug build with AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs every test headless.
set -euo pipefail
cd "$(dirname "$0")"

./tools/deps.sh

BUILD_DIR=${BUILD_DIR:-build-test}
JOBS=${JOBS:-$(nproc)}

cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Debug -DMARROWLINK_SANITIZE=ON \
  -DMARROWLINK_WERROR=ON -DMARROWLINK_BENCH=ON >/dev/null
cmake --build "$BUILD_DIR" -j "$JOBS"

# The fuzz targets once more, built by clang with libFuzzer: the code must
# build with both compilers, and each fuzzer replays its corpus.
FUZZ_DIR=${FUZZ_DIR:-build-fuzz}
cmake -S . -B "$FUZZ_DIR" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug -DMARROWLINK_SANITIZE=ON \
  -DMARROWLINK_WERROR=ON -DMARROWLINK_FUZZ=ON >/dev/null
cmake --build "$FUZZ_DIR" -j "$JOBS" --target fuzz_targets

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
(cd "$FUZZ_DIR" && ctest --output-on-failure --timeout 600 -j "$JOBS" -R '_replay$')
cd "$BUILD_DIR"
ctest --output-on-failure --timeout 600 -j "$JOBS"
