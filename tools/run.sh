#!/usr/bin/env bash
# Sets up a fresh Debian machine, builds the Spoolwarp stand-alone application and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."

./tools/install-deps.sh

export CCACHE_SLOPPINESS=time_macros
cmake --preset release >/dev/null
cmake --build --preset release --parallel "$(nproc)" --target Spoolwarp_Standalone
exec "build/Spoolwarp_artefacts/Release/Standalone/Spoolwarp" "$@"
