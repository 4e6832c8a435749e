# Answering Yes gives a full-screen window showing the 1024 x 768 back buffer (scaled
# into the 1280 x 1024 screen, which cannot switch mode); Escape ends the program with
# status 0 and no device object left.
source "$(dirname "$0")/../e2e/lib.sh"
start_xvfb 1280x1024x24
start_app TAVROK_MSGBOX_ANSWER=yes TAVROK_FRAME_STATS=1 TAVROK_CAPTURE="$WORK/frames:10"
main=$(wait_window "Tavrok - by Velmor")
for _ in $(seq 100); do
  [ "$(window_size "$main")" = "1280x1024" ] && break
  sleep 0.05
done
[ "$(window_size "$main")" = "1280x1024" ] || fail "window is $(window_size "$main"), not the whole screen"
sleep 1
# The presented frames are the 1024 x 768 back buffer.
first=$(ls "$WORK/frames" | head -n1)
[ -n "$first" ] || fail "no frame captured"
[ "$(identify -format '%wx%h' "$WORK/frames/$first")" = "1024x768" ] || fail "captured frame is not 1024x768"
# The screen shows it scaled by 1.25 into 1280 x 960, centred: all black.
screenshot "$WORK/screen.png"
for point in "640 512" "1 33" "1278 990"; do
  set -- $point
  px=$(pixel "$WORK/screen.png" "$1" "$2")
  [ "$px" = "0,0,0" ] || fail "screen pixel ($1, $2) is $px, expected black"
done
xdotool windowfocus --sync "$main" 2>/dev/null || true
xdotool key --window "$main" Escape 2>/dev/null || true
wait_exit 20
[ "$EXIT_STATUS" -eq 0 ] || fail "exit status $EXIT_STATUS after Escape"
grep -q -E "frame statistics: [1-9][0-9]* frames presented .*, 0 live device objects" "$WORK/stderr.txt" ||
  fail "no frame statistics with 0 live device objects"
echo "ok: full screen with a 1024x768 back buffer, clean exit"
