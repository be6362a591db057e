#!/usr/bin/env bash
# Builds Tolvane and runs every test: unit, GUI (offscreen) and batch scenarios.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh
export QT_QPA_PLATFORM=offscreen
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  export XDG_RUNTIME_DIR=$(mktemp -d /tmp/tolvane-runtime-XXXXXX)
fi
ctest --test-dir build --output-on-failure --parallel "$(nproc)" --timeout 300
