#!/usr/bin/env bash
# What the built program answers on the command line without opening a
# window, with no display at all: a window would fail to connect.
#   command_line.sh <xmlpellor>
set -uo pipefail
exe=$1
err=$(mktemp)
trap 'rm -f "$err"' EXIT
failures=0

usage="Usage: xmlpellor [OPTION]... [DOCUMENT [STYLESHEET]]"
#     status stream first line of that stream                         arguments
cases=(
  "0|stdout|xmlpellor (Yab XML Pellor) 1.00.0008|--version"
  "0|stdout|$usage|--help"
  "0|stdout|$usage|-h a.xml b.xsl"
  "2|stderr|xmlpellor: unknown option '--nope'|--nope a.xml"
  "2|stderr|xmlpellor: too many files: name at most a document and a stylesheet|a.xml b.xsl c.xml"
)
for c in "${cases[@]}"; do
  IFS='|' read -r status stream first args <<<"$c"
  # shellcheck disable=SC2086 # the arguments are split on purpose
  out=$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb "$exe" $args 2>"$err")
  got_status=$?
  if [ "$stream" = stdout ]; then said=$out other=$(cat "$err"); else said=$(cat "$err") other=$out; fi
  if [ "$got_status" != "$status" ] || [ "$(head -n1 <<<"$said")" != "$first" ] || [ -n "$other" ]; then
    echo "FAIL: xmlpellor $args: status $got_status, $stream '$(head -n1 <<<"$said")', other stream '$other'"
    failures=$((failures + 1))
  fi
done
# A refusal shows the usage after its one line.
second=$(env -u DISPLAY "$exe" --nope 2>&1 >/dev/null | sed -n 2p)
[ "$second" = "$usage" ] || { echo "FAIL: after the error line: '$second'"; failures=$((failures + 1)); }
[ "$failures" -eq 0 ] && echo PASS
exit $((failures > 0))
