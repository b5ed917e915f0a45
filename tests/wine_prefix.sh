#!/usr/bin/env bash
# Makes a fresh 64-bit Wine prefix in $WINEPREFIX, started with the loader in $WINE, and checks
# that a 64-bit Windows program runs in it. A first start that fails halfway (Wine then says "could
# not load kernel32.dll") leaves a prefix in which nothing runs: such a prefix is removed and made
# once more. If the second one fails too, this prints what Wine said and what it ran on, and fails.
#   wine_prefix.sh LOG
set -uo pipefail
log=$1
: "${WINE:?the Wine loader to use}" "${WINEPREFIX:?the prefix to make}"
mkdir -p "$(dirname "$WINEPREFIX")"

works() {
  [[ -f $WINEPREFIX/system.reg ]] &&
    [[ $(timeout 60 "$WINE" cmd /c echo ready </dev/null 2>>"$log" | tr -d '\r') == ready ]]
}

for attempt in 1 2; do
  rm -rf "$WINEPREFIX"
  echo "== making the prefix, attempt $attempt" >>"$log"
  timeout 180 "$WINE" wineboot --init >>"$log" 2>&1
  echo "wineboot: exit $?" >>"$log"
  timeout 60 wineserver -w >>"$log" 2>&1
  works && exit 0
  wineserver -k >/dev/null 2>&1
  wineserver -w >/dev/null 2>&1
done

{
  echo "Wine could not make a prefix in which a program runs: $WINEPREFIX"
  tail -30 "$log"
  echo "loader: $WINE ($(file -b "$WINE" 2>/dev/null | cut -d, -f1-2))"
  echo "wine packages: $(dpkg-query -W -f='${Package}:${Architecture} ${Version}  ' \
    wine wine64 'wine32:i386' libwine 'libwine:i386' 2>/dev/null)"
  echo "file system of the prefix: $(stat -f -c %T "$(dirname "$WINEPREFIX")")"
  df -h "$(dirname "$WINEPREFIX")" | tail -1
} >&2
exit 1
