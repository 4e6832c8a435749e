# A device that cannot be created (no OpenGL 3.3 core context: Mesa is told to offer
# 2.1 only) ends the program through "Initialization Failed" with the low byte of
# E_FAIL as its exit status.
source "$(dirname "$0")/device_e2e.sh"
start_xvfb
start_app TAVROK_MSGBOX_ANSWER=no MESA_GL_VERSION_OVERRIDE=2.1
wait_exit
[ "$EXIT_STATUS" -eq 5 ] || fail "exit status $EXIT_STATUS, expected 5"
last=$(tail -n1 "$WORK/stderr.txt")
[ "$last" = "Initialization Failed" ] || fail "last line is \"$last\""
grep -q "^d3d9: CreateDevice: " "$WORK/stderr.txt" || fail "no diagnostic from CreateDevice"
echo "ok: Initialization Failed, status 5"
