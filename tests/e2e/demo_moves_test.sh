# The demo played as a person would, from the start position with the follow camera, by
# the input script demo_moves.script on the virtual clock: A, S and D show the slash (with
# orange sparks), the punch and the kick, each a pose unlike idle; the down arrow held walks
# the ninja towards the camera, turns it to face the camera and plays the walk clip, and it
# raises dust; C switches to the free camera and mouse motion turns it.  Every 5th frame is
# captured and looked at by its number.
source "$(dirname "$0")/demo_lib.sh"
BODY="380 140 270 460"   # x y w h round the ninja at the start
POSE="python3 $(dirname "$0")/pose.py"

start_xvfb 1280x1024x24
run_script "$(dirname "$0")/demo_moves.script" 5
echo "ok: the script played in $(frames_presented) frames"

# The idle clip loops every 3 seconds (75 frames) and sways the whole body; its moments over
# frames 10 to 95 are the references an attack must stand apart from.
IDLE=()
for n in $(seq 10 5 95); do IDLE+=("$(frame $n)"); done
spread=$($POSE $BODY "${IDLE[@]}")
echo "idle: ${#IDLE[@]} moments, each within $spread silhouette samples of another"

# The five captures 10 to 30 frames after frame $1.
moments() { for i in 10 15 20 25 30; do frame $(($1 + i)); done; }

# pose <frame> <name>: of the five moments after the clip's key went down at that frame, at
# least one must stand clearly apart from every idle moment.
pose() {
  local moved
  moved=$($POSE $BODY "${IDLE[@]}" -- $(moments "$1"))
  echo "$2: $moved silhouette samples from the nearest idle moment"
  [ "$moved" -gt $((spread * 2 + 500)) ] || fail "the $2 pose looks like idle ($moved against $spread)"
}

pose 100 slash
sparks=0
for f in $(moments 100); do
  n=$(count "$f" 250 100 550 550 "$ORANGE")
  [ "$n" -gt "$sparks" ] && sparks=$n
done
[ "$sparks" -gt 20 ] || fail "no orange sparks round the slash ($sparks)"
echo "ok: A slashes with orange sparks ($sparks spark pixels)"
pose 150 punch
pose 200 kick
apart=$($POSE $BODY $(moments 200) -- $(moments 150))
[ "$apart" -gt $((spread * 2 + 500)) ] || fail "punch and kick look the same ($apart against $spread)"
echo "punch: $apart silhouette samples from the nearest kick moment"
echo "ok: S punches and D kicks, poses unlike idle and unlike each other"

# Walk towards the camera: the gate behind recedes and the ninja turns round (the eye
# opening of its mask shows).  A quarter turn takes 80 frames and the full turn about 160:
# frame 450 is 200 frames into the walk.
gate() { echo $(( $(count "$1" 0 0 330 500 "$LACQUER") + $(count "$1" 694 0 330 500 "$LACQUER") )); }
gate_before=$(gate "${IDLE[0]}")
face_before=$(count "${IDLE[0]}" 400 100 230 200 "$SKIN")
gate_after=$(gate "$(frame 450)")
face_after=$(count "$(frame 450)" 380 60 270 260 "$SKIN")
echo "walk: gate $gate_before -> $gate_after, face $face_before -> $face_after"
[ "$gate_after" -lt $((gate_before / 2)) ] || fail "the gate did not recede ($gate_before -> $gate_after)"
[ "$face_before" -lt 20 ] && [ "$face_after" -gt 40 ] || fail "the ninja does not face the camera ($face_before -> $face_after)"
echo "ok: the down arrow walks the ninja towards the camera, facing it"

# The walk clip plays: within the next 30 frames (most of a stride or more) the legs swing
# far from where they were.
strides=$($POSE 380 100 270 460 "$(frame 450)" -- $(for n in 455 460 465 470 475 480; do frame $n; done))
[ "$strides" -gt $((spread * 2 + 500)) ] || fail "the walking ninja does not move its legs ($strides against $spread)"
echo "ok: the walk clip plays ($strides silhouette samples from the first moment)"

# The tap of C switches to the free camera; then the mouse turns it.
switched=$(differ "$(frame 485)" "$(frame 505)" 0 100 1024 600)
[ "$switched" -gt 30000 ] || fail "C did not change the view ($switched pixels)"
echo "ok: C switches to the free camera ($switched pixels changed)"
turned=$(differ "$(frame 505)" "$(frame 525)" 0 100 1024 600)
[ "$turned" -gt 10000 ] || fail "mouse motion did not turn the free camera ($turned pixels)"
echo "ok: mouse motion turns the free camera ($turned pixels changed)"
