# Answering Yes gives a full-screen window showing the 1024 x 768 back buffer (scaled
# into the 1280 x 1024 screen, which cannot switch mode); Escape ends the program with
# status 0 and no device object left.
source "$(dirname "$0")/device_e2e.sh"
start_xvfb 1280x1024x24
start_app TAVROK_MSGBOX_ANSWER=yes TAVROK_FRAME_STATS=1 TAVROK_CAPTURE="$WORK/frames:10"
main=$(wait_window "Tavrok - by Velmor")
full_screen() { [ "$(window_size "$main")" = "1280x1024" ]; }
until_true 60 full_screen || fail "window is $(window_size "$main"), not the whole screen"
# The presented frames are the 1024 x 768 back buffer.
wait_presented "$WORK/frames"
first=$(ls "$WORK/frames" 2>/dev/null | head -n1)
[ -n "$first" ] || fail "no frame captured"
[ "$(identify -format '%wx%h' "$WORK/frames/$first")" = "1024x768" ] || fail "captured frame is not 1024x768"
# The screen shows it scaled by 1.25 into 1280 x 960 between two black bars.
black_screen() {
  screenshot "$WORK/screen.png" && screen=$(mean_of "$WORK/screen.png" "1280x1024+0+0") &&
    awk -v m="$screen" 'BEGIN { exit !(m < 0.01) }'
}
until_true 60 black_screen || fail "screen mean brightness $screen, expected black"
quit_with_escape "$main" "Escape"
expect_clean_stats
echo "ok: full screen with a 1024x768 back buffer, clean exit"
