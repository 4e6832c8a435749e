#!/usr/bin/env bash
# with_xvfb.sh <command> [args...]: runs a command on a private Xvfb and exits with its status.
# Xvfb picks a free display number itself (-displayfd), so tests running side by side never
# race for one, and -noreset keeps the server up between the command's connections (a server
# that resets when its last client leaves drops the next client that connects meanwhile).
set -uo pipefail
fd_file=$(mktemp)
Xvfb -displayfd 3 -noreset -screen 0 1280x1024x24 -nolisten tcp 3>"$fd_file" 2>/dev/null &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null; rm -f "$fd_file"' EXIT
for _ in $(seq 1200); do
  [ -s "$fd_file" ] && break
  kill -0 "$xvfb" 2>/dev/null || { echo "with_xvfb: Xvfb exited before it was ready" >&2; exit 1; }
  sleep 0.05
done
[ -s "$fd_file" ] || { echo "with_xvfb: Xvfb not ready after 60 s" >&2; exit 1; }
DISPLAY=":$(head -n1 "$fd_file")" "$@"
