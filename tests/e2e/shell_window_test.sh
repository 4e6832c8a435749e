# The main window: title and outer size, and Escape ending the program with status 0.
source "$(dirname "$0")/lib.sh"
start_xvfb
start_app TAVROK_MSGBOX_ANSWER=no
id=$(wait_window "Tavrok - by Velmor")
size=$(window_size "$id")
[ "$size" = "1024x768" ] || fail "window is $size, expected 1024x768"
[ "$(xdotool search --name '^Tavrok - by Velmor$' | wc -l)" -eq 1 ] || fail "more than one window"
# Let it render a moment, then press Escape as a user would.
sleep 0.5
xdotool key --window "$id" Escape 2>/dev/null || true
wait_exit 10
[ "$EXIT_STATUS" -eq 0 ] || fail "exit status $EXIT_STATUS after Escape"
echo "ok: window 1024x768, Escape exits with 0"
