#!/usr/bin/env bash
# Installs what is missing, builds Duevia with its tests in a clean build-tests/ and runs them headless.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
rm -rf build-tests
cmake -S . -B build-tests -G Ninja -DCMAKE_BUILD_TYPE=Debug -DDUEVIA_BUILD_TESTS=ON
cmake --build build-tests --parallel
QT_QPA_PLATFORM=offscreen ctest --test-dir build-tests --output-on-failure --parallel "$(nproc)"
