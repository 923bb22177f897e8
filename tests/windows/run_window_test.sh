#!/usr/bin/env bash
# run_window_test.sh DIR DRIVER VARNOOK STEPS [DPI]: the steps under Wine in Xvfb, in the Wine
# prefix $WINEPREFIX or DIR/prefix (with "-DPI" after it at another DPI than 96) and a fresh
# DIR/NAME holding song4.mid and song20.mid (4 and 20 tracks) and text.mid (no MIDI file).
# run_window_test.sh song N: a song of N tracks of four notes, each on its own channel, 14 + 44 N bytes.
set -euo pipefail
song() { printf "MThd\0\0\0\6\0\1\0\x$(printf %02x "$1")\0\x60"; for ((i = 0; i < $1; i++)); do
  c=$(printf %x $((i % 16)))  # track N on channel N; after a quarter's rest, middle C for an eighth
  note="\x60\x9$c\x3c\x64\x30\x8$c\x3c\0"
  printf "MTrk\0\0\0\x24$note$note$note$note\0\xff\x2f\0"; done; }
if [[ $1 == song ]]; then
  song "$2"
  exit
fi
work=$(realpath -m "$1")/$(basename "$4" .steps)  # the file dialogs give back canonical paths
rm -rf "$work"
mkdir -p "$work"
song 4 >"$work/song4.mid"
song 20 >"$work/song20.mid"
echo "not a song" >"$work/text.mid"
export WINEPREFIX=${WINEPREFIX:-$(realpath -m "$1")/prefix}${5:+-$5} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
bash "$(dirname "$0")/../../scripts/wine-prefix.sh" "$WINEPREFIX" "${5:-}"
trap 'wineserver -k 2>/dev/null || true' EXIT
timeout 110 xvfb-run -a -s "-screen 0 1024x768x24" wine "$2" "$3" "$4" "$work" 2>"$work/wine.log"
