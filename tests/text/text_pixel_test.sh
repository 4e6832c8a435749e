# Screen text on llvmpipe: white text drawn at (81, 30) on black lands just right of and
# below that corner, stands as tall as the capitals of a 14-point (19-pixel) face, has
# antialiased (grey) edge pixels and no coloured ones, and reaches the screen.
source "$(dirname "$0")/../e2e/lib.sh"
PROBE="$1"
OUT="$WORK/out.txt"
start_xvfb
"$PROBE" >"$OUT" 2>"$WORK/stderr.txt" &
APP_PID=$!
for _ in $(seq 200); do
  grep -q '^lit' "$OUT" && break
  kill -0 "$APP_PID" 2>/dev/null || fail "probe exited: $(cat "$OUT")"
  sleep 0.05
done
read -r _ left top right bottom _ partial _ full _ grey _ wx wy < <(grep '^lit' "$OUT") || fail "no report: $(cat "$OUT")"
echo "lit box ($left,$top)-($right,$bottom), $partial partial and $full full pixels"
[ "$left" -ge 81 ] && [ "$left" -le 84 ] || fail "text starts at x=$left, expected 81..84"
[ "$top" -ge 31 ] && [ "$top" -le 37 ] || fail "text top at y=$top, expected 31..37 (cell top 30 plus the internal leading)"
height=$((bottom - top + 1))
[ "$height" -ge 13 ] && [ "$height" -le 18 ] || fail "text is $height pixels tall, expected 13..18"
width=$((right - left + 1))
[ "$width" -ge 100 ] && [ "$width" -le 200 ] || fail "text is $width pixels wide, expected 100..200"
[ "$partial" -gt 20 ] || fail "only $partial antialiased edge pixels"
[ "$full" -gt 50 ] || fail "only $full fully white pixels"
[ "$grey" -eq 1 ] || fail "coloured pixels in white text"

# The presented window shows the same: white where the probe found white, black elsewhere.
id=$(wait_window "text probe")
origin=$(xwininfo -id "$id" | awk '/Absolute upper-left X/{x=$4} /Absolute upper-left Y/{y=$4} END{print x, y}')
read -r ox oy <<<"$origin"
# The window shows the text once the probe's first present reaches the screen.
text_on_screen() { screenshot "$WORK/shot.png" && [ "$(pixel "$WORK/shot.png" $((ox + wx)) $((oy + wy)))" = "255,255,255" ]; }
until_true 60 text_on_screen || fail "no white text on screen at ($wx,$wy)"
[ "$(pixel "$WORK/shot.png" $((ox + 5)) $((oy + 5)))" = "0,0,0" ] || fail "the background is not black"
echo "ok: white antialiased text at (81, 30)"
