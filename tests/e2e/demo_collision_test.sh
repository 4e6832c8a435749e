# Running into the level, played by the input script demo_collision.script on the virtual
# clock: from the start, 100 frames up the screen (towards the gate) and then left, the
# level ray meets the footing of the gate's right post within reach and the collision
# models touch, so "COLLISIONE!!!" shows in white at (30, 60) and the step is undone, frame
# after frame while the key is held.  The character stops: once the follow camera has ended
# its swing round it, the level stands still on the screen, where a walking character's
# level slides past.  Every 5th frame is captured and looked at by its number.
source "$(dirname "$0")/demo_lib.sh"

# White text pixels in the region of the collision line.
collision_text() { count "$1" 25 50 190 40 "$WHITE"; }
# Pixels of the level to both sides of the character that changed between two frames.
beside() { echo $(( $(differ "$(frame $1)" "$(frame $2)" 0 80 360 600) + $(differ "$(frame $1)" "$(frame $2)" 664 80 360 600) )); }

start_xvfb 1280x1024x24
run_script "$(dirname "$0")/demo_collision.script" 5
echo "ok: the script played in $(frames_presented) frames"
[ "$(collision_text "$(frame 15)")" -lt 10 ] || fail "collision text before any movement"

# Up, frames 20 to 120: the level slides past on both sides of the character.
walking=$(beside 40 90)
[ "$walking" -gt 1000 ] || fail "the level did not slide past the walking character ($walking pixels)"
echo "ok: walking up, $walking pixels of the level beside the character changed in 50 frames"

# Left from frame 120: the wall comes about 50 frames later; allow four times as many.
hit=""
for n in $(seq 125 5 320); do
  [ "$(collision_text "$(frame $n)")" -gt 60 ] && { hit=$n; break; }
done
[ -n "$hit" ] || fail "no \"COLLISIONE!!!\" within 200 frames of walking left"
echo "ok: \"COLLISIONE!!!\" at frame $hit, $((hit - 120)) frames after turning left"

# Held on, the character stays against the post: the text shows in later frames too.
for n in $((hit + 20)) 500 770; do
  [ "$(collision_text "$(frame $n)")" -gt 60 ] || fail "the collision text went at frame $n while the key was held"
done
echo "ok: the character is held back while walking into the post"

# The camera's offset swings round behind the character for 400 frames after the turn and
# then sinks for about 175 more; from then on only the character's own limbs move on the
# screen while it stands still.
held=$(beside 740 770)
[ "$held" -lt 200 ] || fail "the level moved beside the character held at the post ($held pixels)"
echo "ok: the character stops at the post ($held pixels of the level beside it changed in 30 frames)"
