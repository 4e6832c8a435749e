# The demo played by the input script demo_moves.script on the virtual clock, from the start
# position with the follow camera: A slashes with orange sparks, and the down arrow held
# walks the ninja towards the camera and turns it to face the camera.  (Which clip each key
# plays is the controller tests' business; the free camera and the mouse are the tour's.)
# Every 5th frame is captured and looked at by its number.
source "$(dirname "$0")/demo_lib.sh"

start_xvfb 1280x1024x24
run_script "$(dirname "$0")/demo_moves.script" 5
echo "ok: the script played in $(frames_presented) frames"

# A went down at frame 20: the sparks fly within the next 30 frames.
sparks=0
for n in 30 35 40 45 50; do
  s=$(count "$(frame $n)" 250 100 550 550 "$ORANGE")
  [ "$s" -gt "$sparks" ] && sparks=$s
done
[ "$sparks" -gt 20 ] || fail "no orange sparks round the slash ($sparks)"
echo "ok: A slashes with orange sparks ($sparks spark pixels)"

# Walk towards the camera: the gate behind recedes and the ninja turns round (the eye
# opening of its mask shows).  A quarter turn takes 80 frames and the full turn about 160:
# frame 260 is 200 frames into the walk.
gate() { echo $(( $(count "$1" 0 0 330 500 "$LACQUER") + $(count "$1" 694 0 330 500 "$LACQUER") )); }
gate_before=$(gate "$(frame 10)")
face_before=$(count "$(frame 10)" 400 100 230 200 "$SKIN")
gate_after=$(gate "$(frame 260)")
face_after=$(count "$(frame 260)" 380 60 270 260 "$SKIN")
echo "walk: gate $gate_before -> $gate_after, face $face_before -> $face_after"
[ "$gate_after" -lt $((gate_before / 2)) ] || fail "the gate did not recede ($gate_before -> $gate_after)"
[ "$face_before" -lt 20 ] && [ "$face_after" -gt 40 ] || fail "the ninja does not face the camera ($face_before -> $face_after)"
echo "ok: the down arrow walks the ninja towards the camera, facing it"
