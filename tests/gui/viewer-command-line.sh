#!/usr/bin/env bash
# The viewer's command line: --help and --version print and exit 0 without a
# display; an unknown option or too many names exit 2 with the usage text
# (Qt starts first, on its offscreen platform here).
# Usage: viewer-command-line.sh VIEWER
set -uo pipefail

viewer=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
export XDG_CONFIG_HOME="$work/config"
failures=0

# expect CODE PATTERN STREAM ARGS...: the exit code and a line of stdout or
# stderr matching PATTERN.
expect() {
  local code=$1 pattern=$2 stream=$3
  shift 3
  local status=0
  "$viewer" "$@" >out.txt 2>err.txt || status=$?
  if [ "$status" -ne "$code" ]; then
    echo "FAIL: panorama-viewer $* exited $status, not $code"
    cat out.txt err.txt
    failures=$((failures + 1))
  elif ! grep -q -- "$pattern" "$stream"; then
    echo "FAIL: panorama-viewer $* printed no \"$pattern\" on ${stream%.txt}"
    cat out.txt err.txt
    failures=$((failures + 1))
  else
    echo "ok: panorama-viewer $* -> $status"
  fi
}

(
  unset DISPLAY WAYLAND_DISPLAY
  export QT_QPA_PLATFORM=none-such  # no platform is needed for these
  expect 0 '^usage: panorama-viewer \[--help\] \[--version\] \[PANORAMA\] \[SOUNDDIR\]' out.txt --help
  expect 0 '^usage: panorama-viewer' out.txt -h
  expect 0 '^panorama-viewer [0-9]*\.[0-9]*\.[0-9]*$' out.txt --version
  expect 0 '^OpenCV ' out.txt --version
  expect 0 '^usage: panorama-viewer' out.txt --bogus --help
  exit $failures
) || failures=$?

export QT_QPA_PLATFORM=offscreen
expect 2 '^panorama-viewer: unknown option --bogus$' err.txt --bogus
expect 2 '^usage: panorama-viewer' err.txt --bogus
expect 2 '^panorama-viewer: too many arguments (3)' err.txt a.xml sound extra
test ! -e vemraLogic.log || { echo "FAIL: a refused command line started the controller"; failures=$((failures + 1)); }

echo "$failures failed"
[ "$failures" -eq 0 ]
