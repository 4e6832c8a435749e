# Damaged data files in a private copy of the run layout: the demo never crashes, goes on as
# it does when a load fails (status 0, ended by its input script), and the platform says
# what is wrong in exactly the expected lines: one per damaged file, named as the program
# spelled it, with the position and the reason.
#
# Each run is unattended and deterministic: no display (SDL's offscreen driver), the start-up
# question answered by TAVROK_MSGBOX_ANSWER, the virtual clock, and an input script that
# closes the window after 40 frames.
source "$(dirname "$0")/lib.sh"

RUN="$TAVROK_BIN_DIR/.."
printf '# close the window after 40 frames\n40 close\n' >"$WORK/close.script"
BOX='win32: MessageBoxA "Apertura Applicazione" "Modalità schermo-intero? (1024x768x16)" answered 7 by TAVROK_MSGBOX_ANSWER'
CASES=0

# fresh_copy: $WORK/run becomes an undamaged copy of the run layout (program and data).
fresh_copy() {
  rm -rf "$WORK/run"
  mkdir -p "$WORK/run"
  cp -r "$RUN/bin" "$RUN/Data" "$RUN/Level01" "$RUN/Particle.vsh" "$WORK/run/"
}

# check <name> <expected platform lines>: runs the copy and compares its stderr, without the
# program's own processor line, with the question's line followed by the expected lines.
check() {
  local name="$1" expected="$2" status=0
  (cd "$WORK/run/bin" && unset DISPLAY WAYLAND_DISPLAY &&
    exec env SDL_VIDEODRIVER=offscreen TAVROK_MSGBOX_ANSWER=no TAVROK_VIRTUAL_CLOCK=40 \
      TAVROK_INPUT_SCRIPT="$WORK/close.script" timeout 120 ./tavrok) 2>"$WORK/stderr.txt" || status=$?
  [ "$status" -lt 124 ] || fail "$name: killed (status $status: a signal, or no end within 120 s)"
  [ "$status" -eq 0 ] || fail "$name: exit status $status, not 0"
  grep -v '^(INFO) ' "$WORK/stderr.txt" >"$WORK/got.txt" || true
  { echo "$BOX"; [ -n "$expected" ] && printf '%s\n' "$expected"; } >"$WORK/want.txt"
  diff -u "$WORK/want.txt" "$WORK/got.txt" >"$WORK/diff.txt" || fail "$name: diagnostics differ:
$(cat "$WORK/diff.txt")"
  CASES=$((CASES + 1))
}

# Intact data with no way to show the start-up question (no X11 or Wayland to put a box
# on): answered as closing the box would, No, in one line, and the demo runs windowed until
# its input script ends it.
(unset DISPLAY WAYLAND_DISPLAY; SDL_VIDEODRIVER=offscreen run_without_box)
echo "ok: no box to show: answered No in one line, the demo ran and ended with status 0"

# Damage that stops one load leaves the others to go on, so each run damages several files:
# the character file cut off where its first matrix's numbers begin (its end lies on the
# line after the last line end), the level of garbage, and no shader.
fresh_copy
cut_line=$(grep -n -m1 'FrameTransformMatrix {' "$WORK/run/Data/Ninja.x" | cut -d: -f1)
[ -n "$cut_line" ] || fail "no FrameTransformMatrix in Ninja.x"
head -n "$cut_line" "$RUN/Data/Ninja.x" >"$WORK/run/Data/Ninja.x"
head -c 2000 /dev/zero | tr '\0' 'G' >"$WORK/run/Level01/Level.x"
rm "$WORK/run/Particle.vsh"
check "truncated Ninja.x, garbage Level.x, missing Particle.vsh" \
  "dxfile: ..\\Data\\Ninja.x:$((cut_line + 1)): expected a number, found the end of the file
dxfile: ..\\Level01\\Level.x:byte 0: expected \"xof \" at the start of the file
d3dx9: ..\\Particle.vsh: cannot open the shader file"

# A cut-off texture of the character, a level of unknown objects, a particle bitmap that is
# no image.
fresh_copy
size=$(stat -c %s "$RUN/Data/ninja_hood.bmp")
head -c 100 "$RUN/Data/ninja_hood.bmp" >"$WORK/run/Data/ninja_hood.bmp"
printf 'xof 0302txt 0032\n\nhello world {{{\n' >"$WORK/run/Level01/Level.x"
printf 'this is no picture at all\n' >"$WORK/run/Data/Particle_Smoke.bmp"
check "cut-off bitmap, Level.x of unknown objects, bitmap that is no image" \
  "d3dx9: ..\\Data\\ninja_hood.bmp:byte 100: file is cut off (100 of $size bytes)
dxfile: ..\\Level01\\Level.x:3: 'hello' is not a known template
d3dx9: ..\\Data\\Particle_Smoke.bmp: not a BMP, PNG, JPEG or TGA image"

fresh_copy
version_line=$(grep -n -m1 '^vs_1_1$' "$WORK/run/Particle.vsh" | cut -d: -f1)
[ -n "$version_line" ] || fail "no vs_1_1 line in Particle.vsh"
sed -i "${version_line}s/.*/vs_1_1 garbage r99/" "$WORK/run/Particle.vsh"
check "corrupt Particle.vsh" "d3dx9: ..\\Particle.vsh:$version_line:8: unexpected 'garbage' after the shader version"

fresh_copy
rm -r "$WORK/run/Data"
check "missing Data folder" "dxfile: ..\\Data\\Ninja.x: cannot open the file
d3dx9: ..\\Data\\Particle_Smoke.bmp: cannot open: No such file or directory
d3dx9: ..\\Data\\Particle_Spare1.bmp: cannot open: No such file or directory"

echo "ok: $CASES runs with damaged data ended normally with exactly the expected diagnostics"
