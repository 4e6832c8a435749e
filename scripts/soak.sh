#!/bin/bash
# Soak run: the demo under Xvfb for many frames with keys held in a random but repeatable
# pattern, built with sanitizers (a build folder configured with
# -DTAVROK_SANITIZE=address,undefined), watching its resident memory.
#
#   scripts/soak.sh [build folder] [frames] [pattern]
#
# Defaults: build-demo-asan, 20000 frames, pattern 1.  Prints the resident memory every few
# seconds with the frame reached, then whether the sanitizers reported anything, whether
# leaks beyond the accepted ones (tests/e2e/soak_lsan.supp) were found, and the memory
# growth after warm-up (the first tenth of the frames).  Exit status 0 when all is clean.
set -uo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build-demo-asan}
FRAMES=${2:-20000}
PATTERN=${3:-1}
export TAVROK_BIN_DIR="$BUILD/run/bin"
[ -x "$TAVROK_BIN_DIR/tavrok" ] || { echo "no program in $TAVROK_BIN_DIR" >&2; exit 2; }
source "$ROOT/tests/e2e/lib.sh"
set +e

CAPTURES="$WORK/frames"
STEP=$(( FRAMES / 40 > 0 ? FRAMES / 40 : 1 ))
last_frame() {
  local f
  f=$(ls "$CAPTURES" 2>/dev/null | tail -n1)
  [ -n "$f" ] || { echo 0; return; }
  f=${f#frame_}; f=${f%.png}
  echo $((10#$f))
}
rss_kib() { awk '/^VmRSS:/{print $2}' "/proc/$APP_PID/status" 2>/dev/null || echo 0; }

start_xvfb 1280x1024x24
export ASAN_OPTIONS="detect_leaks=1:halt_on_error=0:log_path=$WORK/asan"
export LSAN_OPTIONS="suppressions=$ROOT/tests/e2e/soak_lsan.supp:print_suppressions=1"
export UBSAN_OPTIONS="print_stacktrace=1:log_path=$WORK/ubsan"
start_app TAVROK_MSGBOX_ANSWER=no TAVROK_FRAME_STATS=1 TAVROK_CAPTURE="$CAPTURES:$STEP"
main=$(wait_window "Tavrok - by Velmor")
xdotool windowfocus --sync "$main" 2>/dev/null || true

RANDOM=$PATTERN
KEYS=(Up Down Left Right a s d e c "" "")
echo "frame rss_kib"
samples="$WORK/rss.txt"
: >"$samples"
next_sample=$SECONDS
while [ "$(last_frame)" -lt "$FRAMES" ]; do
  kill -0 "$APP_PID" 2>/dev/null || { echo "the demo exited early" >&2; break; }
  # One or two keys held for 0.2 to 2 seconds, sometimes with the mouse moving.
  k1=${KEYS[RANDOM % ${#KEYS[@]}]}
  k2=""
  [ $((RANDOM % 4)) -eq 0 ] && k2=${KEYS[RANDOM % ${#KEYS[@]}]}
  held=$(printf '%d.%d' $(( (2 + RANDOM % 18) / 10 )) $(( (2 + RANDOM % 18) % 10 )))
  [ -n "$k1$k2" ] && xdotool keydown $k1 $k2 2>/dev/null
  [ $((RANDOM % 3)) -eq 0 ] && xdotool mousemove_relative -- $((RANDOM % 81 - 40)) $((RANDOM % 41 - 20)) 2>/dev/null
  sleep "$held"
  [ -n "$k1$k2" ] && xdotool keyup $k1 $k2 2>/dev/null
  if [ $SECONDS -ge $next_sample ]; then
    echo "$(last_frame) $(rss_kib)" | tee -a "$samples"
    next_sample=$((SECONDS + 5))
  fi
done
echo "$(last_frame) $(rss_kib)" | tee -a "$samples"

xdotool key --window "$main" Escape 2>/dev/null || xdotool key Escape
wait_exit 300
echo "exit status: $EXIT_STATUS"
grep "frame statistics" "$WORK/stderr.txt"

status=0
[ "$EXIT_STATUS" -eq 0 ] || status=1
if ! ldd "$TAVROK_BIN_DIR/tavrok" | grep -q -E "libasan|libubsan"; then
  echo "the program is built without sanitizers: memory only, no error or leak checks"
fi
reports=$(cat "$WORK"/asan* "$WORK"/ubsan* 2>/dev/null; grep -E "runtime error|AddressSanitizer|LeakSanitizer" "$WORK/stderr.txt")
if echo "$reports" | grep -qE "ERROR: AddressSanitizer|runtime error"; then
  echo "sanitizer errors:"; echo "$reports" | grep -E -A12 "ERROR: AddressSanitizer|runtime error" | head -60
  status=1
else
  echo "no address or undefined-behaviour errors"
fi
if echo "$reports" | grep -q "ERROR: LeakSanitizer"; then
  echo "leaks beyond the accepted ones:"; echo "$reports" | grep -E "^(Direct|Indirect) leak|#[0-9] " | head -60
  status=1
else
  echo "no leaks beyond the accepted ones"
fi
echo "$reports" | grep -A30 "Suppressions used" | head -20

# Memory after warm-up: the samples past the first tenth of the frames.
awk -v warm=$((FRAMES / 10)) '$1 >= warm { if (!n++) first = $2; if ($2 > max) max = $2; last = $2 }
  END { if (n) printf "resident after warm-up: first %d KiB, last %d KiB, highest %d KiB, growth %.1f%%\n",
                first, last, max, 100.0 * (last - first) / first }' "$samples"
exit $status
