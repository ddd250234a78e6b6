#!/usr/bin/env bash
# Runs the pointer test program (PointerXTest) in a real X window under a
# virtual X server, where the X server moves the pointer.
# Usage: pointer-xvfb.sh TEST_PROGRAM
# Exits 77 (skipped) when xvfb-run is not installed.
set -uo pipefail

program=$(realpath "$1")
if ! command -v xvfb-run >/dev/null; then
  echo "skipped: xvfb-run is not installed (scripts/install-deps installs it)"
  exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
export QT_QPA_PLATFORM=xcb

# xvfb-run -a can pick a display that another starting server takes at the
# same moment: try again when the program could not reach its server.
status=1
for attempt in 1 2 3; do
  status=0
  xvfb-run -a -s "-screen 0 1280x1024x24" "$program" >output.txt 2>&1 || status=$?
  cat output.txt
  if [ "$status" -eq 0 ] || ! grep -q "could not connect to display" output.txt; then
    break
  fi
  echo "attempt $attempt: the virtual X server was not reachable"
  sleep 1
done
exit "$status"
