# The demo played as a person would, from the start position with the follow camera:
# A, S and D show the slash (with orange sparks), the punch and the kick, each a pose
# unlike idle; the down arrow held walks the ninja towards the camera, turns it to face the
# camera and plays the walk clip, and it raises dust; C switches to the free camera and
# mouse motion turns it.  Frames are the demo's own captures (one every 5 frames), counted
# by their numbers.
source "$(dirname "$0")/demo_lib.sh"
FRAMES="$WORK/frames"
BODY="380 140 270 460"   # x y w h round the ninja at the start

start_xvfb 1280x1024x24
start_demo TAVROK_CAPTURE="$FRAMES:5"
# The idle clip loops every 3 seconds and sways the whole body; its moments over a little
# more than one loop (at least 12 captures) are the references an attack must stand apart
# from.
idle_from=$(( $(last_frame "$FRAMES") + 5 ))
wait_frame "$FRAMES" "$idle_from" 120
since=$SECONDS
while [ $((SECONDS - since)) -lt 4 ] || [ "$(last_frame "$FRAMES")" -lt $((idle_from + 55)) ]; do
  wait_frame "$FRAMES" $(( $(last_frame "$FRAMES") + 5 )) 120
done
IDLE=()
for f in $(ls "$FRAMES" | awk -F'[_.]' -v n="$idle_from" '$2 + 0 >= n'); do
  cp "$FRAMES/$f" "$WORK/idle_$f"
  IDLE+=("$WORK/idle_$f")
done
spread=$(python3 "$(dirname "$0")/pose.py" $BODY "${IDLE[@]}")
echo "idle: ${#IDLE[@]} moments, each within $spread silhouette samples of another"

# pose <key> <name>: holds the key and captures five moments of its clip, 10 to 30 frames
# in; at least one of them must stand clearly apart from every idle moment.
pose() {
  local at moved
  at=$(last_frame "$FRAMES")
  xdotool keydown "$1"
  for i in 0 1 2 3 4; do grab "$FRAMES" $((at + 10 + 5 * i)) "$WORK/$2$i.png"; done
  xdotool keyup "$1"
  moved=$(python3 "$(dirname "$0")/pose.py" $BODY "${IDLE[@]}" -- "$WORK/$2"?.png)
  echo "$2: $moved silhouette samples from the nearest idle moment"
  [ "$moved" -gt $((spread * 2 + 500)) ] || fail "the $2 pose looks like idle ($moved against $spread)"
  wait_frame "$FRAMES" $(( $(last_frame "$FRAMES") + 10 )) 120
}

pose a slash
sparks=0
for i in 0 1 2 3 4; do
  n=$(count "$WORK/slash$i.png" 250 100 550 550 "$ORANGE")
  [ "$n" -gt "$sparks" ] && sparks=$n
done
[ "$sparks" -gt 20 ] || fail "no orange sparks round the slash ($sparks)"
echo "ok: A slashes with orange sparks ($sparks spark pixels)"
pose s punch
pose d kick
apart=$(python3 "$(dirname "$0")/pose.py" $BODY "$WORK"/kick?.png -- "$WORK"/punch?.png)
[ "$apart" -gt $((spread * 2 + 500)) ] || fail "punch and kick look the same ($apart against $spread)"
echo "punch: $apart silhouette samples from the nearest kick moment"
echo "ok: S punches and D kicks, poses unlike idle and unlike each other"

# Walk towards the camera: the gate behind recedes and the ninja turns round (the eye
# opening of its mask shows).
gate_before=$(( $(count "${IDLE[0]}" 0 0 330 500 "$LACQUER") + $(count "${IDLE[0]}" 694 0 330 500 "$LACQUER") ))
face_before=$(count "${IDLE[0]}" 400 100 230 200 "$SKIN")
at=$(last_frame "$FRAMES")
xdotool keydown Down
# A quarter turn takes 80 frames and the full turn about 160: wait for 200.
grab "$FRAMES" $((at + 200)) "$WORK/walk.png"
gate_after=$(( $(count "$WORK/walk.png" 0 0 330 500 "$LACQUER") + $(count "$WORK/walk.png" 694 0 330 500 "$LACQUER") ))
face_after=$(count "$WORK/walk.png" 380 60 270 260 "$SKIN")
echo "walk: gate $gate_before -> $gate_after, face $face_before -> $face_after"
[ "$gate_after" -lt $((gate_before / 2)) ] || fail "the gate did not recede ($gate_before -> $gate_after)"
[ "$face_before" -lt 20 ] && [ "$face_after" -gt 40 ] || fail "the ninja does not face the camera ($face_before -> $face_after)"
echo "ok: the down arrow walks the ninja towards the camera, facing it"

# The walk clip plays: within the next 30 frames (most of a stride or more) the legs swing
# far from where they were.
for i in 0 1 2 3 4 5; do grab "$FRAMES" $((at + 205 + 5 * i)) "$WORK/stride$i.png"; done
strides=$(python3 "$(dirname "$0")/pose.py" 380 100 270 460 "$WORK/walk.png" -- "$WORK"/stride?.png)
[ "$strides" -gt $((spread * 2 + 500)) ] || fail "the walking ninja does not move its legs ($strides against $spread)"
echo "ok: the walk clip plays ($strides silhouette samples from the first moment)"

# Dust: while an arrow is down the character raises a puff for every 200 ms of the frame
# clock.  With a second arrow held too, the character and the camera stand still (no step,
# no clip) but the puffs go on, so anything that brightens in grey round the feet is dust.
xdotool keydown Left
at=$(( $(last_frame "$FRAMES") + 10 ))
puff=$(python3 "$(dirname "$0")/puffs.py" "$FRAMES" "$at" $((at + 1000)) 262 250 500 450 300) ||
  { xdotool keyup Down Left; fail "no dust puff round the feet in 1000 frames (largest: $puff)"; }
xdotool keyup Down Left
echo "ok: walking raises dust (a puff of $puff)"

# A short tap of C switches to the free camera.  The key is read once per frame, so a tap
# shorter than a frame can be missed, and one held for 500 ms or more switches back again:
# tap for 150 ms, as a person does, and tap again if the frame missed it.
grab "$FRAMES" $(( $(last_frame "$FRAMES") + 5 )) "$WORK/follow.png"
switched=0
for tap in 1 2 3 4 5; do
  at=$(last_frame "$FRAMES")
  xdotool keydown c
  sleep 0.15
  xdotool keyup c
  grab "$FRAMES" $((at + 10)) "$WORK/free.png"
  switched=$(differ "$WORK/follow.png" "$WORK/free.png" 0 100 1024 600)
  [ "$switched" -gt 30000 ] && break
done
[ "$switched" -gt 30000 ] || fail "C did not change the view ($switched pixels)"
echo "ok: C switches to the free camera ($switched pixels changed)"

# Mouse motion turns the free camera.
grab "$FRAMES" $(( $(last_frame "$FRAMES") + 5 )) "$WORK/before_turn.png"
for _ in $(seq 10); do xdotool mousemove_relative 40 0; sleep 0.1; done
grab "$FRAMES" $(( $(last_frame "$FRAMES") + 5 )) "$WORK/turned.png"
turned=$(differ "$WORK/before_turn.png" "$WORK/turned.png" 0 100 1024 600)
[ "$turned" -gt 10000 ] || fail "mouse motion did not turn the free camera ($turned pixels)"
echo "ok: mouse motion turns the free camera ($turned pixels changed)"

end_demo
echo "ok: moves in $(frames_presented) frames"
