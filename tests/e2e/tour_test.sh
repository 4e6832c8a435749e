# The recorded tour that the run command plays without a screen: it ends through Escape with
# status 0 and leaves screenshots that show what was asked for, an animation and a summary.
source "$(dirname "$0")/lib.sh"

OUT="$WORK/tour"
bash "$TAVROK_SOURCE_DIR/scripts/tour.sh" "$TAVROK_BIN_DIR" "$OUT" >"$WORK/tour.log" 2>&1 ||
  { cat "$WORK/tour.log" >&2; fail "the tour failed"; }
[ "$(tail -n1 "$WORK/tour.log")" = "Tour output: $OUT" ] || fail "last line does not name the output folder"

# Screenshots: the whole window each, real renderings rather than empty frames.
shots=(01_idle 02_punch 03_kick 04_sword 05_walk_up 06_collision 07_walk_down 08_walk_right 09_free_camera
  10_free_camera_turned)
for s in "${shots[@]}"; do
  f="$OUT/$s.png"
  [ -f "$f" ] || fail "missing $s.png"
  [ "$(identify -format '%wx%h' "$f")" = "1024x768" ] || fail "$s.png is not 1024x768"
  [ "$(stat -c %s "$f")" -gt 100000 ] || fail "$s.png is too small for a rendered scene"
  # A rendered scene has many colours; a blank or single-colour window has a handful.
  [ "$($CONVERT "$f" -format '%k' info:)" -gt 1000 ] || fail "$s.png has hardly any colours"
done

# Where the tour moved the character or the camera, consecutive screenshots differ widely;
# the character is drawn large, so a real step changes tens of thousands of pixels.
changed() { compare -metric AE -fuzz 10% "$OUT/$1.png" "$OUT/$2.png" null: 2>&1 || true; }
for pair in 04_sword:05_walk_up 05_walk_up:06_collision 06_collision:07_walk_down 07_walk_down:08_walk_right \
  08_walk_right:09_free_camera 09_free_camera:10_free_camera_turned; do
  a=${pair%%:*} b=${pair#*:}
  n=$(changed "$a" "$b")
  [ "$n" -gt 50000 ] || fail "$a and $b differ in only $n pixels"
done

# Which camera: the follow camera keeps the black-clad character and the grouted floor in the
# middle of the picture; the free camera, at eye height, sees walls and flagstones there.
dark() { $CONVERT "$OUT/$1.png" -crop 160x240+432+264 +repage -colorspace gray -threshold 18% -negate -format '%[fx:int(mean*100)]' info:; }
for s in 01_idle 05_walk_up 08_walk_right; do
  [ "$(dark $s)" -ge 45 ] || fail "$s.png does not show the character in the middle ($(dark $s)% dark)"
done
for s in 09_free_camera 10_free_camera_turned; do
  [ "$(dark $s)" -lt 45 ] || fail "$s.png still looks like the follow camera ($(dark $s)% dark)"
done

# The collision warning: white text from (30, 60); the idle shot has none there.
whites() { $CONVERT "$OUT/$1.png" -crop 110x16+30+60 +repage -colorspace gray -threshold 90% -format '%[fx:int(mean*1760)]' info:; }
[ "$(whites 06_collision)" -gt 100 ] || fail "no warning text at (30, 60) in the collision shot ($(whites 06_collision) white pixels)"
[ "$(whites 01_idle)" -lt 20 ] || fail "white pixels at (30, 60) before any collision"

# The animation: a scaled-down GIF with a frame for every tenth frame presented.
gif="$OUT/tour.gif"
[ -f "$gif" ] || fail "missing tour.gif"
frames=$(identify "$gif" | wc -l)
[ "$frames" -ge 10 ] || fail "tour.gif has only $frames frames"
[ "$(identify -format '%w\n' "$gif" | head -n1)" -le 320 ] || fail "tour.gif is not scaled down"

# The summary: exit status, the warning, and the rate the platform measured.
sum="$OUT/summary.txt"
grep -qx "exit status: 0" "$sum" || fail "summary does not report exit status 0"
grep -qx "collision warning seen: yes" "$sum" || fail "summary does not report the warning"
fps=$(sed -n 's/^frames per second: \([0-9.]*\)$/\1/p' "$sum")
[ -n "$fps" ] && [ "$(echo "$fps > 0" | bc)" = 1 ] || fail "summary has no frame rate"
presented=$(sed -n 's/.*: \([0-9]*\) frames presented.*/\1/p' "$sum")
[ "$presented" -ge $(((frames - 1) * 10)) ] || fail "$presented frames presented but $frames in the animation"

echo "ok: tour with $frames animation frames at $fps frames per second"
