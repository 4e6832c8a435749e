#!/usr/bin/env bash
# Plays a short scripted tour of the demo on a private virtual screen and records it.
#
#   bash scripts/tour.sh <folder of the built program> <output folder>
#
# Starts its own Xvfb, answers the start-up question with "windowed" (TAVROK_MSGBOX_ANSWER),
# and drives the window with real X input through xdotool: idle, punch, kick, sword, a walk
# in each of the four directions with the follow camera swinging, a walk into the gate's
# footing until the collision warning shows, the free camera turned with the mouse, and the
# program's own Escape.  The output folder receives PNG screenshots of the key moments,
# tour.gif (every 10th frame the program presented, scaled down) and summary.txt (what was
# done, the frame statistics, the exit status).  The last line printed names the folder.
#
# Movement in the demo is a fixed step per frame, so every walk is measured in frames, not
# seconds: the platform writes every 10th presented frame into a folder (TAVROK_CAPTURE), and
# the newest file's number is the frame counter.  Each phase also has a time limit, so a very
# slow machine shortens the tour instead of hanging it.
#
# Exit status: 0 when the program ended through Escape with status 0 and the warning was
# seen; 1 otherwise (the files written so far stay).
set -euo pipefail

[ $# -eq 2 ] || { echo "usage: $0 <bin folder> <output folder>" >&2; exit 2; }
BIN_DIR=$(cd "$1" && pwd)
mkdir -p "$2"
OUT=$(cd "$2" && pwd)
[ -x "$BIN_DIR/tavrok" ] || { echo "tour: no program at $BIN_DIR/tavrok" >&2; exit 2; }

CONVERT=/usr/bin/convert  # ImageMagick
EVERY=10                  # the capture interval, in presented frames
WORK=$(mktemp -d)
CAP="$WORK/frames"
XVFB_PID=""
APP_PID=""
WINDOW=""
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

# The number of the newest captured frame (0 before the first).
frames() {
  local newest
  newest=$(ls "$CAP" 2>/dev/null | tail -n1)
  newest=${newest#frame_}
  newest=${newest%.png}
  echo $((10#${newest:-0}))
}

running() { kill -0 "$APP_PID" 2>/dev/null; }

# Waits until the program has presented $1 more frames, at most $2 seconds.
advance() {
  local target=$(($(frames) + $1)) deadline
  deadline=$(echo "$(date +%s.%N) + $2" | bc)
  while [ "$(frames)" -lt "$target" ] && running; do
    [ "$(echo "$(date +%s.%N) > $deadline" | bc)" = 1 ] && { note "  (time limit: $(frames) frames so far)"; return 0; }
    sleep 0.1
  done
}

shot() {
  if import -window "$WINDOW" "$OUT/$1.png" 2>/dev/null; then
    note "  $(elapsed) s, frame $(frames): $1.png, ${2:-}"
  else
    note "  $(elapsed) s: no $1.png, the window is gone"
  fi
}

# Fraction of the pixels where the collision warning is drawn that are white.
warning_whites() {
  import -window "$WINDOW" -crop 110x16+30+60 +repage png:- 2>/dev/null |
    $CONVERT - -colorspace gray -threshold 90% -format '%[fx:mean]' info:
}

# Fraction of dark pixels in the middle of a screenshot: the follow camera always has the
# character (black clothes) and the grouted floor there, about 0.6 to 0.75; the free camera,
# at eye height, looks at walls and flagstones, below 0.3.
centre_dark() {
  $CONVERT "$1" -crop 160x240+432+264 +repage -colorspace gray -threshold 18% -negate -format '%[fx:mean]' info:
}

hold() { xdotool keydown "$1"; }
release() { xdotool keyup "$1"; }

# --- the virtual screen and the program -----------------------------------------------------
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$WORK/display" 2>"$WORK/xvfb.log" &
XVFB_PID=$!
for _ in $(seq 100); do [ -s "$WORK/display" ] && break; sleep 0.05; done
[ -s "$WORK/display" ] || { echo "tour: Xvfb did not start" >&2; exit 1; }
DISPLAY=":$(head -n1 "$WORK/display")"
export DISPLAY
unset WAYLAND_DISPLAY

(cd "$BIN_DIR" && exec env TAVROK_MSGBOX_ANSWER=no TAVROK_FRAME_STATS=1 TAVROK_CAPTURE="$CAP:$EVERY" ./tavrok) \
  2>"$OUT/stderr.txt" &
APP_PID=$!

for _ in $(seq 600); do
  WINDOW=$(xdotool search --onlyvisible --name '^Tavrok - by Velmor$' 2>/dev/null | head -n1 || true)
  [ -n "$WINDOW" ] && break
  running || break
  sleep 0.1
done
[ -n "$WINDOW" ] || { echo "tour: the demo's window did not appear" >&2; cat "$OUT/stderr.txt" >&2; exit 1; }
xdotool windowfocus --sync "$WINDOW" 2>/dev/null || true

note "Tavrok tour, $(date -u '+%Y-%m-%d %H:%M UTC'), display $DISPLAY, window $(xwininfo -id "$WINDOW" |
  awk '/Width:/{w=$2} /Height:/{h=$2} END{print w "x" h}')"

# --- the tour ---------------------------------------------------------------------------------
note "idle: the character breathes, the follow camera behind it"
advance 15 15
shot 01_idle "idle"

# The attack clips play while their key is held; the sword throws its first sparks at once.
note "punch (S), kick (D), sword (A) with sparks"
hold s; advance 8 8; shot 02_punch "punch"; release s
hold d; advance 8 8; shot 03_kick "kick"; release d
hold a; advance 8 8; shot 04_sword "sword with sparks"; release a

# Up and Left come first, from the start point, because they lead to the gate's right footing
# by the shortest way: the level ray test reaches 1.0 along the ray of heading code 270 (Left),
# which from z = -0.3 to -0.6 meets the footing once the character is about 0.15 right of the
# start.  Up moves 0.005 a frame, so 75 to 85 frames put the character at about z = -0.4.
note "walk up (-z), under the gate"
up_until=$(($(frames) + 80))
hold Up; advance 45 60; shot 05_walk_up "walking up"; advance $((up_until - $(frames))) 60; release Up

note "walk left (+x) towards the gate's footing until the warning shows"
collided=0
limit=$(($(frames) + 200))
deadline=$(echo "$(date +%s.%N) + 120" | bc)
hold Left
while running && [ "$(frames)" -lt "$limit" ] && [ "$(echo "$(date +%s.%N) < $deadline" | bc)" = 1 ]; do
  if [ "$(echo "$(warning_whites) > 0.05" | bc)" = 1 ]; then
    collided=1
    break
  fi
  sleep 0.3
done
shot 06_collision "walking left$([ $collided = 1 ] && echo ', COLLISIONE!!! shown' || echo ', no warning seen')"
release Left

note "walk down (+z), away from the gate, the camera swings round"
hold Down; advance 15 15; shot 07_walk_down "walking down"; release Down
note "walk right (-x)"
hold Right; advance 15 15; shot 08_walk_right "walking right"; release Right

note "free camera (C), turned with the mouse"
for _ in 1 2 3 4; do
  # Held for less than the 500 ms after which a held C switches back.
  hold c; sleep 0.4; release c
  sleep 0.3
  shot 09_free_camera "free camera"
  [ -f "$OUT/09_free_camera.png" ] || break
  [ "$(echo "$(centre_dark "$OUT/09_free_camera.png") < 0.45" | bc)" = 1 ] && break
  note "  (the frame missed the key; pressing C again)"
done
# The free camera turns while the mouse moves and stops when a frame sees no movement.
for _ in $(seq 12); do
  xdotool mousemove_relative -- 40 5
  sleep 0.1
done
shot 10_free_camera_turned "free camera after turning with the mouse"

note "Escape"
xdotool key Escape
status=""
for _ in $(seq 300); do
  running || break
  sleep 0.1
done
if running; then
  note "the program did not exit within 30 s of Escape"
  kill "$APP_PID" 2>/dev/null || true
  wait "$APP_PID" 2>/dev/null || true
  status=timeout
else
  status=0
  wait "$APP_PID" || status=$?
fi
APP_PID=""

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
