#!/usr/bin/env bash
# Installs what is missing, builds, and starts XMLPellor.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target xmlpellor
# Qt WebEngine refuses to run as root with its sandbox on; a normal user keeps it.
if [ "$(id -u)" -eq 0 ]; then export QTWEBENGINE_DISABLE_SANDBOX=1; fi
exec build/xmlpellor "$@"
