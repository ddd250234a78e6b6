#!/usr/bin/env bash
# Runs the launcher wrapper with a stand-in viewer that records its working
# directory and arguments, and checks, case by case, where the viewer runs
# and what it is given.
# Usage: launcher-wrapper.sh PATH/TO/panorama-viewer-desktop
set -euo pipefail
wrapper="$(realpath "$1")"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# The wrapper with a stand-in viewer beside it, as installed in one bin/.
mkdir -p "$work/bin" "$work/home" "$work/start/pano dir"
cp "$wrapper" "$work/bin/panorama-viewer-desktop"
cat >"$work/bin/panorama-viewer" <<'STUB'
#!/bin/sh
{ echo "cwd=$PWD"; for a in "$@"; do echo "arg=$a"; done; } >"$STUB_OUT"
STUB
chmod +x "$work/bin/panorama-viewer" "$work/bin/panorama-viewer-desktop"
touch "$work/start/pano dir/pano.xml" "$work/start/photo.jpg"
export STUB_OUT="$work/out.txt"

# Runs the wrapper from $work/start with the given environment assignments
# (KEY=VALUE, up to "--") and arguments; compares the recorded lines.
# expect NAME EXPECTED_LINES ENV... -- ARGS...
expect() {
  local name="$1" expected="$2"
  shift 2
  local env_args=()
  while [ "$1" != "--" ]; do env_args+=("$1"); shift; done
  shift
  rm -f "$STUB_OUT"
  if ! (cd "$work/start" && env -u XDG_STATE_HOME "${env_args[@]}" \
          "$work/bin/panorama-viewer-desktop" "$@") 2>"$work/err.txt"; then
    fail "$name: the wrapper failed: $(cat "$work/err.txt")"
    return
  fi
  if [ "$(cat "$STUB_OUT" 2>/dev/null)" != "$expected" ]; then
    fail "$name: got"$'\n'"$(cat "$STUB_OUT" 2>/dev/null)"$'\n'"expected"$'\n'"$expected"
  fi
}

state="$work/state"
expect "XDG_STATE_HOME chooses the directory" \
  "cwd=$state/panorama-viewer" HOME="$work/home" XDG_STATE_HOME="$state" --
expect "without XDG_STATE_HOME, ~/.local/state" \
  "cwd=$work/home/.local/state/panorama-viewer" HOME="$work/home" --
expect "an absolute file is passed unchanged" \
  "cwd=$state/panorama-viewer
arg=/somewhere/pano.xml" HOME="$work/home" XDG_STATE_HOME="$state" -- /somewhere/pano.xml
expect "relative names of existing files become absolute, in order" \
  "cwd=$state/panorama-viewer
arg=$work/start/pano dir/pano.xml
arg=-x
arg=$work/start/photo.jpg
arg=missing.xml
arg=" HOME="$work/home" XDG_STATE_HOME="$state" -- "pano dir/pano.xml" -x photo.jpg missing.xml ""
expect "an unusable state directory leaves the viewer where it started" \
  "cwd=$work/start" HOME="$work/home" XDG_STATE_HOME=/proc/no-such-place --
grep -q "cannot use /proc/no-such-place/panorama-viewer" "$work/err.txt" ||
  fail "no message about the unusable state directory: $(cat "$work/err.txt")"

# Without a viewer beside it, the wrapper starts the one on the PATH.
mkdir -p "$work/alone"
cp "$wrapper" "$work/alone/panorama-viewer-desktop"
rm -f "$STUB_OUT"
(cd "$work/start" && HOME="$work/home" XDG_STATE_HOME="$state" PATH="$work/bin:$PATH" \
   "$work/alone/panorama-viewer-desktop" photo.jpg)
[ "$(cat "$STUB_OUT" 2>/dev/null)" = "cwd=$state/panorama-viewer
arg=$work/start/photo.jpg" ] || fail "the viewer on the PATH was not started as expected"

[ "$failures" -eq 0 ] || exit 1
echo "launcher wrapper: all cases passed"
