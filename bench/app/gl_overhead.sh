#!/bin/bash
# The platform layer's own cost, measured against the OpenGL driver alone: the demo plays an
# input script on the virtual clock (a walk, then the attacks with their sparks) while
# apitrace records its OpenGL stream; glretrace replays that stream, which is every GL call
# the demo made and nothing else.  Both rates count the frames from the end of the first
# one (shader compiles and uploads) to the end of the last one, on the same Xvfb, played
# in alternation (twice unless told); the best of each is kept, which on a busy machine is
# the round least disturbed by other work.
#
#   bench/app/gl_overhead.sh <build folder> [frames] [rounds]
#
# Prints the demo's frames per second, the replay's, and the demo's divided by the replay's
# (1.0: the layer costs nothing beyond the driver's work).  The replay's frame times come
# from glretrace's per-frame profiling, which adds a timer query a frame.  Needs apitrace
# (apt-get install apitrace).
set -euo pipefail
BUILD=$(cd "${1:?build folder}" && pwd)
FRAMES=${2:-400}
ROUNDS=${3:-2}
export TAVROK_BIN_DIR="$BUILD/run/bin"
source "$(dirname "$0")/../../tests/e2e/lib.sh"
command -v apitrace >/dev/null && command -v glretrace >/dev/null ||
  fail "apitrace and glretrace are needed: apt-get install apitrace"

last=$((FRAMES - 1))
{
  echo "10 down Up"
  echo "$((FRAMES / 2)) up Up"
  for ((f = FRAMES / 2; f + 20 < FRAMES; f += 60)); do
    echo "$f down A"; echo "$((f + 10)) up A"; echo "$((f + 20)) down S"; echo "$((f + 30)) up S"
  done
  echo "$FRAMES down Escape"
} >"$WORK/input.script"

run_demo() {  # run_demo [command...]: the demo under the script, optionally under a tracer
  rm -rf "$WORK/frames"
  start_app TAVROK_MSGBOX_ANSWER=no TAVROK_VIRTUAL_CLOCK=40 TAVROK_INPUT_SCRIPT="$WORK/input.script" \
    TAVROK_CAPTURE="$WORK/frames:$last" "$@"
  wait_exit 900
  [ "$EXIT_STATUS" -eq 0 ] || fail "the demo ended with status $EXIT_STATUS"
}

# Frames per second of the demo from its captures of the first and the last frame.
demo_fps() {
  local a b
  a=$(stat -c %.Y "$WORK/frames/frame_000000.png")
  b=$(stat -c %.Y "$(printf '%s/frames/frame_%06d.png' "$WORK" "$last")")
  python3 -c "print(f'{$last / ($b - $a):.3f}')"
}

# Frames per second of the replay from the driver's end-of-frame times.
replay_fps() {
  glretrace --pframe-times "$WORK/demo.trace" 2>/dev/null |
    awk -v last="$last" '/^rendering_finished/ { t[n++] = $2 }
      END { if (n <= last) exit 1; printf "%.3f\n", last / ((t[last] - t[0]) / 1e9) }'
}

start_xvfb 1280x1024x24
run_demo apitrace trace --output="$WORK/demo.trace"
best_demo=0 best_replay=0
for ((round = 1; round <= ROUNDS; round++)); do
  run_demo
  d=$(demo_fps)
  r=$(replay_fps) || fail "the replay has fewer than $FRAMES frames"
  echo "round $round: demo $d frames/s, replay $r frames/s"
  best_demo=$(python3 -c "print(max($best_demo, $d))")
  best_replay=$(python3 -c "print(max($best_replay, $r))")
done
echo "demo: $best_demo frames/s over $last frames"
echo "OpenGL replay of the same frames (glretrace): $best_replay frames/s"
echo "demo / replay: $(python3 -c "print(f'{$best_demo / $best_replay:.3f}')")"
# For reference, glretrace's own figure over the whole stream, first frame included and
# without the per-frame timing queries.
glretrace --benchmark "$WORK/demo.trace" 2>/dev/null | grep -o 'Rendered .*' || true
