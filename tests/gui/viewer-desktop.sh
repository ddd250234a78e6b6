#!/usr/bin/env bash
# The real viewer under a virtual X server, started as a user starts it:
# with a panorama and its sound directory on the command line (the view must
# show), an arrow key (the camera turns by 2 degrees and the image changes),
# then SIGTERM; a second start with a missing panorama shows the refusal,
# opens the sound directory and ends by SIGINT. Each end must close the
# controller as the window's close button does: exit 0 and the log's last
# entry written.
# Usage: viewer-desktop.sh VIEWER SAMPLE_MAKER
# Exits 77 (skipped) when the X tools or xdotool are not installed.
set -euo pipefail

viewer=$(realpath "$1")
sampler=$(realpath "$2")

for tool in xvfb-run xwininfo import convert compare xdotool; do
  if ! command -v "$tool" >/dev/null; then
    echo "skipped: $tool is not installed (scripts/install-deps installs it)"
    exit 77
  fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$sampler" --size 660x440 --focal 4 "$work/sample" >/dev/null

# The remembered choices land in the test's directory, not the user's.
export XDG_CONFIG_HOME="$work/config"
export VIEWER="$viewer" WORK="$work"
run_under_xvfb() {
  xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  set -u
  cd "$WORK"
  rm -f vemraLogic.log
  fail() { echo "FAIL: $*"; [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null; exit 1; }
  for _ in $(seq 1 50); do
    xwininfo -root >/dev/null 2>&1 && break
    sleep 0.1
  done
  xwininfo -root >/dev/null 2>&1 || exit 3

  # Waits up to 30 s for a log entry.
  wait_log() {
    for _ in $(seq 1 300); do
      grep -q -- "$1" vemraLogic.log 2>/dev/null && return 0
      kill -0 "$pid" 2>/dev/null || fail "the viewer ended while waiting for \"$1\""
      sleep 0.1
    done
    fail "no log entry \"$1\" after 30 s"
  }
  # The number of colours in a part of the canvas: one for an empty canvas.
  canvas_part() {
    import -window root "$1.png"
    convert "$1.png" -crop 300x200+$((x + 150))+$((y + 130)) +repage "$1-part.png"
  }
  # Ends the viewer by signal $1: exit 0 and the log closed by the logger.
  end_by() {
    kill -"$1" "$pid"
    status=0
    wait "$pid" || status=$?
    [ "$status" -eq 0 ] || fail "SIG$1 ended the viewer with $status"
    [ "$(tail -n 1 vemraLogic.log)" = "$(printf "\tLogger::~Logger I'"'"'ll be back!")" ] ||
      fail "after SIG$1 the log ends with \"$(tail -n 1 vemraLogic.log)\""
    [ "$(grep -c "^	PanController::close$" vemraLogic.log)" -eq 1 ] ||
      fail "after SIG$1 the controller was not closed once"
    echo "ok: SIG$1 closed the viewer"
  }

  "$VIEWER" sample/panorama.xml sample/sound &
  pid=$!
  wait_log "PanController::openPanorama panorama has been opened sucessfully"
  wait_log "PanController::openSoundData soundData sucessfully loaded"
  id=$(xdotool search --sync --name "^MainWindow$" | head -n 1)
  eval "$(xdotool getwindowgeometry --shell "$id")"
  x=$X y=$Y
  sleep 2  # the refined view
  canvas_part before
  colours=$(convert before-part.png -format %k info:)
  [ "$colours" -gt 200 ] || fail "the canvas shows $colours colours, not the panorama"
  echo "ok: the panorama from the command line is shown ($colours colours)"

  xdotool windowfocus --sync "$id"
  xdotool key Left
  wait_log "PanController::setCameraData, azimuth=0.03491, altitude=1.57080, f=50.00000"
  sleep 2
  canvas_part after
  changed=$(compare -metric AE before-part.png after-part.png null: 2>&1 || true)
  [ "${changed%% *}" -gt 1000 ] || fail "the arrow key changed $changed pixels of the view"
  echo "ok: the left arrow turned the camera by 2 degrees ($changed pixels changed)"
  grep -q "panorama.xml" config/panorama-viewer/panorama-viewer.conf ||
    fail "the panorama is not in the recent list"
  end_by TERM

  # A panorama that cannot be opened is refused as from the File menu; the
  # sound directory still opens and the window stays up.
  rm -f vemraLogic.log
  "$VIEWER" sample/missing.xml sample/sound &
  pid=$!
  wait_log "PanController::openPanorama couldn.t open xml-File"
  wait_log "PanController::openSoundData soundData sucessfully loaded"
  sleep 1
  kill -0 "$pid" 2>/dev/null || fail "the viewer ended after a refused panorama"
  echo "ok: a refused panorama leaves the window up and the sound directory opens"
  end_by INT
  exit 0
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
exit "$status"
