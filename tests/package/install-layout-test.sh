#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks what a desktop and a
# user find there: the files in their places, the desktop entry and metainfo
# valid, the icons at their sizes, the examples reachable from beside the
# start page, and the launcher's handling of the WebEngine sandbox.
# Usage: install-layout-test.sh BUILD_DIR APPSTREAM_ID
set -euo pipefail
build=$1
appstream_id=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
root=$scratch/root
prefix=$root/usr
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

cmake --install "$build" --prefix "$prefix" >/dev/null

# Every file a user, a menu or a software centre looks for.
expected=(
  bin/xmlpellor
  lib/xmlpellor/xmlpellor
  lib/xmlpellor/xmlpellor-engine
  lib/xmlpellor/yabxmlpellor.htm
  lib/xmlpellor/examples/books.xml
  share/xmlpellor/examples/books.xml
  share/xmlpellor/examples/books.xsl
  share/xmlpellor/examples/sales.xml
  share/xmlpellor/examples/sales.xsl
  share/xmlpellor/examples/broken.xml
  share/applications/xmlpellor.desktop
  "share/metainfo/$appstream_id.metainfo.xml"
  share/icons/hicolor/16x16/apps/xmlpellor.png
  share/icons/hicolor/48x48/apps/xmlpellor.png
  share/icons/hicolor/scalable/apps/xmlpellor.svg
  share/doc/xmlpellor/copyright
  share/doc/xmlpellor/changelog.gz
  share/man/man1/xmlpellor.1.gz
)
# The XSLT 2.0 and 3.0 engine and its Java part, beside the program, where
# the window and the engine look for them (left out of a build without a JDK).
if [ -e "$build/xmlpellor-saxon-engine" ]; then
  expected+=(lib/xmlpellor/xmlpellor-saxon-engine lib/xmlpellor/xmlpellor-saxon.jar)
fi
for f in "${expected[@]}"; do
  [ -f "$prefix/$f" ] || fail "not installed: $f"
done
[ -x "$prefix/bin/xmlpellor" ] || fail "launcher is not executable"
[ -x "$prefix/lib/xmlpellor/xmlpellor" ] || fail "program is not executable"
[ -x "$prefix/lib/xmlpellor/xmlpellor-engine" ] || fail "the XSLT engine is not executable"
if [ -e "$build/xmlpellor-saxon-engine" ]; then
  [ -x "$prefix/lib/xmlpellor/xmlpellor-saxon-engine" ] || fail "the Saxon engine is not executable"
  python3 -c 'import sys, zipfile; sys.exit("xmlpellor/saxon/Host.class" not in zipfile.ZipFile(sys.argv[1]).namelist())' \
    "$prefix/lib/xmlpellor/xmlpellor-saxon.jar" 2>/dev/null ||
    fail "the Saxon engine's jar lacks its classes"
fi
# The examples link must stay relative, or it breaks once the tree is packaged.
link=$(readlink "$prefix/lib/xmlpellor/examples" || true)
[ "$link" = ../../share/xmlpellor/examples ] || fail "examples link points to '$link'"

# Icons: each PNG at the size its folder names, all of the one picture.
for dir in "$prefix"/share/icons/hicolor/*x*/apps; do
  size=$(basename "$(dirname "$dir")")
  info=$(file -b "$dir/xmlpellor.png")
  case $info in
    "PNG image data, ${size/x/ x }, "*) ;;
    *) fail "icon $size is: $info" ;;
  esac
  bytes=$(stat -c %s "$dir/xmlpellor.png")
  [ "$bytes" -lt 8192 ] || fail "icon $size takes $bytes bytes"
done

# The desktop entry names the launcher and the icon that are installed.
desktop=$prefix/share/applications/xmlpellor.desktop
for line in "Name=Yab XML Pellor" "Exec=xmlpellor %F" "Icon=xmlpellor" "Categories=Development;" "Type=Application" \
  "MimeType=application/xml;text/xml;application/xslt+xml;"; do
  grep -qxF "$line" "$desktop" || fail "desktop entry lacks '$line'"
done
grep -q '^Comment=.' "$desktop" || fail "desktop entry lacks a Comment"
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$desktop" || fail "desktop-file-validate"
fi
# Debian reads these compressed as gzip -9n makes them, with no name or time inside.
for gz in share/doc/xmlpellor/changelog.gz share/man/man1/xmlpellor.1.gz; do
  gzip -t "$prefix/$gz" 2>/dev/null || fail "not gzip: $gz"
  [ "$(od -An -tx1 -j4 -N4 "$prefix/$gz" | tr -d ' ')" = 00000000 ] || fail "$gz carries a time stamp"
done
grep -q '^License: Expat$' "$prefix/share/doc/xmlpellor/copyright" || fail "copyright names no licence"
metainfo=$prefix/share/metainfo/$appstream_id.metainfo.xml
grep -qF '<launchable type="desktop-id">xmlpellor.desktop</launchable>' "$metainfo" ||
  fail "metainfo does not launch xmlpellor.desktop"
grep -qF "<release version=\"1.0.0.8\"" "$metainfo" || fail "metainfo lacks release 1.0.0.8"
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net --pedantic "$metainfo" || fail "appstreamcli validate"
fi

# The launcher: a stand-in program reports what it was started with.
stub=$prefix/lib/xmlpellor/xmlpellor
cat >"$stub" <<'STUB'
#!/bin/sh
echo "sandbox=${QTWEBENGINE_DISABLE_SANDBOX-unset} args=$* exe=$0"
STUB
chmod 755 "$stub" "$scratch"
ln -s "$prefix/bin/xmlpellor" "$scratch/linked-launcher"
expect_run() {  # expected-output description command...
  local expected=$1 what=$2
  shift 2
  local got
  got=$("$@" 2>&1) || true
  [ "$got" = "$expected" ] || fail "$what: got '$got', expected '$expected'"
}
exe="$prefix/bin/../lib/xmlpellor/xmlpellor"
if [ "$(id -u)" -eq 0 ]; then
  expect_run "sandbox=1 args=a b exe=$exe" "as root" env -u QTWEBENGINE_DISABLE_SANDBOX "$prefix/bin/xmlpellor" a b
  expect_run "sandbox=0 args= exe=$exe" "as root, set by the caller" env QTWEBENGINE_DISABLE_SANDBOX=0 "$prefix/bin/xmlpellor"
  expect_run "sandbox= args= exe=$exe" "as root, set empty by the caller" env QTWEBENGINE_DISABLE_SANDBOX= "$prefix/bin/xmlpellor"
  # Another user, through a link to the launcher as a user's ~/bin might hold.
  if command -v setpriv >/dev/null; then
    chmod -R a+rX "$scratch"
    expect_run "sandbox=unset args= exe=$exe" "as a user" \
      env -u QTWEBENGINE_DISABLE_SANDBOX setpriv --reuid=65534 --regid=65534 --clear-groups "$scratch/linked-launcher"
  fi
else
  expect_run "sandbox=unset args=a b exe=$exe" "as a user" env -u QTWEBENGINE_DISABLE_SANDBOX "$scratch/linked-launcher" a b
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "installed tree OK"
