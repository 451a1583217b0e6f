#!/usr/bin/env bash
# Installs what is needed, builds everything and runs every test headless.
# Usage: ./test.sh [ctest arguments...]   e.g. ./test.sh -R test_datafile
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh

export CCACHE_BASEDIR="$PWD"
BUILD_DIR=${BUILD_DIR:-build}
JOBS=${JOBS:-$(nproc)}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Debug
cmake --build "$BUILD_DIR" --parallel "$JOBS"

export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$BUILD_DIR" --output-on-failure --parallel "$JOBS" "$@"
