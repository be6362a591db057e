#!/usr/bin/env bash
# Builds Tolvane and runs every test: unit, GUI (offscreen and on Xvfb), batch scenarios, and
# the database tests on SQLite and on a throwaway PostgreSQL server started here.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh
export QT_QPA_PLATFORM=offscreen
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  export XDG_RUNTIME_DIR=$(mktemp -d /tmp/tolvane-runtime-XXXXXX)
fi
# shellcheck source=scripts/pg-start.sh
source scripts/pg-start.sh
trap pg_stop EXIT
ctest --test-dir build --output-on-failure --parallel "$(nproc)" --timeout 600
