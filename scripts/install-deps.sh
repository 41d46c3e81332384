#!/usr/bin/env bash
# Installs every Debian 12 package the build, the tests and the benchmark need.
# Idempotent: packages already present are left alone, so it is cheap to call
# before every build.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git python3
  libxml2-dev libxslt1-dev xsltproc
  # The allocator every executable of the project links.
  libmimalloc-dev
  # The XSLT engine's process confines itself with a seccomp filter.
  libseccomp-dev
  # XML packages whose data a transformation reads as they come (the read
  # policy's tests: DocBook 4.5 links into /etc/sgml, yelp-xsl imports across
  # its tree).
  docbook-xml docbook-xsl yelp-xsl
  qt6-base-dev qt6-webengine-dev libgl-dev
  # XSLT 2.0 and 3.0 run in Saxon-HE inside a Java VM; the JDK builds the
  # engine's small Java part and gives its JNI header.
  libsaxonhe-java default-jre-headless default-jdk-headless
  libgtest-dev libgmock-dev
  # The reliability tests attach a debugger to a running engine and make its
  # calls from there.
  gdb
  xvfb xauth xdotool x11-utils fonts-dejavu-core
  clang libclang-rt-14-dev
  # The Debian package, checks of its desktop files, screenshots.
  dpkg-dev file appstream desktop-file-utils imagemagick lintian
  # A stylesheet that writes many files, tried on a small book.
  docbook-xsl docbook-xml
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
