# The main window: title and outer size, and Escape ending the program with status 0.
source "$(dirname "$0")/lib.sh"
start_xvfb
start_app TAVROK_MSGBOX_ANSWER=no TAVROK_CAPTURE="$WORK/frames:1000000"
id=$(wait_window "Tavrok - by Velmor")
size=$(window_size "$id")
[ "$size" = "1024x768" ] || fail "window is $size, expected 1024x768"
[ "$(xdotool search --name '^Tavrok - by Velmor$' | wc -l)" -eq 1 ] || fail "more than one window"
# Once it renders, Escape as a user would press it.
wait_presented "$WORK/frames"
xdotool key --window "$id" Escape 2>/dev/null || true
wait_exit
[ "$EXIT_STATUS" -eq 0 ] || fail "exit status $EXIT_STATUS after Escape"
echo "ok: window 1024x768, Escape exits with 0"
