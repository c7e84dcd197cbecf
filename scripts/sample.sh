#!/bin/bash
# Builds the agent and wdxrun, then runs a few sample jobs through them under
# wine and shows each outcome.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
source scripts/wine-env.sh

cmake --preset win32 >/dev/null
cmake --build --preset win32 -j2 --target wdxrun

wdxrun=build/win32/bin/wdxrun.exe
run() {
  echo "\$ wdxrun $*"
  local rc=0
  wine "$wdxrun" "$@" </dev/null || rc=$?
  echo "(wdxrun exit code $rc)"
  echo
}
run -- cmd /c echo hello from a job
run --shell -- exit /b 3
run -- no-such-program
wineserver -k >/dev/null 2>&1 || true
