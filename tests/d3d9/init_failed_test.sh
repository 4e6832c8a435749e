# A device that cannot be created (no OpenGL 3.3 core context: Mesa is told to offer
# 2.1 only) ends the program through "Initialization Failed" with the low byte of
# E_FAIL as its exit status.
source "$(dirname "$0")/../e2e/lib.sh"
# The device's checks need no scene: the program runs from a copy of its folder with no
# data beside it, so every frame is the plain black clear.
mkdir -p "$WORK/run/bin"
cp "$TAVROK_BIN_DIR/tavrok" "$WORK/run/bin/"
TAVROK_BIN_DIR="$WORK/run/bin"
# On a failure the program is stopped at once, before the display goes.
trap '[ -n "$APP_PID" ] && kill -9 "$APP_PID" 2>/dev/null; cleanup_e2e' EXIT

# Mean brightness (0..1) of a rectangle of a screenshot.
mean_of() { $CONVERT "$1" -crop "$2" -colorspace Gray -format "%[fx:mean]" info:; }
start_xvfb
start_app TAVROK_MSGBOX_ANSWER=no MESA_GL_VERSION_OVERRIDE=2.1
wait_exit
[ "$EXIT_STATUS" -eq 5 ] || fail "exit status $EXIT_STATUS, expected 5"
last=$(tail -n1 "$WORK/stderr.txt")
[ "$last" = "Initialization Failed" ] || fail "last line is \"$last\""
grep -q "^d3d9: CreateDevice: " "$WORK/stderr.txt" || fail "no diagnostic from CreateDevice"
echo "ok: Initialization Failed, status 5"
