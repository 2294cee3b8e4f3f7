#!/usr/bin/env bash
# Installs what is missing, builds Duevia in build/ and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DDUEVIA_BUILD_TESTS=OFF
cmake --build build --parallel
exec build/src/app/appQuilloQml3 "$@"
