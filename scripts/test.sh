#!/bin/bash
# Builds both presets and runs every test: the native unit tests against the
# simulated NT, then the agent and its end-to-end tests under wine.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
source scripts/wine-env.sh

cmake --preset native
cmake --build --preset native -j2
ctest --preset native -j2

# The analysers over the agent's sources, then a bounded fuzzing run of the
# whole agent against the simulated NT; each fails on a finding.
scripts/analyse.sh
scripts/fuzz.sh "${NTAGENT_FUZZ_SECONDS:-60}"

# One wine server for every test process, stopped however the run ends.
wineserver -p
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
cmake --preset win32
cmake --build --preset win32 -j2
ctest --preset win32 -j2
