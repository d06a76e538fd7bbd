#!/usr/bin/env bash
# Sets up a fresh Debian machine, builds Spoolwarp with every test target and runs all tests.
# In CI (CI=true) warnings in our own code are errors.
set -euo pipefail
cd "$(dirname "$0")/.."

./tools/install-deps.sh

export CCACHE_SLOPPINESS=time_macros
werror=OFF
[ "${CI:-}" = true ] && werror=ON
cmake --preset release -DSPOOLWARP_WARNINGS_AS_ERRORS="$werror" >/dev/null
cmake --build --preset release --parallel "$(nproc)"
ctest --preset release --parallel "$(nproc)"
