# With no way to show the start-up question (no display at all: SDL's offscreen driver, and
# neither X11 nor Wayland to put a box on), the platform answers as closing the box would,
# No, in one diagnostic line, and the demo runs windowed until its input script ends it.
source "$(dirname "$0")/lib.sh"
printf '# Escape after 20 frames\n20 down Escape\n' >"$WORK/escape.script"
(unset DISPLAY WAYLAND_DISPLAY; SDL_VIDEODRIVER=offscreen start_app TAVROK_VIRTUAL_CLOCK=40 \
  TAVROK_INPUT_SCRIPT="$WORK/escape.script" TAVROK_FRAME_STATS=1 TAVROK_CAPTURE="$WORK/frames:10"; wait "$APP_PID") ||
  fail "exit status $? without a question box"
box='^win32: MessageBoxA "Apertura Applicazione" cannot show its box \(.+\): answered 7 as closing it would$'
[ "$(grep -cE "$box" "$WORK/stderr.txt")" -eq 1 ] || fail "not one line saying the box could not be shown"
grep -qE "^d3d9: frame statistics: 20 frames presented .*, 0 live device objects$" "$WORK/stderr.txt" ||
  fail "no frame statistics of 20 frames with every device object released"
# Every other line is the program's own.
others=$(grep -vE "$box|^d3d9: frame statistics: |^\(INFO\) Using " "$WORK/stderr.txt" || true)
[ -z "$others" ] || fail "unexpected diagnostics: $others"
[ "$(identify -format '%wx%h' "$WORK/frames/frame_000010.png")" = "1024x768" ] || fail "no 1024 x 768 frame"
echo "ok: no box to show: answered No in one line, the demo ran and ended with status 0"
