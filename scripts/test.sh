#!/usr/bin/env bash
# Sets everything up on a fresh Debian machine, builds, and runs the whole test suite:
# unit tests (no display) and end-to-end tests (each starts its own Xvfb).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
WERROR=OFF
[ "${CI:-}" = "true" ] && WERROR=ON
bash scripts/build.sh -DTAVROK_WERROR=$WERROR -DTAVROK_TESTS=ON
cd "${TAVROK_BUILD_DIR:-build}"
# Every test must pass on its first run: a failure is a fault to find, never retried.
ctest --output-on-failure -j "$(nproc)" "$@"
