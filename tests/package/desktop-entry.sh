#!/usr/bin/env bash
# Checks the desktop entry and what it names: it is valid, it starts the
# launcher wrapper with one file, its icon exists and renders, its German
# texts are there, the stitcher project type matches *.pto, and every type in
# MimeType= is one the system or the package's file type declares.
# Usage: desktop-entry.sh GUI_SOURCE_DIR
# Exits 77 (skipped) when desktop-file-utils or shared-mime-info is missing.
set -euo pipefail
gui="$1"
desktop="$gui/panorama-viewer.desktop"
for tool in desktop-file-validate update-mime-database; do
  if ! command -v "$tool" >/dev/null; then
    echo "skipped: $tool is not installed (scripts/install-deps installs it)"
    exit 77
  fi
done
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
key() { sed -n "s/^$1=//p" "$desktop"; }

desktop-file-validate "$desktop" || fail "desktop-file-validate rejects $desktop"

# Exec: the wrapper from gui/, with a single file argument.
read -r -a exec_words <<<"$(key Exec)"
[ "${exec_words[0]:-}" = panorama-viewer-desktop ] ||
  fail "Exec starts '${exec_words[0]:-}', not the launcher wrapper panorama-viewer-desktop"
[ -x "$gui/${exec_words[0]:-none}" ] || fail "Exec program ${exec_words[0]:-} is not an executable in gui/"
[ "${exec_words[*]:1}" = "%f" ] || fail "Exec passes '${exec_words[*]:1}', not one file (%f)"

# Icon: a scalable icon of that name, which renders.
icon="$gui/icons/$(key Icon).svg"
if [ ! -f "$icon" ]; then
  fail "no icon $icon"
elif command -v rsvg-convert >/dev/null; then
  rsvg-convert -w 64 -h 64 -o "$work/icon.png" "$icon" || fail "the icon does not render"
fi

for german in 'Name\[de\]' 'Comment\[de\]'; do
  [ -n "$(key "$german")" ] || fail "no ${german//\\/} line"
done

# The package's file type, compiled into a private MIME database.
mkdir -p "$work/mime/packages"
cp "$gui/panorama-viewer-mime.xml" "$work/mime/packages/panorama-viewer.xml"
update-mime-database "$work/mime" >"$work/mime.log" 2>&1 ||
  fail "update-mime-database rejects panorama-viewer-mime.xml: $(cat "$work/mime.log")"
grep -q ':application/x-ptoptimizer-script:\*\.pto$' "$work/mime/globs2" ||
  fail "*.pto is not mapped to application/x-ptoptimizer-script"

IFS=';' read -r -a types <<<"$(key MimeType)"
expected=(application/xml text/xml application/x-ptoptimizer-script image/jpeg)
[ "${types[*]}" = "${expected[*]}" ] || fail "MimeType lists '${types[*]}', expected '${expected[*]}'"
# A type counts as declared under its own name or as an alias (text/xml is
# one of application/xml).
system=/usr/share/mime
for type in "${types[@]}"; do
  grep -qx "$type" "$work/mime/types" && continue
  [ -f "$system/types" ] && grep -qx "$type" "$system/types" && continue
  [ -f "$system/aliases" ] && grep -q "^$type " "$system/aliases" && continue
  fail "MimeType names $type, which no MIME database here declares"
done

[ "$failures" -eq 0 ] || exit 1
echo "desktop entry, icon and file type: all checks passed"
