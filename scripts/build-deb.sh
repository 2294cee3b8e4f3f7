#!/usr/bin/env bash
# Builds the Debian package of Duevia in build-deb/ and checks that the package installs and starts.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build-deb -G Ninja -DCMAKE_BUILD_TYPE=Release -DDUEVIA_BUILD_TESTS=OFF
cmake --build build-deb --parallel
(cd build-deb && cpack -G DEB)
scripts/check-deb.sh build-deb/duevia_*.deb
