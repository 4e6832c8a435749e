#!/bin/bash
# xview under a private X server: pictures of a skinned, animated file that change with
# the set and the time, one line for each thing it cannot use, failures as exit status.
# Usage: xview_test.sh <xview> <test files folder>
source "$(dirname "$0")/../e2e/lib.sh"
XVIEW=$1
FILES=$2
start_xvfb 1024x768x24

cp "$FILES/exporter_style.x" "$WORK/model.x"
bg="$WORK/bg.png"
$CONVERT -size 640x480 xc:"rgb(48,56,72)" "$bg"
differing() { compare -metric AE "$1" "$2" null: 2>&1 || true; }

shot() {  # shot <out> <args...>: runs xview --shot, stderr in $WORK/err.txt
  local out=$1
  shift
  "$XVIEW" --shot "$out" "$@" 2>"$WORK/err.txt"
}

# The rest of the first set, then the walk a quarter second in and the idle set: three
# different pictures, each showing the model over a good part of the window.
shot "$WORK/first.png" "$WORK/model.x" || fail "first picture: $(cat "$WORK/err.txt")"
[ "$(identify -format %wx%h "$WORK/first.png")" = 640x480 ] || fail "picture size"
[ "$(differing "$WORK/first.png" "$bg")" -gt 10000 ] || fail "the model is hardly drawn"
# Its texture is missing: one line naming it, drawn all the same.
[ "$(grep -vc '^(INFO)' "$WORK/err.txt")" = 1 ] || fail "expected one line: $(cat "$WORK/err.txt")"
grep -q 'skin-tone.png' "$WORK/err.txt" || fail "the line does not name the texture"

shot "$WORK/walk.png" --set Walk-Cycle --time 0.25 "$WORK/model.x" || fail "walk picture"
shot "$WORK/idle.png" --set Idle-Breath --time 0 "$WORK/model.x" || fail "idle picture"
[ "$(differing "$WORK/first.png" "$WORK/walk.png")" -gt 50 ] || fail "the walk does not move the legs"
[ "$(differing "$WORK/first.png" "$WORK/idle.png")" -gt 50 ] || fail "the idle set looks like the walk"
# The same request twice gives the same picture.
shot "$WORK/walk2.png" --set Walk-Cycle --time 0.25 "$WORK/model.x" || fail "walk picture again"
[ "$(differing "$WORK/walk.png" "$WORK/walk2.png")" = 0 ] || fail "the same pose drew differently"
# The device's indexed blending of the converted mesh draws the pose software skinning draws.
shot "$WORK/walk3.png" --blend --set Walk-Cycle --time 0.25 "$WORK/model.x" || fail "blended walk"
[ "$(differing "$WORK/walk.png" "$WORK/walk3.png")" -lt 20 ] || fail "blending drew another walk"

# Clips from a file of their own drive the model's frames of the same names, silently.
shot "$WORK/shake0.png" --clips "$FILES/clips_only.x" --set Shake "$FILES/clips.x" || fail "clips file"
shot "$WORK/shake1.png" --clips "$FILES/clips_only.x" --set Shake --time 0.003 "$FILES/clips.x" || fail "clips"
[ "$(grep -vc '^(INFO)' "$WORK/err.txt")" = 0 ] || fail "clips file: $(cat "$WORK/err.txt")"
[ "$(differing "$WORK/shake0.png" "$WORK/shake1.png")" -gt 200 ] || fail "the clips file does not move the head"
# The same poses reached other ways must be the same pictures: the walk a period (1 s) later,
# the clips on the rig without animation sets of its own (a controller xview makes), and the
# model's own sets played from the model file given as clips to the model without its sets.
shot "$WORK/walk_loop.png" --set Walk-Cycle --time 1.25 "$WORK/model.x" || fail "walk a period later"
[ "$(differing "$WORK/walk.png" "$WORK/walk_loop.png")" = 0 ] || fail "the walk does not loop with its period"
sed '/^AnimationSet/,$d' "$FILES/clips.x" > "$WORK/still_rig.x"
sed '/^AnimationSet/,$d' "$WORK/model.x" > "$WORK/still.x"
! grep -q AnimationSet "$WORK/still_rig.x" "$WORK/still.x" || fail "the sets were not taken out"
shot "$WORK/still_shake.png" --clips "$FILES/clips_only.x" --set Shake --time 0.003 "$WORK/still_rig.x" ||
  fail "clips on a rig without sets: $(cat "$WORK/err.txt")"
[ "$(differing "$WORK/shake1.png" "$WORK/still_shake.png")" = 0 ] || fail "clips on a rig without sets drew otherwise"
shot "$WORK/still_walk.png" --clips "$WORK/model.x" --set Walk-Cycle --time 0.25 "$WORK/still.x" ||
  fail "the model as clips: $(cat "$WORK/err.txt")"
[ "$(differing "$WORK/walk.png" "$WORK/still_walk.png")" = 0 ] || fail "the walk from a clips file drew otherwise"
# A skinned mesh is placed by its bones alone: moving the frame that holds it moves nothing.
sed 's/^ Frame Body-Geo {/&\n  FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 3,0,0,1;; }/' "$WORK/model.x" >"$WORK/moved.x"
grep -q '3,0,0,1;;' "$WORK/moved.x" || fail "the mesh's frame was not moved"
shot "$WORK/moved.png" --set Walk-Cycle --time 0.25 "$WORK/moved.x" || fail "moved mesh frame"
[ "$(differing "$WORK/walk.png" "$WORK/moved.png")" = 0 ] || fail "the skinned mesh followed its own frame"
# A clip for a frame the model lacks: one line, the rest drawn; a damaged clips file: the
# reader's line and one naming the file, and the model drawn without its sets.
printf 'xof 0302txt 0032\nFrame Tail {}\nAnimationSet Wag {\n Animation { { Tail } AnimationKey { 2; 2; 0;3;0.0,0.0,0.0;;, 10;3;1.0,0.0,0.0;;; } }\n}\n' >"$WORK/tail.x"
shot "$WORK/tail.png" --clips "$WORK/tail.x" --set Wag "$FILES/clips.x" || fail "a clip for a missing frame stopped the file"
[ "$(grep -c "tail.x: animation of 'Tail' names no frame" "$WORK/err.txt")" = 1 ] || fail "tail: $(cat "$WORK/err.txt")"
printf 'xof 0302txt 0032\nAnimationSet Broken {\n Animation { { Head } AnimationKey { 2; 1; 0;2;0.0,0.0;;; } }\n}\n' >"$WORK/broken.x"
shot "$WORK/broken.png" --clips "$WORK/broken.x" "$FILES/clips.x" || fail "a damaged clips file stopped the model"
grep -q "broken.x: no animation sets taken from it" "$WORK/err.txt" || fail "broken clips: $(cat "$WORK/err.txt")"
[ "$(grep -vc '^(INFO)' "$WORK/err.txt")" = 2 ] || fail "broken clips: $(cat "$WORK/err.txt")"

# A set the file lacks, a bone no frame bears, a damaged file, bad usage.
if shot "$WORK/none.png" --set Dance "$WORK/model.x"; then fail "a missing set was accepted"; fi
grep -q "no animation set 'Dance'" "$WORK/err.txt" || fail "missing set: $(cat "$WORK/err.txt")"
sed 's/"Leg-R";/"Ghost";/' "$WORK/model.x" > "$WORK/ghost.x"
shot "$WORK/ghost.png" "$WORK/ghost.x" || fail "a bone without a frame stopped the file"
[ "$(grep -c "ghost.x.*mesh 'Body-Mesh': bone 'Ghost' names no frame" "$WORK/err.txt")" = 1 ] || fail "ghost bone: $(cat "$WORK/err.txt")"
printf 'xof 0302txt 0032\nFrame A {\n Mesh { 3; 1.0; }\n}\n' > "$WORK/bad.x"
if shot "$WORK/bad.png" "$WORK/bad.x"; then fail "a damaged file drew"; fi
grep -q 'bad.x:3:' "$WORK/err.txt" || fail "damaged file: $(cat "$WORK/err.txt")"
[ ! -e "$WORK/bad.png" ] || fail "a damaged file left a picture"
# The window, played by an input script on the virtual clock: the overlay names the set and
# its length; B draws the bones in yellow and orange over the model; W turns it to wireframe.
printf '3 down B\n4 up B\n6 down W\n7 up W\n9 down Escape\n' >"$WORK/keys.script"
TAVROK_VIRTUAL_CLOCK=40 TAVROK_INPUT_SCRIPT="$WORK/keys.script" TAVROK_CAPTURE="$WORK/live" \
  "$XVIEW" "$WORK/model.x" 2>"$WORK/err.txt" || fail "the viewer's window ended with status $?"
f() { printf '%s/live/frame_%06d.png' "$WORK" "$1"; }
# count <png> <fx test>: pixels passing the test
count() { $CONVERT "$1" -fx "$2" -colorspace Gray -format '%[fx:int(mean*w*h+0.5)]' info:; }
light=$($CONVERT "$(f 2)" -crop 300x16+0+4 -colorspace Gray -threshold 70% -format '%[fx:int(mean*w*h)]' info:)
[ "$light" -gt 60 ] || fail "no overlay text at the top left ($light light pixels)"
bone='r > 0.9 && g > 0.3 && b < 0.2'
[ "$(count "$(f 2)" "$bone")" -lt 5 ] || fail "bone colours before B"
[ "$(count "$(f 5)" "$bone")" -gt 20 ] || fail "no bones drawn after B"
changed=$(differing "$(f 5)" "$(f 8)")
[ "${changed%% *}" -gt 200 ] || fail "wireframe changed only ${changed%% *} pixels"

# Space plays the next set from its start, P pauses, S steps on: the first frame is the
# first set's picture and the frame after N the idle set's at 0 (below the overlay); paused
# frames are the same, and a step moves the overlay's time.
printf '3 down N\n4 up N\n6 down P\n7 up P\n10 down S\n11 up S\n13 down Escape\n' >"$WORK/keys2.script"
TAVROK_VIRTUAL_CLOCK=40 TAVROK_INPUT_SCRIPT="$WORK/keys2.script" TAVROK_CAPTURE="$WORK/live2" \
  "$XVIEW" "$WORK/model.x" 2>"$WORK/err.txt" || fail "the viewer's window ended with status $?"
g() { printf '%s/live2/frame_%06d.png' "$WORK" "$1"; }
below() { $CONVERT "$1" -crop 640x400+0+80 +repage "$2"; }  # the picture without the overlay
overlay() { $CONVERT "$1" -crop 320x40+0+0 +repage "$2"; }
below "$(g 0)" "$WORK/live_first.png"; below "$WORK/first.png" "$WORK/shot_first.png"
[ "$(differing "$WORK/live_first.png" "$WORK/shot_first.png")" = 0 ] || fail "the window's first frame is not the first set at 0"
below "$(g 3)" "$WORK/live_idle.png"; below "$WORK/idle.png" "$WORK/shot_idle.png"
[ "$(differing "$WORK/live_idle.png" "$WORK/shot_idle.png")" = 0 ] || fail "N did not start the idle set"
[ "$(differing "$(g 8)" "$(g 9)")" = 0 ] || fail "the paused frames differ"
overlay "$(g 9)" "$WORK/o9.png"; overlay "$(g 11)" "$WORK/o11.png"
[ "$(differing "$WORK/o9.png" "$WORK/o11.png")" -gt 0 ] || fail "S did not step the time"
[ "$(differing "$(g 11)" "$(g 12)")" = 0 ] || fail "the frames after a step differ while paused"

# A texture of four coloured quadrants named with doubled backslashes, in a subfolder
# spelt in another case: each colour in its own quarter of the quad (v runs down).
mkdir -p "$WORK/quad/Maps"
cp "$FILES/quadrants.x" "$WORK/quad/"
$CONVERT \( -size 32x32 xc:red xc:lime +append \) \( -size 32x32 xc:blue xc:yellow +append \) -append \
  -type truecolor BMP3:"$WORK/quad/Maps/Quadrants.BMP"
shot "$WORK/quad.png" "$WORK/quad/quadrants.x" || fail "quad picture: $(cat "$WORK/err.txt")"
[ "$(grep -vc '^(INFO)' "$WORK/err.txt")" = 0 ] || fail "quad: $(cat "$WORK/err.txt")"
pixel() {  # pixel <png> <x> <y>: r,g,b from 0 to 255
  $CONVERT "$1" -format "%[fx:int(255*p{$2,$3}.r+.5)],%[fx:int(255*p{$2,$3}.g+.5)],%[fx:int(255*p{$2,$3}.b+.5)]" info:
}
quarter() { pixel "$WORK/quad.png" "$1" "$2"; }
near() {  # near <r,g,b> <r,g,b> [within]: every channel within 40, or as given
  local IFS=, d=${3:-40}
  read -r a b c <<<"$1"
  read -r x y z <<<"$2"
  [ $(( (a-x)*(a-x) < d*d && (b-y)*(b-y) < d*d && (c-z)*(c-z) < d*d )) = 1 ]
}
near "$(quarter 300 220)" 255,0,0 || fail "top left is $(quarter 300 220), not red"
near "$(quarter 340 220)" 0,255,0 || fail "top right is $(quarter 340 220), not green"
near "$(quarter 300 260)" 0,0,255 || fail "bottom left is $(quarter 300 260), not blue"
near "$(quarter 340 260)" 255,255,0 || fail "bottom right is $(quarter 340 260), not yellow"

# A cube coloured only by its vertices (no material, no texture) under xview's light: the
# vertex colour is the diffuse colour, and the mid-grey material xview gives a mesh without
# one is the ambient colour.  A face of normal n and colour c is then c * n.L + 0.5 * 70 per
# channel (light towards (0.4, 0.8, -0.45) normalised, scene ambient 70): top red 239, front
# green 150, right blue 137, the other channels 35, up to rounding.  The faces turned away
# (white, yellow, magenta) are drawn too, with no culling, and must lose to the depth test.
# The probes lie well inside each face in xview's default view.
shot "$WORK/cube.png" "$FILES/colour_cube.x" || fail "cube picture: $(cat "$WORK/err.txt")"
[ "$(grep -vc '^(INFO)' "$WORK/err.txt")" = 0 ] || fail "cube: $(cat "$WORK/err.txt")"
cube() {  # cube <x> <y> <r,g,b> <face>
  near "$(pixel "$WORK/cube.png" "$1" "$2")" "$3" 4 || fail "$4 face is $(pixel "$WORK/cube.png" "$1" "$2"), not $3"
}
cube 310 125 239,35,35 top
cube 260 250 35,150,35 front
cube 200 330 35,150,35 "front (lower left)"
cube 410 270 35,35,137 right
# Without its normals the cube gets them from its faces: its split corners keep hard edges,
# so the picture is the same.
sed '/MeshNormals {/,/^ }/d' "$FILES/colour_cube.x" > "$WORK/bare_cube.x"
! grep -q MeshNormals "$WORK/bare_cube.x" || fail "the normals were not taken out"
shot "$WORK/bare_cube.png" "$WORK/bare_cube.x" || fail "bare cube picture: $(cat "$WORK/err.txt")"
[ "$(differing "$WORK/cube.png" "$WORK/bare_cube.png")" -lt 20 ] || fail "the cube without normals is lit otherwise"

set +e
"$XVIEW" --time 1 "$WORK/model.x" 2>/dev/null
[ $? = 2 ] || fail "--time without --shot is not bad usage"
set -e
echo PASS
