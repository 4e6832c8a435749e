#!/bin/bash
# Where the start-up goes: the program's start-up steps timed one by one on the real
# device under a private Xvfb (startup_steps).  demo_bench.sh measures the program's own
# time to its first Present.
#
#   bench/app/startup_bench.sh <build folder> [<baseline build folder>] [runs]
#
# Each build runs once untimed first, so that Mesa's on-disk shader cache holds its
# programs as it does on any start but the very first; then the builds take turns, run by
# run, so that both see the same load.  Prints the median of each step over the runs (5
# by default), and with a baseline both medians side by side with their ratio.
set -euo pipefail
BUILD=${1:?build folder}
BASE=${2:-}
RUNS=${3:-5}
HERE=$(dirname "$0")
OUT=$(mktemp -d)
trap 'rm -rf "$OUT"' EXIT

run() {  # run <build folder> <output file>
  TAVROK_MSGBOX_ANSWER=no bash "$HERE/../../tests/e2e/with_xvfb.sh" "$1/bench/app/startup_steps" >"$2" 2>/dev/null ||
    { echo "startup_bench: startup_steps of $1 failed" >&2; exit 1; }
}

builds=("$BUILD")
[ -n "$BASE" ] && builds=("$BASE" "$BUILD")
echo "load before: $(uptime)"
for b in "${!builds[@]}"; do run "${builds[$b]}" "$OUT/warm.$b"; done
for r in $(seq "$RUNS"); do
  for b in "${!builds[@]}"; do run "${builds[$b]}" "$OUT/run.$b.$r"; done
done
echo "load after:  $(uptime)"

python3 - "$OUT" "${#builds[@]}" "${builds[@]}" <<'EOF'
import glob, re, statistics, sys
out, count, names = sys.argv[1], int(sys.argv[2]), sys.argv[3:]
tables = []
for b in range(count):
    steps, order = {}, []
    for path in sorted(glob.glob(f"{out}/run.{b}.*")):
        for line in open(path):
            m = re.match(r"(\S.*?)\s+(-?\d+\.\d+)(\s+-?\d+\.\d+%)?\s*$", line)
            if not m:
                continue
            if m.group(1) not in steps:
                order.append(m.group(1))
            steps.setdefault(m.group(1), []).append(float(m.group(2)))
    tables.append((order, {k: statistics.median(v) for k, v in steps.items()}))
runs = len(glob.glob(f"{out}/run.0.*"))
if count == 1:
    print(f"median of {runs} runs, ms")
    for step in tables[0][0]:
        print(f"{step:36s} {tables[0][1][step]:9.1f}")
    sys.exit(0)
print(f"median of {runs} runs each, ms; baseline {names[0]}, this build {names[1]}")
print(f"{'step':36s} {'baseline':>9s} {'this':>9s} {'this/base':>9s}")
for step in tables[1][0] + [s for s in tables[0][0] if s not in tables[1][1]]:
    base, this = tables[0][1].get(step), tables[1][1].get(step)
    cell = lambda v: f"{v:9.1f}" if v is not None else f"{'-':>9s}"
    ratio = f"{this / base:9.2f}" if base and this is not None else f"{'-':>9s}"
    print(f"{step:36s} {cell(base)} {cell(this)} {ratio}")
EOF
