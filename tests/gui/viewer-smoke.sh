#!/usr/bin/env bash
# Starts the viewer under a virtual X server, waits until its main window is
# mapped, checks its size and takes a screenshot of the screen.
# Usage: viewer-smoke.sh VIEWER SCREENSHOT.png
# Exits 77 (skipped) when the X tools are not installed.
set -euo pipefail

viewer=$(realpath "$1")
shot=$(realpath -m "$2")

for tool in xvfb-run xwininfo import; do
  if ! command -v "$tool" >/dev/null; then
    echo "skipped: $tool is not installed (scripts/install-deps installs it)"
    exit 77
  fi
done

# The viewer writes its log into the working directory.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The viewer keeps its remembered choices there too, not in the user's.
export XDG_CONFIG_HOME="$work/config"
export VIEWER="$viewer" SHOT="$shot" WORK="$work"
run_under_xvfb() {
  xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  set -u
  cd "$WORK"
  # Exit 3 when the server did not come up (xvfb-run -a can pick a display
  # that another starting server takes at the same moment).
  for _ in $(seq 1 50); do
    xwininfo -root >/dev/null 2>&1 && break
    sleep 0.1
  done
  xwininfo -root >/dev/null 2>&1 || exit 3
  "$VIEWER" &
  pid=$!
  found=""
  for _ in $(seq 1 100); do
    if ! kill -0 "$pid" 2>/dev/null; then
      echo "the viewer ended before its window appeared"
      wait "$pid"
      exit 1
    fi
    found=$(xwininfo -root -tree | grep "\"MainWindow\"" || true)
    [ -n "$found" ] && break
    sleep 0.2
  done
  if [ -z "$found" ]; then
    echo "no window \"MainWindow\" after 20 s"
    kill "$pid"
    exit 1
  fi
  echo "window: $found"
  sleep 1  # let it paint
  status=0
  import -window root "$SHOT" || status=1
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  if ! echo "$found" | grep -q "1090x697"; then
    echo "the window is not 1090x697"
    status=1
  fi
  if ! grep -q "PanController" vemraLogic.log 2>/dev/null; then
    echo "the controller wrote no log"
    status=1
  fi
  exit $status
'
}

status=3
for attempt in 1 2 3; do
  status=0
  run_under_xvfb || status=$?
  [ "$status" -ne 3 ] && break
  echo "attempt $attempt: the virtual X server did not start"
  sleep 1
done
[ "$status" -eq 0 ] || exit "$status"
test -s "$shot"
echo "screenshot: $shot"
