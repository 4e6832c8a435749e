#!/usr/bin/env bash
# Plays a short scripted tour of the demo on a private virtual screen and records it.
#
#   bash scripts/tour.sh <folder of the built program> <output folder>
#
# Starts its own Xvfb, answers the start-up question with "windowed" (TAVROK_MSGBOX_ANSWER),
# and plays the input script scripts/tour.script on the virtual clock (TAVROK_INPUT_SCRIPT,
# TAVROK_VIRTUAL_CLOCK): idle, punch, kick, sword, a walk up and then left into the gate's
# footing until the collision warning shows, a walk down and right with the follow camera
# swinging, the free camera turned with the mouse, and the program's own Escape.  Every 10th
# presented frame is captured (TAVROK_CAPTURE); the output folder receives the captures of
# the key moments as PNG screenshots, tour.gif (all captures, scaled down) and summary.txt
# (what was done, the frame statistics, the exit status).  The last line printed names the
# folder.  A run depends on its script alone, so every run records the same pictures, on any
# machine; a slow machine only takes longer.
#
# Exit status: 0 when the program ended through Escape with status 0 and the warning was
# seen; 1 otherwise (the files written so far stay).
set -euo pipefail

[ $# -eq 2 ] || { echo "usage: $0 <bin folder> <output folder>" >&2; exit 2; }
BIN_DIR=$(cd "$1" && pwd)
mkdir -p "$2"
OUT=$(cd "$2" && pwd)
SCRIPT="$(cd "$(dirname "$0")" && pwd)/tour.script"
[ -x "$BIN_DIR/tavrok" ] || { echo "tour: no program at $BIN_DIR/tavrok" >&2; exit 2; }

CONVERT=/usr/bin/convert  # ImageMagick
EVERY=10                  # the capture interval, in presented frames
WORK=$(mktemp -d)
CAP="$WORK/frames"
XVFB_PID=""
APP_PID=""
LOG="$OUT/summary.txt"
START_SECONDS=$(date +%s.%N)

cleanup() {
  if [ -n "$APP_PID" ]; then kill "$APP_PID" 2>/dev/null || true; fi
  if [ -n "$XVFB_PID" ]; then kill "$XVFB_PID" 2>/dev/null || true; fi
  rm -rf "$WORK"
}
trap cleanup EXIT

rm -f "$OUT"/*.png "$OUT"/tour.gif "$LOG" "$OUT"/stderr.txt
note() { echo "$*" | tee -a "$LOG"; }
elapsed() { printf '%.1f' "$(echo "$(date +%s.%N) - $START_SECONDS" | bc)"; }

# shot <frame> <name> <what>: the capture of that frame as <name>.png.
shot() {
  local f
  f=$(printf '%s/frame_%06d.png' "$CAP" "$1")
  if [ -f "$f" ]; then
    cp "$f" "$OUT/$2.png"
    note "  frame $1: $2.png, $3"
  else
    note "  frame $1: not presented, no $2.png"
  fi
}

# Fraction of the pixels where the collision warning is drawn that are white.
warning_whites() {
  $CONVERT "$1" -crop 110x16+30+60 +repage -colorspace gray -threshold 90% -format '%[fx:mean]' info:
}

# --- the virtual screen and the program -----------------------------------------------------
Xvfb -displayfd 3 -noreset -screen 0 1280x1024x24 -nolisten tcp 3>"$WORK/display" 2>"$WORK/xvfb.log" &
XVFB_PID=$!
for _ in $(seq 1200); do [ -s "$WORK/display" ] && break; sleep 0.05; done
[ -s "$WORK/display" ] || { echo "tour: Xvfb not ready after 60 s" >&2; exit 1; }
DISPLAY=":$(head -n1 "$WORK/display")"
export DISPLAY
unset WAYLAND_DISPLAY

(cd "$BIN_DIR" && exec env TAVROK_MSGBOX_ANSWER=no TAVROK_FRAME_STATS=1 TAVROK_VIRTUAL_CLOCK=40 \
  TAVROK_INPUT_SCRIPT="$SCRIPT" TAVROK_CAPTURE="$CAP:$EVERY" ./tavrok) 2>"$OUT/stderr.txt" &
APP_PID=$!
note "Tavrok tour, $(date -u '+%Y-%m-%d %H:%M UTC'), display $DISPLAY, input $SCRIPT"

# The script ends the program with Escape; a slow machine takes longer, never differently.
status=""
for _ in $(seq 9000); do
  kill -0 "$APP_PID" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$APP_PID" 2>/dev/null; then
  note "the program did not reach the end of its script within 15 minutes"
  kill "$APP_PID" 2>/dev/null || true
  wait "$APP_PID" 2>/dev/null || true
  status=timeout
else
  status=0
  wait "$APP_PID" || status=$?
fi
APP_PID=""

# --- the key moments --------------------------------------------------------------------------
note "idle: the character breathes, the follow camera behind it"
shot 10 01_idle "idle"
note "punch (S), kick (D), sword (A) with sparks"
shot 30 02_punch "punch"
shot 50 03_kick "kick"
shot 70 04_sword "sword with sparks"
note "walk up (-z), under the gate"
shot 130 05_walk_up "walking up"
note "walk left (+x) into the gate's footing"
collided=0
if [ -f "$CAP/frame_000260.png" ] && [ "$(echo "$(warning_whites "$CAP/frame_000260.png") > 0.05" | bc)" = 1 ]; then
  collided=1
fi
shot 260 06_collision "walking left$([ $collided = 1 ] && echo ', COLLISIONE!!! shown' || echo ', no warning seen')"
note "walk down (+z), away from the gate, the camera swings round"
shot 290 07_walk_down "walking down"
note "walk right (-x)"
shot 320 08_walk_right "walking right"
note "free camera (C), turned with the mouse"
shot 350 09_free_camera "free camera"
shot 370 10_free_camera_turned "free camera after turning with the mouse"
note "Escape"

# --- the animation and the summary ------------------------------------------------------------
mapfile -t captured < <(ls "$CAP"/frame_*.png 2>/dev/null)
if [ ${#captured[@]} -gt 0 ]; then
  $CONVERT -delay 20 -loop 0 "${captured[@]}" -resize 320x240 -layers Optimize "$OUT/tour.gif"
fi

stats=$(grep -o 'frame statistics: .*' "$OUT/stderr.txt" || true)
note ""
note "exit status: $status"
note "collision warning seen: $([ $collided = 1 ] && echo yes || echo no)"
note "${stats:-frame statistics: none reported}"
note "frames per second: $(echo "$stats" | sed -n 's/.* \([0-9.]*\) frames per second.*/\1/p')"
note "animation: tour.gif, ${#captured[@]} frames (every ${EVERY}th presented frame)"
note "tour time: $(elapsed) s"

echo "Tour output: $OUT"
[ "$status" = 0 ] && [ $collided = 1 ]
