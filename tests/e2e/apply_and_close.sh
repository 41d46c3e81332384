#!/usr/bin/env bash
# The built program as a separate process on a private X server: type two
# paths with real key presses, press Enter, see the result file written, then
# close the window (as a window manager's close button does, and by SIGTERM)
# and see the file gone. Then a transformation that runs for minutes: Esc
# stops it, and SIGTERM in the middle of one ends the program, file gone.
#
#   apply_and_close.sh <xmlpellor> <x11tool> <examples folder>
set -euo pipefail

if [[ "${1:-}" != --inner ]]; then
  command -v xvfb-run >/dev/null && command -v xdotool >/dev/null || { echo "xvfb-run or xdotool missing"; exit 77; }
  exec xvfb-run -a -s "-screen 0 1024x768x24" "$0" --inner "$@"
fi
shift
exe=$1 x11tool=$2 examples=$3

work=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null || true; rm -rf "$work"' EXIT
export TMPDIR=$work/tmp
mkdir -p "$TMPDIR"
# The engine's sandbox refuses to run as root.
[[ $(id -u) -eq 0 ]] && export QTWEBENGINE_DISABLE_SANDBOX=1
# The window must come up on the X server started above, whatever platform
# or display the caller's session named.
export QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY XDG_SESSION_TYPE
# As a start from cron or su: the program makes its own runtime folder.
unset XDG_RUNTIME_DIR

fail() { echo "FAIL: $*"; exit 1; }
source "$(dirname "$0")/../support/find_window.sh"

start() {
  "$exe" "$@" >"$work/out.log" 2>&1 &
  pid=$!
  wid=$(find_window "Yab XML Pellor" 60 "$pid") || fail "no window appeared"
  # Files named on the command line are applied as the window comes up, and
  # an Apply deletes the page before it writes the new one: wait it out.
  for _ in $(seq 50); do temp=$(ls "$TMPDIR"/xml*.tmp 2>/dev/null) && break; sleep 0.1; done
  [[ -n $temp ]] || fail "no temporary file after start"
  [[ $(wc -w <<<"$temp") -eq 1 ]] || fail "more than one temporary file: $temp"
  echo "window $wid, temporary file $temp"
}

wait_exit() {
  for _ in $(seq 200); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$pid" 2>/dev/null && fail "the program did not end"
  wait "$pid" || fail "the program ended with status $?"
}

# 1. Type, Enter, close through the window.
start
[[ ! -s $temp ]] || fail "the new temporary file is not empty"
before=$(stat -c %y "$temp")
sleep 0.2  # the rewritten file must be seen to be newer
xdotool mousemove --window "$wid" 300 200
xdotool windowfocus --sync "$wid"
sleep 0.5
# The focus starts in the XML box; two Tabs lead to the XSL box.
xdotool type --delay 15 "$examples/books.xml"
xdotool key --delay 50 Tab Tab
xdotool type --delay 15 "$examples/books.xsl"
xdotool key Return
for _ in $(seq 100); do
  [[ -f $temp && $(stat -c %y "$temp") != "$before" ]] && break
  sleep 0.2
done
[[ -f $temp && $(stat -c %y "$temp") != "$before" ]] || fail "Apply did not write $temp"
grep -q "Book catalogue" "$temp" || fail "the result is not the catalogue: $(head -c 300 "$temp")"
"$x11tool" close "$wid"
wait_exit
[[ ! -e $temp ]] || fail "the temporary file outlived the window"
echo "closed through the window: temporary file gone"

# 2. SIGTERM closes the window the same way.
start
kill -TERM "$pid"
wait_exit
[[ ! -e $temp ]] || fail "the temporary file outlived SIGTERM"
echo "closed by SIGTERM: temporary file gone"

# 3. Files named on the command line, the stylesheet first and the document
#    under ~/: applied once the window is up; Ctrl+Q closes it the same way.
export HOME=$work/home
mkdir -p "$HOME/in"
cp "$examples/books.xml" "$HOME/in/"
cd "$examples"
start books.xsl '~/in/books.xml'
cd - >/dev/null
for _ in $(seq 100); do grep -qs "Book catalogue" "$temp" && break; sleep 0.2; done
grep -qs "Book catalogue" "$temp" || fail "the files named at start were not applied"
xdotool windowfocus --sync "$wid"
xdotool key ctrl+q
wait_exit
[[ ! -e $temp ]] || fail "the temporary file outlived Ctrl+Q"
echo "applied at start, closed by Ctrl+Q: temporary file gone"
# Quiet: none of the engine's start-up parameters, Chromium log or page console.
if grep -E 'Init Parameters|^js:|:(ERROR|WARNING|INFO):' "$work/out.log"; then
  fail "the engine talked on the terminal"
fi
if grep -E 'XDG_RUNTIME_DIR|Sandboxing disabled' "$work/out.log"; then
  fail "Qt talked on the terminal"
fi
if compgen -G "$TMPDIR/xmlpellor-runtime-*" >/dev/null; then
  fail "the runtime folder outlived the program"
fi

# 4. A run of about a hundred seconds: Esc stops it, SIGTERM ends the program.
awk 'BEGIN { printf "<r>"; for (i = 0; i < 60000; i++) printf "<i n=\"%d\"/>", i; print "</r>" }' >"$work/items.xml"
cat >"$work/join.xsl" <<'XSL'
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">
  <xsl:template match="/"><p><xsl:value-of select="count(//i[@n = //i/@n])"/></p></xsl:template>
</xsl:stylesheet>
XSL
now_ms() { date +%s%3N; }
start
xdotool mousemove --window "$wid" 300 200
xdotool windowfocus --sync "$wid"
sleep 0.5
xdotool type --delay 5 "$work/items.xml"
xdotool key --delay 50 Tab Tab
xdotool type --delay 5 "$work/join.xsl"
xdotool key Return
sleep 1.5
esc=$(now_ms)
xdotool key Escape
for _ in $(seq 100); do grep -q "stopped after" "$temp" 2>/dev/null && break; sleep 0.05; done
grep -q "The transformation was stopped after" "$temp" || fail "Esc did not stop the run: $(head -c 300 "$temp")"
echo "Esc to the stop text written: $(( $(now_ms) - esc )) ms ($(cat "$temp"))"
kill -0 "$pid" || fail "the program ended on Esc"
xdotool key Return
sleep 1.5
grep -q "stopped after" "$temp" 2>/dev/null && fail "Enter did not start a second run"
term=$(now_ms)
kill -TERM "$pid"
wait_exit
echo "SIGTERM during a run to exit: $(( $(now_ms) - term )) ms"
[[ ! -e $temp ]] || fail "the temporary file outlived SIGTERM during a run"
echo "stopped by Esc, then ended by SIGTERM during a run: temporary file gone"
echo PASS
