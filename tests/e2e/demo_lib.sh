# Helpers for the demo's end-to-end tests, on top of lib.sh: the program played by an input
# script on the virtual clock (run_script), screenshots of its window, and pixel counts by
# colour in a region.  Checks of runs count presented frames, never seconds.
E2E_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
source "$E2E_DIR/lib.sh"

TITLE="Tavrok - by Velmor"
MAIN=""

# shot <file>: the window's client area as a PNG.
shot() { import -window "$MAIN" "$1" 2>/dev/null || fail "no screenshot of the window"; }

# count <png> <x> <y> <w> <h> <test>: about how many pixels of the region pass <test>, a Python
# expression over r, g, b (0-255).
count() {
  local png="$1" x="$2" y="$3" w="$4" h="$5" test="$6"
  # Every other pixel each way: a quarter of the pixels, counted four times faster.
  PYTHONPATH="$E2E_DIR" python3 -c "
from frames import region
pixels, _, _ = region('$png', $x, $y, $w, $h)
n = 0
for i in range(0, len(pixels) - 2, 3):
    r, g, b = pixels[i], pixels[i + 1], pixels[i + 2]
    if $test: n += 1
print(n)"
}

# Colour classes of the demo's picture.
NINJA='r < 70 and g < 70 and b < 90 and b >= r'            # the dark blue-black costume
LACQUER='r > 120 and g < 70 and b < 60'                      # the red gate and belt
WHITE='r > 225 and g > 225 and b > 225'                      # the screen text
ORANGE='r > 200 and 90 < g < 200 and b < 90'                 # sword sparks

# Unattended runs: on the virtual clock every presented frame is 40 ms, and the input
# script is the only input, so a run is a function of its script: the same frames come out
# on any machine, however fast it renders.
STEP_MS=40
FRAMES="$WORK/frames"

# run_script <script file> <N> [VAR=value...]: runs the demo windowed until its script ends
# it, capturing every Nth frame into $FRAMES; fails unless it exits with status 0 and every
# device object released.
run_script() {
  local script every="$2"
  script="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"  # the program runs in its own folder
  shift 2
  start_app TAVROK_MSGBOX_ANSWER=no TAVROK_FRAME_STATS=1 TAVROK_VIRTUAL_CLOCK=$STEP_MS \
    TAVROK_INPUT_SCRIPT="$script" TAVROK_CAPTURE="$FRAMES:$every" "$@"
  wait_exit 900
  [ "$EXIT_STATUS" -eq 0 ] || fail "exit status $EXIT_STATUS at the end of the script"
  grep -q "frame statistics: .* 0 live device objects" "$WORK/stderr.txt" ||
    fail "no frame statistics with every device object released"
}

# The capture of frame n.
frame() { printf '%s/frame_%06d.png\n' "$FRAMES" "$1"; }

# Ends the demo with a close request, as a window manager sends it (WM_DELETE_WINDOW), and
# checks that it leaves with status 0 and no live objects.  (Escape ends the scripted runs.)
end_demo() {
  "$TAVROK_TOOLS_DIR/xclose" "$MAIN" || fail "xclose failed"
  wait_exit 60
  [ "$EXIT_STATUS" -eq 0 ] || fail "exit status $EXIT_STATUS after the close request"
  grep -q "frame statistics: .* 0 live device objects" "$WORK/stderr.txt" ||
    fail "no frame statistics with every device object released"
}

# Frames the demo presented, from its statistics (after end_demo).
frames_presented() { sed -n 's/.*frame statistics: \([0-9]*\) frames.*/\1/p' "$WORK/stderr.txt"; }

SKIN='r > 70 and r - b > 30 and b < g < r - 12'              # the eye opening of the mask

# The number of the last frame the demo captured (it must run with TAVROK_CAPTURE=<dir>:<n>).
last_frame() {
  local f
  f=$(ls "$1" 2>/dev/null | tail -n1)
  [ -n "$f" ] || { echo -1; return; }
  f=${f#frame_}; f=${f%.png}
  echo $((10#$f))
}

# wait_frame <dir> <n> <seconds>: waits until frame n or later was captured.
wait_frame() {
  local start=$SECONDS
  while [ "$(last_frame "$1")" -lt "$2" ]; do
    kill -0 "$APP_PID" 2>/dev/null || fail "the demo exited"
    [ $((SECONDS - start)) -lt "$3" ] || fail "frame $2 not reached in $3 s (at $(last_frame "$1"))"
    sleep 0.05
  done
}
