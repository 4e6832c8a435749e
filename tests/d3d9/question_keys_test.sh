# The real start-up question box: it appears with its caption and shows text; Escape on
# it answers No (a window with a 1024 x 768 client area), Return answers Yes (the
# display covered full screen).
source "$(dirname "$0")/device_e2e.sh"

# xdotool's --name search does not see the message box's title, so compare names.
box_shown() {
  kill -0 "$APP_PID" 2>/dev/null || fail "program exited before the question"
  for box in $(xdotool search --onlyvisible "" 2>/dev/null); do
    [ "$(xdotool getwindowname "$box" 2>/dev/null)" = "Apertura Applicazione" ] && return 0
  done
  return 1
}

# Dark pixels (text) inside the box's window on the screen now.
box_text() {
  screenshot "$WORK/box.png" || return 1
  eval "$(xdotool getwindowgeometry --shell "$1")" || return 1
  dark=$($CONVERT "$WORK/box.png" -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" -colorspace Gray -threshold 50% \
          -format "%[fx:int((1-mean)*w*h)]" info:) || return 1
  [ "$dark" -gt 100 ]
}

answer() {  # answer <key>: waits for the box, checks it shows text, presses the key
  dark=0
  until_true 60 box_shown || fail "no question box"
  # The box paints its text once it is mapped; a busy machine may take a while.
  until_true 60 box_text "$box" || fail "the question box shows no text ($dark dark pixels)"
  xdotool windowfocus --sync "$box" 2>/dev/null || true
  xdotool key --window "$box" "$1"
}

start_xvfb 1280x1024x24
start_app
answer Escape
main=$(wait_window "Tavrok - by Velmor")
windowed() { [ "$(window_size "$main")" = "1024x768" ]; }
until_true 60 windowed || fail "after No the client area is $(window_size "$main")"
quit_with_escape "$main" "No and Escape"

start_app
answer Return
main=$(wait_window "Tavrok - by Velmor")
full_screen() { [ "$(window_size "$main")" = "1280x1024" ]; }
until_true 60 full_screen || fail "after Yes the window is $(window_size "$main")"
quit_with_escape "$main" "Yes and Escape"
echo "ok: the question box answered from the keyboard"
