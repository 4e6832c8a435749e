# Running into the level: from the start, about 100 frames up the screen (towards the
# gate) and then left, the level ray meets the footing of the gate's right post within
# reach and the collision models touch, so "COLLISIONE!!!" shows in white at (30, 60)
# and the step is undone, frame after frame while the key is held.  The character stops:
# once the follow camera has ended its swing round it, the level stands still on the
# screen, where a walking character's level slides past.  Frames are counted from the
# demo's own frame captures (one every 5 frames).
source "$(dirname "$0")/demo_lib.sh"
FRAMES="$WORK/frames"

# White text pixels in the region of the collision line.
collision_text() { count "$1" 25 50 190 40 "$WHITE"; }

start_xvfb 1280x1024x24
start_demo TAVROK_CAPTURE="$FRAMES:5"
wait_frame "$FRAMES" 5 120
shot "$WORK/idle.png"
[ "$(collision_text "$WORK/idle.png")" -lt 10 ] || fail "collision text before any movement"

# Up: 80 to 120 frames put the character level with the footing (z -0.4 to -0.6).  On the
# way the level slides past on both sides of the character.
start=$(last_frame "$FRAMES")
xdotool keydown Up
grab "$FRAMES" $((start + 20)) "$WORK/walk_a.png"
grab "$FRAMES" $((start + 70)) "$WORK/walk_b.png"
wait_frame "$FRAMES" $((start + 100)) 300
xdotool keyup Up
up=$(( $(last_frame "$FRAMES") - start ))
walking=$(( $(differ "$WORK/walk_a.png" "$WORK/walk_b.png" 0 80 360 600) +
            $(differ "$WORK/walk_a.png" "$WORK/walk_b.png" 664 80 360 600) ))
[ "$walking" -gt 1000 ] || fail "the level did not slide past the walking character ($walking pixels)"
echo "ok: walked up for about $up frames; $walking pixels of the level beside the character changed"

# Left: the wall comes about 50 frames later; allow four times as many.
left_start=$(last_frame "$FRAMES")
xdotool keydown Left
seen=""
while [ "$(last_frame "$FRAMES")" -lt $((left_start + 200)) ]; do
  kill -0 "$APP_PID" 2>/dev/null || fail "the demo exited"
  latest="$FRAMES/$(ls "$FRAMES" | tail -n1)"
  if [ "$(collision_text "$latest")" -gt 60 ]; then seen="$latest"; break; fi
  sleep 0.2
done
[ -n "$seen" ] || { xdotool keyup Left; fail "no \"COLLISIONE!!!\" within 200 frames of walking left"; }
hit=$(( $(last_frame "$FRAMES") - left_start ))
echo "ok: \"COLLISIONE!!!\" after about $hit frames to the left"

# Held on, the character stays against the post: the text shows in later frames too.
at=$(last_frame "$FRAMES")
grab "$FRAMES" $((at + 20)) "$WORK/later.png"
[ "$(collision_text "$WORK/later.png")" -gt 60 ] || fail "the collision text went while the key was held"
shot "$WORK/screen.png"
[ "$(collision_text "$WORK/screen.png")" -gt 60 ] || fail "no collision text on the screen"
echo "ok: the character is held back while walking into the post"

# The camera's offset swings round behind the character for 400 frames after the turn and
# then sinks for about 175 more; from then on only the character's own limbs move on the
# screen if it stands still.
grab "$FRAMES" $((left_start + 620)) "$WORK/held_a.png"
grab "$FRAMES" $((left_start + 650)) "$WORK/held_b.png"
xdotool keyup Left
[ "$(collision_text "$WORK/held_b.png")" -gt 60 ] || fail "the collision text went while the key was held"
held=$(( $(differ "$WORK/held_a.png" "$WORK/held_b.png" 0 80 360 600) +
         $(differ "$WORK/held_a.png" "$WORK/held_b.png" 664 80 360 600) ))
[ "$held" -lt 200 ] || fail "the level moved beside the character held at the post ($held pixels)"
echo "ok: the character stops at the post ($held pixels of the level beside it changed in 30 frames)"

end_demo
echo "ok: wall run in $(frames_presented) frames"
