#!/bin/sh
# The job benchmark in one command, from the repository root:
#   bench/run.sh [jobbench options]        e.g. bench/run.sh --rounds 100 --raw
# Builds the win32 preset's benchmark targets, times jobs under wine
# (jobbench --help lists the scenarios and options), prints the size of the
# stripped agent, and, against the simulated NT, the instructions and heap
# one job takes (callgrind).
set -eu
cd "$(dirname "$0")/.."
root=$(pwd)
status=0

echo "== build (win32 preset)"
cmake --preset win32 >/dev/null
cmake --build --preset win32 --target jobbench

bin=build/win32/bin
export WINEDEBUG="${WINEDEBUG:--all}"
# Process starts under wine are bimodal when the server and its clients wake
# each other across CPUs; on one CPU they are several times steadier, so the
# benchmark runs pinned to the last CPU. BENCH_CPU=<n> picks another one,
# BENCH_CPU=none runs unpinned.
cpu="${BENCH_CPU:-$(($(nproc) - 1))}"
pin=""
if [ "$cpu" != none ] && command -v taskset >/dev/null 2>&1; then
  pin="taskset -c $cpu"
fi
# One warm server for the many short-lived wine processes (when one already
# runs it is used as it is; this one ends a minute after its last client).
$pin wineserver -p60 2>/dev/null || true
$pin wine cmd /c exit 0 >/dev/null 2>&1 || true

echo
echo "== jobs under wine: ${pin:+$pin }wine $bin/jobbench.exe $*"
$pin wine "$bin/jobbench.exe" "$@"
echo
echo "== a job's platform operations, one at a time: ${pin:+$pin }wine $bin/jobbench.exe --ops"
$pin wine "$bin/jobbench.exe" --ops

echo
echo "== size"
stripped=$(mktemp)
for exe in ntagent floor_agent floor_crt; do
  i686-w64-mingw32-strip -o "$stripped" "$bin/$exe.exe"
  echo "  stripped $exe.exe: $(wc -c <"$stripped") bytes"
done
rm -f "$stripped"
for dll in $(i686-w64-mingw32-objdump -p "$bin/ntagent.exe" | sed -n 's/^\s*DLL Name: //p'); do
  echo "  imports $dll"
done

echo
echo "== one simulated job (native, tests/sim)"
if [ ! -f tests/sim/sim.h ]; then
  echo "  the simulated NT (tests/sim) is missing"
  exit 1
fi
cmake -S bench/native -B build/bench-native >/dev/null
cmake --build build/bench-native
for mode in "" --shell; do
  build/bench-native/sim_job $mode || status=1
  if command -v valgrind >/dev/null 2>&1; then
    out=$(mktemp)
    # Symbols bound at load, so the dynamic linker's work stays out of the job.
    LD_BIND_NOW=1 valgrind --tool=callgrind --callgrind-out-file="$out" \
      --toggle-collect='*RunOneJob*' build/bench-native/sim_job $mode >/dev/null 2>&1 || status=1
    awk -v SRC="$root/src/" -f bench/callgrind_split.awk "$out"
    rm -f "$out"
  else
    echo "  valgrind is not installed: no instruction count"
    status=1
  fi
done
exit $status
