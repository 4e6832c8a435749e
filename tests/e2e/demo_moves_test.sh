# The demo played as a person would, from the start position with the follow camera:
# A, S and D show the slash (with orange sparks), the punch and the kick, each a pose
# unlike idle; the down arrow held walks the ninja towards the camera, turns it to face
# the camera; C switches to the free camera and mouse motion turns it.  (The dust puffs
# add a faint grey to the floor, too little to tell from the walk's own motion in a
# picture; the controller test counts them.)  Frames are counted from the demo's own
# frame captures (one every 5 frames).
source "$(dirname "$0")/demo_lib.sh"
FRAMES="$WORK/frames"
BODY="380 140 270 460"   # x y w h round the ninja at the start

start_xvfb 1280x1024x24
start_demo TAVROK_CAPTURE="$FRAMES:5"
wait_frame "$FRAMES" 10 120
shot "$WORK/idle.png"
wait_frame "$FRAMES" $(( $(last_frame "$FRAMES") + 10 )) 120
shot "$WORK/idle2.png"
# Idle breathes: the attacks must change the body far more than that.
breathing=$(differ "$WORK/idle.png" "$WORK/idle2.png" $BODY)
echo "idle: $breathing pixels of the body change between two idle moments"

# pose <key> <name>: holds the key for 15 frames and checks the body against idle.
pose() {
  local at moved
  at=$(last_frame "$FRAMES")
  xdotool keydown "$1"
  wait_frame "$FRAMES" $((at + 15)) 120
  shot "$WORK/$2.png"
  xdotool keyup "$1"
  moved=$(differ "$WORK/idle.png" "$WORK/$2.png" $BODY)
  echo "$2: $moved pixels of the body differ from idle"
  [ "$moved" -gt $((breathing * 3 / 2 + 300)) ] || fail "the $2 pose looks like idle ($moved against $breathing)"
  wait_frame "$FRAMES" $(( $(last_frame "$FRAMES") + 10 )) 120
}

pose a slash
sparks=$(count "$WORK/slash.png" 250 100 550 550 "$ORANGE")
[ "$sparks" -gt 20 ] || fail "no orange sparks round the slash ($sparks)"
echo "ok: A slashes with orange sparks ($sparks spark pixels)"
pose s punch
pose d kick
[ "$(differ "$WORK/punch.png" "$WORK/kick.png" $BODY)" -gt $((breathing + 300)) ] || fail "punch and kick look the same"
echo "ok: S punches and D kicks, poses unlike idle and unlike each other"

# Walk towards the camera: the gate behind recedes and the ninja turns round (the eye
# opening of its mask shows).
gate_before=$(( $(count "$WORK/idle.png" 0 0 330 500 "$LACQUER") + $(count "$WORK/idle.png" 694 0 330 500 "$LACQUER") ))
face_before=$(count "$WORK/idle.png" 400 100 230 200 "$SKIN")
at=$(last_frame "$FRAMES")
xdotool keydown Down
# A quarter turn takes 80 frames and the full turn about 160: wait for 200.
wait_frame "$FRAMES" $((at + 200)) 300
shot "$WORK/walk.png"
xdotool keyup Down
gate_after=$(( $(count "$WORK/walk.png" 0 0 330 500 "$LACQUER") + $(count "$WORK/walk.png" 694 0 330 500 "$LACQUER") ))
face_after=$(count "$WORK/walk.png" 380 60 270 260 "$SKIN")
echo "walk: gate $gate_before -> $gate_after, face $face_before -> $face_after"
[ "$gate_after" -lt $((gate_before / 2)) ] || fail "the gate did not recede ($gate_before -> $gate_after)"
[ "$face_before" -lt 20 ] && [ "$face_after" -gt 40 ] || fail "the ninja does not face the camera ($face_before -> $face_after)"
echo "ok: the down arrow walks the ninja towards the camera, facing it"

# A short tap of C switches to the free camera.  The key is read once per frame, so a tap
# shorter than a frame can be missed, and one held for 500 ms or more switches back again:
# tap for 150 ms, as a person does, and tap again if the frame missed it.
shot "$WORK/follow.png"
switched=0
for tap in 1 2 3 4 5; do
  at=$(last_frame "$FRAMES")
  xdotool keydown c
  sleep 0.15
  xdotool keyup c
  wait_frame "$FRAMES" $((at + 5)) 120
  shot "$WORK/free.png"
  switched=$(differ "$WORK/follow.png" "$WORK/free.png" 0 100 1024 600)
  [ "$switched" -gt 30000 ] && break
done
[ "$switched" -gt 30000 ] || fail "C did not change the view ($switched pixels)"
echo "ok: C switches to the free camera ($switched pixels changed)"

# Mouse motion turns the free camera; a still mouse leaves it.
xdotool mousemove 512 384
sleep 0.5
shot "$WORK/before_turn.png"
for _ in $(seq 10); do xdotool mousemove_relative 40 0; sleep 0.1; done
sleep 0.5
shot "$WORK/turned.png"
turned=$(differ "$WORK/before_turn.png" "$WORK/turned.png" 0 100 1024 600)
[ "$turned" -gt 10000 ] || fail "mouse motion did not turn the free camera ($turned pixels)"
echo "ok: mouse motion turns the free camera ($turned pixels changed)"

end_demo
echo "ok: moves in $(frames_presented) frames"
