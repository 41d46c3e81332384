#!/usr/bin/env bash
# Builds the Debian package, installs it with apt as a user would, starts the
# installed /usr/bin/xmlpellor headless under Xvfb until its window shows the
# start page, applies an installed example with the keyboard, closes the
# window and checks that the program ended and took its output file with it.
# Removes the package again, so the machine is left as it was found.
#
# Needs root (apt-get install); run from .ci/run on a fresh machine.
# Usage: tests/package/deb-install-test.sh [BUILD_DIR]   (default: build)
set -euo pipefail
source "$(dirname "$0")/../support/find_window.sh"

caption="Yab XML Pellor"
limit=60  # seconds for each wait below

# The part that runs inside the X server xvfb-run started.
if [ "${1:-}" = --session ]; then
  tmp=$2
  shot=$tmp/shot
  log=$tmp/xmlpellor.out
  # The browser's part of the window (everything below the row of boxes),
  # as one line per pixel.
  browser_pixels() {
    import -window "$wid" -gravity south -crop 100%x75%+0+0 +repage txt:"$shot.txt" 2>/dev/null
  }
  wait_for() {  # description command...: until the command succeeds or time runs out
    local what=$1 deadline=$((SECONDS + limit))
    shift
    until "$@"; do
      if [ "$SECONDS" -ge "$deadline" ]; then
        echo "FAIL: $what within ${limit}s" >&2
        cat "$log" >&2 || true
        return 1
      fi
      sleep 0.5
    done
  }

  # The environment of a fresh session: only TMPDIR points to our folder so
  # that what the program leaves there can be seen.
  TMPDIR=$tmp/tmpdir /usr/bin/xmlpellor >"$log" 2>&1 &
  pid=$!
  # A failed check leaves no program behind.
  trap 'kill -KILL "$pid" 2>/dev/null || true' EXIT
  wid=$(find_window "$caption" "$limit") || true
  [ -n "$wid" ] || { echo "FAIL: no window '$caption' within ${limit}s" >&2; cat "$log" >&2; exit 1; }
  echo "window $wid is up"

  # The start page is rendered once the light grey behind its key names
  # (#F4F4F4) shows: neither a blank page nor the engine's error page for a
  # missing file has it. Two equal pictures in a row: the page has settled.
  start_sum=
  start_page_shown() {
    local previous=$start_sum
    browser_pixels || return 1
    start_grey=$(grep -ci '#F4F4F4' "$shot.txt" || true)
    start_sum=$(md5sum <"$shot.txt")
    [ "$start_grey" -gt 500 ] && [ "$start_sum" = "$previous" ]
  }
  wait_for "the start page shows" start_page_shown
  echo "start page shown ($start_grey pixels of its grey)"
  out=$(find "$tmp/tmpdir" -name 'xml*.tmp')
  [ -n "$out" ] || { echo "FAIL: no output file in TMPDIR after start" >&2; exit 1; }

  # Tab from the XML box past its "..." to the XSL box; Enter there applies,
  # and the browser then shows the output file instead of the start page.
  examples=/usr/lib/xmlpellor/examples
  xdotool windowfocus --sync "$wid"
  xdotool type --delay 5 "$examples/books.xml"
  xdotool key Tab Tab
  xdotool type --delay 5 "$examples/books.xsl"
  xdotool key Return
  result_shown() {
    browser_pixels || return 1
    [ "$(md5sum <"$shot.txt")" != "$start_sum" ]
  }
  wait_for "the browser leaves the start page after Enter" result_shown
  echo "Apply ran; output file: $(find "$tmp/tmpdir" -name 'xml*.tmp' -printf '%f %s bytes')"

  # Close as a session does at log-out; the window unloads as on any close.
  kill -TERM "$pid"
  ended() { ! kill -0 "$pid" 2>/dev/null; }
  wait_for "the program ends after its window closes" ended
  status=0
  wait "$pid" || status=$?
  [ "$status" -eq 0 ] || { echo "FAIL: the program exited with $status" >&2; cat "$log" >&2; exit 1; }
  left=$(find "$tmp/tmpdir" -name 'xml*.tmp')
  [ -z "$left" ] || { echo "FAIL: left behind: $left" >&2; exit 1; }
  echo "closed; exit status 0; nothing left in TMPDIR"
  exit 0
fi

cd "$(dirname "$0")/../.."
build=${1:-build}
[ "$(id -u)" -eq 0 ] || { echo "deb-install-test.sh: needs root to install the package" >&2; exit 2; }
if dpkg-query -W -f='${Status}' xmlpellor 2>/dev/null | grep -q 'install ok installed'; then
  echo "deb-install-test.sh: xmlpellor is installed already; not touching it" >&2
  exit 2
fi

echo "== package"
cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target xmlpellor xmlpellor_icons xmlpellor_docs
rm -f "$build"/xmlpellor_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$(pwd)/$build"/xmlpellor_*.deb)
echo "$(basename "$deb"): $(stat -c %s "$deb") bytes"
dpkg-deb -f "$deb" Package Version Depends

echo "== lintian"
# Errors fail the test; warnings and notes are shown for the record.
lintian --fail-on error --display-info "$deb" ||
  { echo "FAIL: lintian reports errors on $(basename "$deb")" >&2; exit 1; }

tmp=$(mktemp -d)
installed=no
cleanup() {
  if [ "$installed" = yes ]; then
    echo "== remove"
    apt-get remove -y -qq xmlpellor >/dev/null
  fi
  rm -rf "$tmp"
}
trap cleanup EXIT

echo "== install"
export DEBIAN_FRONTEND=noninteractive
installed=yes
apt-get install -y -qq "$deb" >/dev/null
[ "$(readlink -f "$(command -v xmlpellor)")" = /usr/bin/xmlpellor ] ||
  { echo "FAIL: xmlpellor on PATH is $(command -v xmlpellor)" >&2; exit 1; }

# Through the launcher, and with no display to connect to.
version=$(env -u DISPLAY -u WAYLAND_DISPLAY xmlpellor --version) ||
  { echo "FAIL: xmlpellor --version failed without a display" >&2; exit 1; }
echo "$version"

echo "== start the installed program"
mkdir -p "$tmp/tmpdir"
# Nothing of the caller's: as root the launcher must turn the sandbox off itself.
env -u QTWEBENGINE_DISABLE_SANDBOX -u QT_QPA_PLATFORM -u WAYLAND_DISPLAY -u XDG_SESSION_TYPE \
  timeout 180 xvfb-run -a -s "-screen 0 1024x768x24" "$0" --session "$tmp"
echo "package test passed"
