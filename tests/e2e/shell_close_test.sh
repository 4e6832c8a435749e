# The main window: its title and outer size, one window only, and closing it as a window
# manager does (WM_DELETE_WINDOW) ending the program cleanly.  (Escape ending it is checked
# by the demo's start test.)
source "$(dirname "$0")/lib.sh"
start_xvfb
start_app TAVROK_MSGBOX_ANSWER=no TAVROK_CAPTURE="$WORK/frames:1000000"
id=$(wait_window "Tavrok - by Velmor")
size=$(window_size "$id")
[ "$size" = "1024x768" ] || fail "window is $size, expected 1024x768"
[ "$(xdotool search --name '^Tavrok - by Velmor$' | wc -l)" -eq 1 ] || fail "more than one window"
wait_presented "$WORK/frames"
"$TAVROK_TOOLS_DIR/xclose" "$id" || fail "xclose failed"
wait_exit
[ "$EXIT_STATUS" -eq 0 ] || fail "exit status $EXIT_STATUS after the close request"
if grep -q -i -E "error|fault|abort" "$WORK/stderr.txt"; then fail "unexpected diagnostics"; fi
echo "ok: window 1024x768, close request exits with 0"
