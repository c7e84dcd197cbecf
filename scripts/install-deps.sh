#!/bin/bash
# Installs what building and testing ntagent needs on Debian 12, only when
# something is missing: compilers, CMake, GoogleTest, MinGW-w64, wine (with
# its 32-bit part) and the format and analysis tools. Safe to run again.
set -euo pipefail

packages=(cmake make g++ googletest g++-mingw-w64-i686 wine wine32:i386 git ca-certificates
  clang-format clang-tidy cppcheck clang libclang-rt-14-dev)

installed() {
  [ "$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null)" = "install ok installed" ]
}

missing=()
for package in "${packages[@]}"; do
  installed "$package" || missing+=("$package")
done
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  need_i386=1
else
  need_i386=0
fi
if [ ${#missing[@]} -eq 0 ] && [ $need_i386 -eq 0 ]; then
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then
    as_root=(sudo)
  else
    echo "install-deps: missing ${missing[*]}; run this as root" >&2
    exit 1
  fi
else
  as_root=()
fi

echo "install-deps: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
if [ $need_i386 -eq 1 ]; then
  "${as_root[@]}" dpkg --add-architecture i386
fi
"${as_root[@]}" apt-get update -q
"${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
