#!/bin/bash
# Where the start-up goes: the program's start-up steps timed one by one on the real
# device under a private Xvfb (startup_steps), three runs.  demo_bench.sh measures the
# program's own time to its first Present.
#
#   bench/app/startup_bench.sh <build folder>
set -euo pipefail
BUILD=${1:?build folder}
for run in 1 2 3; do
  echo "== run $run"
  TAVROK_MSGBOX_ANSWER=no bash "$(dirname "$0")/../../tests/e2e/with_xvfb.sh" "$BUILD/bench/app/startup_steps"
done
