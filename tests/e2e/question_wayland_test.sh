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

# libdecor may note that it draws no window decorations.
(unset DISPLAY; XDG_RUNTIME_DIR="$WORK/xdg" WAYLAND_DISPLAY=tavrok-wayland ALLOWED_LINES="plugin|decorations" run_without_box)
echo "ok: on Wayland with no box to show: answered No in one line, the demo ran and ended with status 0"
