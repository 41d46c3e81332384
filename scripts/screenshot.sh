#!/usr/bin/env bash
# Makes docs/screenshot.png, the README's picture of the window: builds the
# tool, starts it headless under Xvfb, applies an example with the keyboard
# (or leaves the start page with "start") and saves the window.
# Usage: scripts/screenshot.sh [books|sales|broken|start]
# XMLPELLOR_PROGRAM=/usr/bin/xmlpellor takes the installed tool instead of the
# build's, so the paths in the picture are those a user of the package sees.
set -euo pipefail
cd "$(dirname "$0")/.."
example=${1:-books}
caption="Yab XML Pellor"

if [ "$example" = --session ]; then
  example=$2
  out=$3
  tmp=$(mktemp -d)
  trap 'rm -rf "$tmp"' EXIT
  program=${XMLPELLOR_PROGRAM:-build/xmlpellor}
  examples=$(dirname "$(readlink -f "$program")")/examples
  [ "$program" = /usr/bin/xmlpellor ] && examples=/usr/lib/xmlpellor/examples
  TMPDIR=$tmp "$program" >"$tmp/log" 2>&1 &
  pid=$!
  trap 'kill -KILL "$pid" 2>/dev/null || true; rm -rf "$tmp"' EXIT
  wid=$(timeout 60 xdotool search --sync --onlyvisible --name "^$caption\$" | head -n 1)
  xdotool windowsize --sync "$wid" 760 520
  sleep 3  # the start page renders
  if [ "$example" != start ]; then
    xsl=$example
    [ "$example" = broken ] && xsl=books
    xdotool windowfocus --sync "$wid"
    xdotool type --delay 5 "$examples/$example.xml"
    xdotool key Tab Tab
    xdotool type --delay 5 "$examples/$xsl.xsl"
    xdotool key Return
    sleep 3  # the result renders
  fi
  # Few colours keep the file small; the window holds little more.
  import -window "$wid" -colors 64 -strip "PNG8:$out"
  kill -TERM "$pid"
  wait "$pid" || true
  exit 0
fi

case $example in books | sales | broken | start) ;; *) echo "usage: $0 [books|sales|broken|start]" >&2; exit 2 ;; esac
scripts/install-deps.sh
cmake -S . -B build -G Ninja >/dev/null
[ -n "${XMLPELLOR_PROGRAM:-}" ] || cmake --build build --target xmlpellor
if [ "$(id -u)" -eq 0 ]; then export QTWEBENGINE_DISABLE_SANDBOX=1; fi
mkdir -p docs
xvfb-run -a -s "-screen 0 1024x768x24" "$0" --session "$example" "$(pwd)/docs/screenshot.png"
echo "docs/screenshot.png: $(stat -c %s docs/screenshot.png) bytes"
