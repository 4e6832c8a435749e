# Input end to end: real X key and pointer events through SDL, DirectInput and the input
# module.  Keys held with xdotool read as down through IsKeyDown; relative pointer motion
# sets the free camera's yaw and pitch rates at 0.002 rad per mickey; taking the focus
# away loses the keyboard (DIERR_INPUTLOST, keys read up) and giving it back re-acquires.
source "$(dirname "$0")/../e2e/lib.sh"
PROBE="$1"
OUT="$WORK/out.txt"
start_xvfb
"$PROBE" >"$OUT" 2>"$WORK/stderr.txt" &
APP_PID=$!

# Waits until the probe's output has a line matching $1 after line $2 (default 0).
wait_line() {
  local pattern="$1" from="${2:-0}"
  for _ in $(seq 600); do
    tail -n +"$((from + 1))" "$OUT" | grep -qE "$pattern" && return 0
    kill -0 "$APP_PID" 2>/dev/null || fail "probe exited; output: $(cat "$OUT")"
    sleep 0.05
  done
  fail "no line /$pattern/ in the probe's output: $(tail -n +"$((from + 1))" "$OUT")"
}
mark() { wc -l <"$OUT"; }

wait_line "^init ok, watcher acquire DI_OK"
main=$(wait_window "input probe")
other=$(xdotool search --name '^other window$' | head -n1)

# Keys: held keys read down, together; released ones read up again.
m=$(mark); xdotool keydown Up;    wait_line "^keys up=1 down=0 left=0 right=0 a=0" "$m"
m=$(mark); xdotool keydown a;     wait_line "^keys up=1 down=0 left=0 right=0 a=1 s=0" "$m"
m=$(mark); xdotool keyup Up a;    wait_line "^keys up=0 down=0 left=0 right=0 a=0 s=0 d=0 e=0 c=0" "$m"
for key in Down:down Left:left Right:right s:s d:d e:e c:c; do
  m=$(mark); xdotool keydown "${key%%:*}"; wait_line " ${key##*:}=1" "$m"
  m=$(mark); xdotool keyup "${key%%:*}";   wait_line " ${key##*:}=0" "$m"
done
echo "ok: held keys read down through IsKeyDown"

# Mouse: the rates of all ticks that turned add up to 0.002 per mickey.
sum_rates() { tail -n +"$(($1 + 1))" "$OUT" | awk '/^rates/{y+=$3; p+=$5} END{printf "%.4f %.4f\n", y, p}'; }
# rates_reach <mark> <sums>: the rates since the mark add up to the sums, once the probe's
# ticks have taken in all the motion.
rates_reach() { [ "$(sum_rates "$1")" = "$2" ]; }
m=$(mark); xdotool mousemove_relative 10 0
until_true 30 rates_reach "$m" "0.0200 0.0000" || fail "10 mickeys right gave rates $(sum_rates "$m")"
m=$(mark); xdotool mousemove_relative -- -3 -7
until_true 30 rates_reach "$m" "-0.0060 -0.0140" || fail "(-3,-7) mickeys gave rates $(sum_rates "$m")"
m=$(mark); sleep 0.2
[ "$(sum_rates "$m")" = "0.0000 0.0000" ] || fail "a still mouse kept turning: $(sum_rates "$m")"
tail -n +"$((m + 1))" "$OUT" | grep -q '^rates' && fail "a still mouse printed rates"
echo "ok: pointer motion sets the free camera's yaw and pitch rates"

# Focus loss: the device reports the loss, cannot be acquired from the background, and
# keys read up; with the focus back it is acquired again and keys read down.
m=$(mark); xdotool windowfocus --sync "$other"
wait_line "^watcher read DIERR_INPUTLOST" "$m"
wait_line "^watcher acquire DIERR_OTHERAPPHASPRIO" "$m"
m=$(mark); xdotool keydown Left; sleep 0.3
tail -n +"$((m + 1))" "$OUT" | grep -q ' left=1' && fail "a key read down while the window was in the background"
xdotool keyup Left
m=$(mark); xdotool windowfocus --sync "$main"
wait_line "^watcher acquire DI_OK" "$m"
m=$(mark); xdotool keydown Right; wait_line " right=1" "$m"
xdotool keyup Right
m=$(mark); xdotool mousemove_relative 5 0
until_true 30 rates_reach "$m" "0.0100 0.0000" || fail "the mouse did not come back after the focus: $(sum_rates "$m")"
echo "ok: focus loss gives DIERR_INPUTLOST and the devices are re-acquired"

xdotool key Escape
wait_exit
[ "$EXIT_STATUS" -eq 0 ] || fail "probe exit status $EXIT_STATUS"
grep -q '^ERROR' "$OUT" && fail "input reported errors: $(grep '^ERROR' "$OUT")"
echo "ok: input end to end"
