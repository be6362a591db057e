#!/usr/bin/env bash
# Builds Tolvane and starts it on its embedded default databases. Without a display it runs
# the headless demo script examples/demo.scr instead, in a demo folder of its own, and says
# where it wrote the cable schedule.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: running the headless demo (examples/demo.scr) with tolvane --batch."
  demo=$(mktemp -d /tmp/tolvane-demo-XXXXXX)
  export XDG_CONFIG_HOME="$demo/config" XDG_DATA_HOME="$demo/data"
  root=$PWD
  cd "$demo"
  status=0
  "$root/build/src/tolvane" --home "$demo/home" --batch "$root/examples/demo.scr" "$@" || status=$?
  echo "The demo wrote its cable schedule to $demo/CableSchedule.pdf and $demo/CableSchedule.xlsx"
  exit $status
fi
exec build/src/tolvane "$@"
