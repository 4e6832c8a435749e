# On a Wayland desktop (here Weston, nested in a private Xvfb) with no X display for the
# program and no helper program to show SDL's Wayland box (zenity), the start-up question is
# answered as closing the box would, No, in one diagnostic line; the demo then runs windowed
# on Wayland until its input script ends it.
source "$(dirname "$0")/lib.sh"
start_xvfb 1280x1024x24
mkdir -m 700 "$WORK/xdg"
XDG_RUNTIME_DIR="$WORK/xdg" weston --backend=x11-backend.so --socket=tavrok-wayland --width=1100 \
  --height=900 --idle-time=0 >"$WORK/weston.log" 2>&1 &
WESTON_PID=$!
trap 'kill "$WESTON_PID" 2>/dev/null; cleanup_e2e' EXIT
wayland_up() { [ -S "$WORK/xdg/tavrok-wayland" ]; }
until_true 60 wayland_up || fail "Weston did not start: $(cat "$WORK/weston.log")"

printf '# Escape after 20 frames\n20 down Escape\n' >"$WORK/escape.script"
(unset DISPLAY; XDG_RUNTIME_DIR="$WORK/xdg" WAYLAND_DISPLAY=tavrok-wayland start_app TAVROK_VIRTUAL_CLOCK=40 \
  TAVROK_INPUT_SCRIPT="$WORK/escape.script" TAVROK_FRAME_STATS=1 TAVROK_CAPTURE="$WORK/frames:10"; wait "$APP_PID") ||
  fail "exit status $? on Wayland without a box"
box='^win32: MessageBoxA "Apertura Applicazione" cannot show its box \(.+\): answered 7 as closing it would$'
[ "$(grep -cE "$box" "$WORK/stderr.txt")" -eq 1 ] || fail "not one line saying the box could not be shown"
grep -qE "^d3d9: frame statistics: 20 frames presented .*, 0 live device objects$" "$WORK/stderr.txt" ||
  fail "no frame statistics of 20 frames with every device object released"
# Every other line is the program's own, or libdecor's note that it draws no decorations.
others=$(grep -vE "$box|^d3d9: frame statistics: |^\(INFO\) Using |plugin|decorations" "$WORK/stderr.txt" || true)
[ -z "$others" ] || fail "unexpected diagnostics: $others"
[ "$(identify -format '%wx%h' "$WORK/frames/frame_000010.png")" = "1024x768" ] || fail "no 1024 x 768 frame"
echo "ok: on Wayland with no box to show: answered No in one line, the demo ran and ended with status 0"
