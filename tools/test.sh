#!/usr/bin/env bash
# Sets up a fresh Debian machine, builds Spoolwarp with every test target and runs all tests.
set -euo pipefail
cd "$(dirname "$0")/.."

./tools/install-deps.sh

export CCACHE_SLOPPINESS=time_macros
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build --parallel "$(nproc)"
ctest --test-dir build --output-on-failure --parallel "$(nproc)"
