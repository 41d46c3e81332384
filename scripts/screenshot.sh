#!/usr/bin/env bash
# Makes docs/screenshot.png, the README's picture of the window: builds the
# tool, starts it headless under Xvfb, applies an example with the keyboard
# (or leaves the start page with "start") and saves the window.
# Usage: scripts/screenshot.sh [books|sales|broken|start] [WIDTHxHEIGHT [OUTPUT]]
# The size is the window's inner area in pixels (760x520 unless given); the
# picture goes to docs/screenshot.png unless OUTPUT (relative to the checkout)
# names another file.
# XMLPELLOR_PROGRAM=/usr/bin/xmlpellor takes the installed tool instead of the
# build's, so the paths in the picture are those a user of the package sees.
set -euo pipefail
source "$(dirname "$0")/../tests/support/find_window.sh"
cd "$(dirname "$0")/.."
example=${1:-books}
caption="Yab XML Pellor"

if [ "$example" = --session ]; then
  example=$2
  size=$3
  out=$4
  tmp=$(mktemp -d)
  trap 'rm -rf "$tmp"' EXIT
  program=${XMLPELLOR_PROGRAM:-build/xmlpellor}
  examples=$(dirname "$(readlink -f "$program")")/examples
  [ "$program" = /usr/bin/xmlpellor ] && examples=/usr/lib/xmlpellor/examples
  TMPDIR=$tmp "$program" >"$tmp/log" 2>&1 &
  pid=$!
  trap 'kill -KILL "$pid" 2>/dev/null || true; rm -rf "$tmp"' EXIT
  wid=$(find_window "$caption" 60)
  xdotool windowsize --sync "$wid" "${size%x*}" "${size#*x}"
  sleep 3  # the start page renders
  if [ "$example" != start ]; then
    xsl=$example
    [ "$example" = broken ] && xsl=books
    [ "$example" = origin ] && example=books xsl=books where=1
    xdotool windowfocus --sync "$wid"
    xdotool type --delay 5 "$examples/$example.xml"
    xdotool key Tab Tab
    xdotool type --delay 5 "$examples/$xsl.xsl"
    xdotool key Return
    sleep 3  # the result renders
  fi
  window=$wid
  if [ -n "${where:-}" ]; then
    # Where did this come from: the marked page, an element pointed at, and
    # the panel beside the window, so the picture is of the whole screen.
    xdotool windowmove --sync "$wid" 0 0
    xdotool key ctrl+shift+c
    sleep 3
    panel=$(xdotool search --onlyvisible --name "^Where did this come from" | head -n 1)
    [ -n "$panel" ] && xdotool windowmove "$panel" 770 40
    sleep 1
    xdotool mousemove --window "$wid" 560 140
    sleep 0.5
    xdotool mousemove --window "$wid" 575 150
    sleep 2
    window=root
    # The page and the panel; the path boxes would name this machine's folders.
    crop=(-crop "1280x$((${size#*x} - 40))+0+40" +repage)
  fi
  # Few colours keep the file small; the window holds little more.
  import -window "$window" ${crop[@]+"${crop[@]}"} -colors 64 -strip "PNG8:$out"
  kill -TERM "$pid"
  wait "$pid" || true
  exit 0
fi

size=${2:-760x520}
out=${3:-docs/screenshot.png}
usage() { echo "usage: $0 [books|sales|broken|start|origin] [WIDTHxHEIGHT [OUTPUT]]" >&2; exit 2; }
case $example in books | sales | broken | start | origin) ;; *) usage ;; esac
[[ $size =~ ^[1-9][0-9]*x[1-9][0-9]*$ ]] || usage
scripts/install-deps.sh
cmake -S . -B build -G Ninja >/dev/null
[ -n "${XMLPELLOR_PROGRAM:-}" ] || cmake --build build --target xmlpellor
if [ "$(id -u)" -eq 0 ]; then export QTWEBENGINE_DISABLE_SANDBOX=1; fi
mkdir -p "$(dirname "$out")"
out=$(readlink -f "$(dirname "$out")")/$(basename "$out")
xvfb-run -a -s "-screen 0 1280x1024x24" "$0" --session "$example" "$size" "$out"
echo "$out: $(stat -c %s "$out") bytes"
