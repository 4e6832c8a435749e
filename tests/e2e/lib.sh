# Shared helpers for the end-to-end tests: a private Xvfb, the program started in its run
# folder, window lookup, key input, screenshots and pixel reads.  Source it from a test.
set -euo pipefail

: "${TAVROK_BIN_DIR:?TAVROK_BIN_DIR must name the folder of the program}"
CONVERT=/usr/bin/convert
WORK=$(mktemp -d)
XVFB_PID=""
APP_PID=""

cleanup_e2e() {
  [ -n "$APP_PID" ] && kill "$APP_PID" 2>/dev/null || true
  [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null || true
  if [ -n "${KEEP_WORK:-}" ]; then echo "work folder kept: $WORK"; else rm -rf "$WORK"; fi
}
trap cleanup_e2e EXIT

fail() { echo "FAIL: $*" >&2; [ -f "$WORK/stderr.txt" ] && { echo "--- program stderr:"; cat "$WORK/stderr.txt"; } >&2; exit 1; }

# start_xvfb [screen] [Xvfb options...]: starts Xvfb on a free display (it reports the number
# itself) and exports DISPLAY.
start_xvfb() {
  local fd_file="$WORK/display" screen="${1:-1280x1024x24}"
  shift || true
  # -noreset: a server that resets when its last client leaves drops a client that connects
  # meanwhile, as the next program started on it would.
  Xvfb -displayfd 3 -noreset -screen 0 "$screen" -nolisten tcp "$@" 3>"$fd_file" 2>"$WORK/xvfb.log" &
  XVFB_PID=$!
  for _ in $(seq 1200); do
    [ -s "$fd_file" ] && break
    kill -0 "$XVFB_PID" 2>/dev/null || fail "Xvfb exited before it was ready"
    sleep 0.05
  done
  [ -s "$fd_file" ] || fail "Xvfb not ready after 60 s"
  export DISPLAY=":$(head -n1 "$fd_file")"
}

# Starts the program in its run folder; stderr goes to $WORK/stderr.txt.
start_app() {
  (cd "$TAVROK_BIN_DIR" && exec env "$@" ./tavrok) 2>"$WORK/stderr.txt" &
  APP_PID=$!
}

# Waits for a visible window with this exact title and prints its id.
wait_window() {
  local title="$1" id=""
  for _ in $(seq 1200); do
    id=$(xdotool search --onlyvisible --name "^${title}\$" 2>/dev/null | head -n1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    kill -0 "$APP_PID" 2>/dev/null || fail "program exited before showing \"$title\""
    sleep 0.05
  done
  fail "no window \"$title\""
}

# wait_presented <folder>: waits until the program (started with TAVROK_CAPTURE=<folder>:N)
# has presented its first frame, however slowly the machine renders.
wait_presented() {
  for _ in $(seq 3000); do
    [ -f "$1/frame_000000.png" ] && return 0
    kill -0 "$APP_PID" 2>/dev/null || fail "program exited before presenting a frame"
    sleep 0.1
  done
  fail "no frame presented in 300 s"
}

# until_true <seconds> <command...>: runs the command until it succeeds; false when it has
# not succeeded within the limit (a generous one: it is not a guess at the machine's speed).
until_true() {
  local limit=$(($1 * 10))
  shift
  for _ in $(seq "$limit"); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

# Waits for the program to exit (at most $1 seconds) and sets EXIT_STATUS.
wait_exit() {
  local limit="${1:-60}" status=0
  for _ in $(seq $((limit * 20))); do
    kill -0 "$APP_PID" 2>/dev/null || break
    sleep 0.05
  done
  kill -0 "$APP_PID" 2>/dev/null && fail "program still running after ${limit}s"
  wait "$APP_PID" || status=$?
  APP_PID=""
  EXIT_STATUS=$status
}

window_size() { xwininfo -id "$1" | awk '/Width:/{w=$2} /Height:/{h=$2} END{print w "x" h}'; }

screenshot() { import -window root "$1"; }

# Prints "r,g,b" (0-255) of the pixel at x,y of a PNG.
pixel() { $CONVERT "$1" -format "%[fx:int(255*p{$2,$3}.r)],%[fx:int(255*p{$2,$3}.g)],%[fx:int(255*p{$2,$3}.b)]" info:; }

# run_without_box [env assignments...]: runs the demo windowed for 20 frames of the virtual
# clock, where its start-up question cannot be shown, and checks the one line that says so
# (answered No, as closing the box would), the frame statistics and a 1024 x 768 frame.
# Lines of the program's own, and any matching $ALLOWED_LINES (an extended regex), may come
# besides.
run_without_box() {
  printf '# Escape after 20 frames\n20 down Escape\n' >"$WORK/escape.script"
  start_app TAVROK_VIRTUAL_CLOCK=40 TAVROK_INPUT_SCRIPT="$WORK/escape.script" TAVROK_FRAME_STATS=1 \
    TAVROK_CAPTURE="$WORK/frames:10" "$@"
  wait "$APP_PID" || fail "exit status $? without a question box"
  APP_PID=""
  local box='^win32: MessageBoxA "Apertura Applicazione" cannot show its box \(.+\): answered 7 as closing it would$'
  [ "$(grep -cE "$box" "$WORK/stderr.txt")" -eq 1 ] || fail "not one line saying the box could not be shown"
  grep -qE "^d3d9: frame statistics: 20 frames presented .*, 0 live device objects$" "$WORK/stderr.txt" ||
    fail "no frame statistics of 20 frames with every device object released"
  local others
  others=$(grep -vE "$box|^d3d9: frame statistics: |^\(INFO\) Using ${ALLOWED_LINES:+|$ALLOWED_LINES}" "$WORK/stderr.txt" || true)
  [ -z "$others" ] || fail "unexpected diagnostics: $others"
  [ "$(identify -format '%wx%h' "$WORK/frames/frame_000010.png")" = "1024x768" ] || fail "no 1024 x 768 frame"
}
