#!/bin/bash
# Static analysis of the agent's sources; fails on any finding.
# - clang-tidy with the checks of .clang-tidy over every file in src/: those
#   the native build compiles through its compile_commands.json, the Win32
#   start-up and seam (main.cpp, nt_win32.cpp) with the MinGW headers.
# - cppcheck over src/, once for the native platform and once for 32-bit
#   Windows, the product's.
set -euo pipefail
cd "$(dirname "$0")/.."

for tool in clang-tidy cppcheck i686-w64-mingw32-g++; do
  if ! command -v "$tool" >/dev/null; then
    echo "analyse: $tool is missing" >&2
    exit 1
  fi
done

database=build/native/compile_commands.json
if [ ! -f "$database" ]; then
  cmake --preset native >/dev/null
fi

mapfile -t sources < <(find src -name '*.cpp' | sort)
native=()
win32=()
for file in "${sources[@]}"; do
  if grep -q "\"$PWD/$file\"" "$database"; then
    native+=("$file")
  else
    win32+=("$file")
  fi
done

status=0
echo "analyse: clang-tidy, ${#native[@]} files through $database"
printf '%s\n' "${native[@]}" |
  xargs -P 2 -n 4 clang-tidy --quiet -p build/native 2>/dev/null || status=1

if [ "${#win32[@]}" -gt 0 ]; then
  # clang does not find MinGW's C++ headers by itself: take g++'s search list.
  mapfile -t includes < <(echo | i686-w64-mingw32-g++ -xc++ -E -v - 2>&1 |
    sed -n '/#include <...> search starts here:/,/End of search list/p' | grep '^ ' |
    sed 's/^ *//')
  flags=(--target=i686-w64-mingw32 -std=c++17 -Isrc)
  for dir in "${includes[@]}"; do flags+=(-isystem "$dir"); done
  echo "analyse: clang-tidy, ${#win32[@]} Win32 files: ${win32[*]}"
  clang-tidy --quiet "${win32[@]}" -- "${flags[@]}" 2>/dev/null || status=1
fi

for platform in native win32A; do
  echo "analyse: cppcheck ($platform)"
  cppcheck --enable=warning,performance,portability --error-exitcode=1 --inline-suppr \
    --std=c++17 --language=c++ --platform="$platform" -q -I src src || status=1
done

if [ "$status" -ne 0 ]; then
  echo "analyse: findings above" >&2
  exit 1
fi
echo "analyse: clean"
