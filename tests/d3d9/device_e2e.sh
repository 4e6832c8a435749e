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
