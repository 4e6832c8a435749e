# device_e2e.sh - what the device's end-to-end scripts share.  The device's checks need no
# scene: the program runs from a copy of its folder with no data beside it, so every frame
# is the plain black clear.  On a failure the program is stopped at once, before the
# display goes.
source "$(dirname "${BASH_SOURCE[0]}")/../e2e/lib.sh"
mkdir -p "$WORK/run/bin"
cp "$TAVROK_BIN_DIR/tavrok" "$WORK/run/bin/"
TAVROK_BIN_DIR="$WORK/run/bin"
trap '[ -n "$APP_PID" ] && kill -9 "$APP_PID" 2>/dev/null; [ -n "${BACKDROP_PID:-}" ] && kill "$BACKDROP_PID" 2>/dev/null; cleanup_e2e' EXIT

# Mean brightness (0..1) of a rectangle of a screenshot.
mean_of() { $CONVERT "$1" -crop "$2" -colorspace Gray -format "%[fx:mean]" info:; }

# Escape on the program's window; the program must then end with status 0.
quit_with_escape() {  # quit_with_escape <window> <what came before>
  xdotool windowfocus --sync "$1" 2>/dev/null || true
  xdotool key --window "$1" Escape 2>/dev/null || true
  wait_exit
  [ "$EXIT_STATUS" -eq 0 ] || fail "exit status $EXIT_STATUS after $2"
}

# The program's last frame statistics count frames and no live device object.
expect_clean_stats() {
  grep -q -E "frame statistics: [1-9][0-9]* frames presented .*, 0 live device objects" "$WORK/stderr.txt" ||
    fail "no frame statistics with 0 live device objects"
}
