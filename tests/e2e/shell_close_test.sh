# Closing the window as a window manager does (WM_DELETE_WINDOW) ends the program cleanly.
source "$(dirname "$0")/lib.sh"
start_xvfb
start_app TAVROK_MSGBOX_ANSWER=no TAVROK_CAPTURE="$WORK/frames:1000000"
id=$(wait_window "Tavrok - by Velmor")
wait_presented "$WORK/frames"
"$TAVROK_TOOLS_DIR/xclose" "$id" || fail "xclose failed"
wait_exit
[ "$EXIT_STATUS" -eq 0 ] || fail "exit status $EXIT_STATUS after the close request"
if grep -q -i -E "error|fault|abort" "$WORK/stderr.txt"; then fail "unexpected diagnostics"; fi
echo "ok: close request exits with 0"
