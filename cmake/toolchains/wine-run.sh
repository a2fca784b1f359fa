#!/bin/sh
# Runs a Windows console program under Wine for CTest: no display, no debug
# chatter, and a Wine prefix of the build's own (made on first use) instead of
# the user's ~/.wine.
if [ -z "${WINEPREFIX:-}" ]; then
  WINEPREFIX="$(pwd -P)/wine-prefix"
  for dir in . .. ../.. ../../..; do
    if [ -f "$dir/CMakeCache.txt" ]; then
      WINEPREFIX="$(cd "$dir" && pwd -P)/wine-prefix"
      break
    fi
  done
fi
export WINEPREFIX WINEDEBUG=-all
wine=$(command -v wine64 || command -v wine || echo /usr/lib/wine/wine64)
exec "$wine" "$@"
