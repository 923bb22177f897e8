#!/usr/bin/env bash
# run_window_test.sh DIR DRIVER VARNOOK STEPS [DPI]: the steps under Wine in Xvfb, in the Wine
# prefix $WINEPREFIX or DIR/prefix (with "-DPI" after it at another DPI than 96) and a fresh
# DIR/NAME holding song4.mid and song20.mid (4 and 20 tracks) and text.mid (no MIDI file).
set -euo pipefail
work=$(realpath -m "$1")/$(basename "$4" .steps)  # the file dialogs give back canonical paths
rm -rf "$work"
mkdir -p "$work"
song=$(dirname "$0")/../../scripts/example_song.sh
bash "$song" 4 >"$work/song4.mid"
bash "$song" 20 >"$work/song20.mid"
echo "not a song" >"$work/text.mid"
export WINEPREFIX=${WINEPREFIX:-$(realpath -m "$1")/prefix}${5:+-$5} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
bash "$(dirname "$0")/../../scripts/wine-prefix.sh" "$WINEPREFIX" "${5:-}"
trap 'wineserver -k 2>/dev/null || true' EXIT
timeout 110 xvfb-run -a -s "-screen 0 1024x768x24" wine "$2" "$3" "$4" "$work" 2>"$work/wine.log"
