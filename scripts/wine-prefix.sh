#!/usr/bin/env bash
# wine-prefix.sh PREFIX [DPI]: makes the Wine prefix PREFIX on first use, with the display at DPI
# (default 96). Every Wine run of the project starts here: the tests, the window tests, the
# screenshots.
set -euo pipefail
export WINEPREFIX=$1 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [[ -f $WINEPREFIX/system.reg ]]; then
  exit 0
fi
mkdir -p "$(dirname "$WINEPREFIX")"
# Its output to a file: the services this first call starts would hold a caller's pipe open.
timeout 150 wine wineboot -i &>/dev/null || true
if [[ -n ${2:-} ]]; then
  # Wine takes the display's DPI from here, for every program started afterwards.
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$2" /f &>/dev/null
fi
wineserver -w || true
