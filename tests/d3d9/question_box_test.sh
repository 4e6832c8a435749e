# The start-up question (caption and text as the program passes them to MessageBoxA,
# answered No by the platform's answer switch), the window whose client area is exactly
# 1024 x 768 with the device's black frames in it, and Escape ending the program with
# status 0 and every device object released.
source "$(dirname "$0")/device_e2e.sh"
# A white root window (-wr), so that the program's black frames stand out against it.
start_xvfb 1280x1024x24 -wr
start_app TAVROK_MSGBOX_ANSWER=no TAVROK_FRAME_STATS=1
main=$(wait_window "Tavrok - by Velmor")
grep -q -F 'MessageBoxA "Apertura Applicazione" "Modalità schermo-intero? (1024x768x16)" answered 7' \
  "$WORK/stderr.txt" || fail "question caption or text not as expected"
size=$(window_size "$main")
[ "$size" = "1024x768" ] || fail "client area is $size, expected 1024x768"
# The device clears every frame to opaque black inside the window; the desktop around it
# stays white.  The first frame may come a while after the window shows.
eval "$(xdotool getwindowgeometry --shell "$main")"
black_inside() {
  screenshot "$WORK/frame.png" && inside=$(mean_of "$WORK/frame.png" "1024x768+$X+$Y") &&
    outside=$(mean_of "$WORK/frame.png" "200x200+1070+800") && awk -v m="$inside" 'BEGIN { exit !(m < 0.01) }'
}
until_true 60 black_inside || fail "window mean brightness $inside, expected black"
awk -v m="$outside" 'BEGIN { exit !(m > 0.99) }' || fail "the desktop around the window is not white ($outside)"
quit_with_escape "$main" "Escape"
expect_clean_stats
echo "ok: question text, windowed 1024x768 client, clean exit"
