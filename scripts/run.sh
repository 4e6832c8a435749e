#!/usr/bin/env bash
# Sets everything up, builds, and runs the demo.
#
#   bash scripts/run.sh          on a desktop (DISPLAY or WAYLAND_DISPLAY set): the demo itself,
#                                start-up question first, played with the keyboard and mouse;
#                                without a screen: the recorded tour (scripts/tour.sh)
#   bash scripts/run.sh --tour   the recorded tour on any machine; it always runs on a private
#                                virtual screen, so it never types into the desktop
#
# The tour's screenshots, animation and summary go to build/tour (or $TAVROK_TOUR_DIR); the
# last line printed names that folder.
set -euo pipefail
cd "$(dirname "$0")/.."

mode=auto
case "${1:-}" in
  "") ;;
  --tour) mode=tour ;;
  -h | --help)
    sed -n '2,11p' "$0" | sed 's/^# \{0,1\}//'
    exit 0
    ;;
  *)
    echo "unknown option: $1 (use --tour or nothing)" >&2
    exit 2
    ;;
esac

bash scripts/deps.sh
bash scripts/build.sh -DTAVROK_TESTS=OFF -DTAVROK_BENCH=OFF
BUILD_DIR="$(pwd)/${TAVROK_BUILD_DIR:-build}"

if [ "$mode" = auto ] && [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  cd "$BUILD_DIR/run/bin"
  exec ./tavrok
fi

[ "$mode" = auto ] && echo "No display: playing the recorded tour on a virtual screen (under a minute)."
exec bash scripts/tour.sh "$BUILD_DIR/run/bin" "${TAVROK_TOUR_DIR:-$BUILD_DIR/tour}"
