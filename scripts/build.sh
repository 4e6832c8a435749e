#!/usr/bin/env bash
# Configures and builds Tavrok into build/ (or $TAVROK_BUILD_DIR).  Extra arguments go to cmake.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR=${TAVROK_BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -G Ninja "$@" >/dev/null
cmake --build "$BUILD_DIR" -j "$(nproc)"
