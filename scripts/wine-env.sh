# Sourced by the other scripts: a wine prefix of the build's own, quiet wine,
# and the prefix created on first use. Wine missing is an error.
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEPREFIX="${WINEPREFIX:-$PWD/build/wineprefix}"
if ! command -v wine >/dev/null 2>&1; then
  echo "wine is not installed: the win32 tests cannot run" >&2
  exit 1
fi
if [ ! -d "$WINEPREFIX/dosdevices" ]; then
  echo "creating wine prefix $WINEPREFIX" >&2
  mkdir -p "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1 || true
  wineserver -w
  if [ ! -d "$WINEPREFIX/dosdevices" ]; then
    echo "wineboot did not create $WINEPREFIX" >&2
    exit 1
  fi
fi
