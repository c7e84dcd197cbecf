#!/bin/bash
# Builds the agent's fuzz target (clang++, libFuzzer, ASan, UBSan) in
# build/fuzz and runs it for a bounded time: scripts/fuzz.sh [SECONDS], 60 by
# default. It starts from the seed corpus in tests/fuzz/corpus with the
# dictionary tests/fuzz/agent.dict, keeps what it learns in build/fuzz/corpus
# for the next run, and fails on a finding, which it leaves in
# build/fuzz/findings (rerun one with: build/fuzz/agent_fuzz FILE).
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -lt 1 ]; then
  echo "usage: $0 [SECONDS]" >&2
  exit 2
fi
if ! command -v clang++ >/dev/null; then
  echo "fuzz: clang++ is missing (apt-get install clang)" >&2
  exit 1
fi

build=build/fuzz
cmake -S tests/fuzz -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2
mkdir -p "$build/corpus" "$build/findings"

status=0
"$build/agent_fuzz" "$build/corpus" tests/fuzz/corpus \
  -dict=tests/fuzz/agent.dict \
  -max_total_time="$seconds" -timeout=10 -max_len=4096 \
  -artifact_prefix="$build/findings/" -print_final_stats=1 || status=$?
if [ "$status" -ne 0 ]; then
  echo "fuzz: finding (exit $status); inputs in $build/findings:" >&2
  ls -1 "$build/findings" >&2 || true
  exit 1
fi
echo "fuzz: no finding in ${seconds}s; corpus $(ls "$build/corpus" | wc -l) inputs"
