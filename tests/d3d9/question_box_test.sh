# The start-up question (caption and text as the program passes them to MessageBoxA,
# answered No by the platform's answer switch), the window whose client area is exactly
# 1024 x 768 with the device's black frames in it, and Escape ending the program with
# status 0 and every device object released.
source "$(dirname "$0")/../e2e/lib.sh"
start_xvfb
start_app TAVROK_MSGBOX_ANSWER=no TAVROK_FRAME_STATS=1
main=$(wait_window "Tavrok - by Velmor")
grep -q -F 'MessageBoxA "Apertura Applicazione" "Modalità schermo-intero? (1024x768x16)" answered 7' \
  "$WORK/stderr.txt" || fail "question caption or text not as expected"
sleep 1
size=$(window_size "$main")
[ "$size" = "1024x768" ] || fail "client area is $size, expected 1024x768"
# The device clears every frame to opaque black inside the window (the bare X root
# around it is not black).
screenshot "$WORK/frame.png"
eval "$(xdotool getwindowgeometry --shell "$main")"
for point in "512 384" "2 2" "1021 765"; do
  set -- $point
  px=$(pixel "$WORK/frame.png" $((X + $1)) $((Y + $2)))
  [ "$px" = "0,0,0" ] || fail "window pixel ($1, $2) is $px, expected the black clear colour"
done
xdotool windowfocus --sync "$main" 2>/dev/null || true
xdotool key --window "$main" Escape 2>/dev/null || true
wait_exit 20
[ "$EXIT_STATUS" -eq 0 ] || fail "exit status $EXIT_STATUS after Escape"
grep -q -E "frame statistics: [1-9][0-9]* frames presented .*, 0 live device objects" "$WORK/stderr.txt" ||
  fail "no frame statistics with 0 live device objects"
echo "ok: question text, windowed 1024x768 client, clean exit"
