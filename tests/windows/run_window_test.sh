#!/usr/bin/env bash
# run_window_test.sh DIR DRIVER VARNOOK STEPS [DPI]: the steps under Wine in Xvfb, in a Wine prefix
# in DIR made on first use (one per DPI; without one, 96) and a fresh DIR/NAME holding song4.mid and
# song20.mid (4 and 20 tracks).
# run_window_test.sh song N: a song of N tracks of four notes, 14 + 44 N bytes.
set -euo pipefail
note='\x60\x90\x3c\x64\x30\x80\x3c\0'  # after a quarter's rest, middle C for an eighth
song() { printf "MThd\0\0\0\6\0\1\0\x$(printf %02x "$1")\0\x60"; for ((i = 0; i < $1; i++)); do
  printf "MTrk\0\0\0\x24$note$note$note$note\0\xff\x2f\0"; done; }
[[ $1 == song ]] && { song "$2"; exit; }
work=$(realpath -m "$1")/$(basename "$4" .steps)  # the file dialogs give back canonical paths
rm -rf "$work" && mkdir -p "$work" && song 4 >"$work/song4.mid" && song 20 >"$work/song20.mid"
export WINEPREFIX=$(realpath -m "$1")/prefix${5:+-$5} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [[ ! -f $WINEPREFIX/system.reg ]]; then
  timeout 150 wine wineboot -i &>/dev/null
  # Wine takes the display's DPI from here, for every program started afterwards.
  [[ -z ${5:-} ]] || wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$5" /f \
    &>/dev/null
  wineserver -w
fi
trap 'wineserver -k 2>/dev/null || true' EXIT
timeout 110 xvfb-run -a -s "-screen 0 1024x768x24" wine "$2" "$3" "$4" "$work" 2>"$work/wine.log"
