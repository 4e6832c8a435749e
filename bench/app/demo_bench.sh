#!/bin/bash
# The whole demo's figures under Xvfb, from one run of each:
#  - frames per second of the demo standing idle, against the empty-frame rate (Clear +
#    Present of the same back buffer, bench/d3d9's EmptyFrame) on the same display;
#  - start-up time from process start to the first Present, with the question answered
#    by the environment (TAVROK_MSGBOX_ANSWER=no), so no waiting on a person is in it.
# The first frame is known by the capture the device writes at its first Present (its
# own cost, a read-back and a PNG, is in the figure).
#
#   bench/app/demo_bench.sh <build folder> [seconds]
set -euo pipefail
BUILD=${1:?build folder}
SECONDS_IDLE=${2:-20}
export TAVROK_BIN_DIR="$BUILD/run/bin"
source "$(dirname "$0")/../../tests/e2e/lib.sh"
CAPTURES="$WORK/frames"

start_xvfb 1280x1024x24
t0=$(date +%s.%N)
start_app TAVROK_MSGBOX_ANSWER=no TAVROK_FRAME_STATS=1 TAVROK_CAPTURE="$CAPTURES:100"
until [ -s "$CAPTURES/frame_000000.png" ]; do
  kill -0 "$APP_PID" 2>/dev/null || fail "the demo exited"
  sleep 0.01
done
t1=$(date +%s.%N)
main=$(wait_window "Tavrok - by Velmor")
sleep "$SECONDS_IDLE"
xdotool key --window "$main" Escape 2>/dev/null || xdotool key Escape
wait_exit 60
first=$(stat -c %.Y "$CAPTURES/frame_000000.png")
lastfile=$(ls "$CAPTURES" | tail -n1)
n=${lastfile#frame_}; n=$((10#${n%.png}))
last=$(stat -c %.Y "$CAPTURES/$lastfile")
demo_fps=$(python3 -c "print(f'{$n / ($last - $first):.2f}')")
startup=$(python3 -c "print(f'{$t1 - $t0:.2f}')")

empty_ms=$("$BUILD/bench/d3d9/d3d9_bench" --benchmark_filter='^EmptyFrame' --benchmark_format=csv 2>/dev/null |
           awk -F, '/^"?EmptyFrame/{print $3; exit}')
empty_fps=$(python3 -c "print(f'{1000.0 / $empty_ms:.2f}')")
ratio=$(python3 -c "print(f'{$demo_fps / $empty_fps:.3f}')")
echo "demo idle: $demo_fps frames/s over $n frames"
echo "empty frame (Clear + Present): $empty_fps frames/s"
echo "demo / empty frame: $ratio"
echo "start-up to the first Present: $startup s"
