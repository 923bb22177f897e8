#!/bin/bash
# Starts varnook.exe under Wine in Xvfb on Wine's own desktop (so the title
# bar shows) and drives it with the window test's step interpreter through
# scripts/screenshot.steps: the start state, a song loaded with track 2's
# amounts set, the same in the musical style after a take, a 16-track pane
# paged down, and the About box, one PNG each.
#
# Usage: [VARNOOK_SHOT_DPI=144] scripts/screenshot.sh [OUT_DIR] [MIDI_FILE]
#   OUT_DIR    where the PNGs go (default /tmp/varnook-shots)
#   MIDI_FILE  the file to load (default: the first sample with 3+ tracks)
#   VARNOOK_SHOT_DPI  the display's DPI (default 96; 144 is 150 % scale), with a
#              Wine prefix of its own and a desktop grown to match
# Needs: wine, xvfb, imagemagick (import), mingw-w64 (to build the program
# and the driver).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "${1:-/tmp/varnook-shots}")
midi=${2:-}
build=${VARNOOK_BUILD:-/tmp/varnook-shot-build}
mkdir -p "$out"
rm -f "$out"/{start,loaded,musical,scrolled,about}.png

if [ -z "$midi" ]; then
  for f in "$root"/../shared/testdata/midi/*.mid; do
    [ -e "$f" ] || break
    # Enough tracks to show a few buttons, small enough to load at once.
    tracks=$(grep -ao MTrk "$f" | wc -l)
    if [ "${tracks:-0}" -ge 3 ] && [ "$(stat -c %s "$f")" -lt 200000 ]; then midi=$f; break; fi
  done
fi
[ -n "$midi" ] || { echo "no MIDI file to load: pass one as the second argument" >&2; exit 1; }
[ -f "$midi" ] || { echo "no such file: $midi" >&2; exit 1; }

cmake --preset windows -B "$build" >/dev/null
cmake --build "$build" -j2 --target varnook varnook_window_driver >/dev/null

dpi=${VARNOOK_SHOT_DPI:-96}
size=$((800 * dpi / 96))x$((640 * dpi / 96))
suffix=$([ "$dpi" = 96 ] || echo "-$dpi")
export WINEPREFIX=${VARNOOK_SHOT_PREFIX:-$build/shot-wine/prefix$suffix} WINEDEBUG=-all
# The About box shows the version this build made.
export VARNOOK_VERSION=$(sed -n 's/^#define VARNOOK_VERSION_TEXT "\(.*\)"$/\1/p' "$build/generated/varnook_version.h")
bash "$root/scripts/wine-prefix.sh" "$WINEPREFIX" "$dpi"

work=$out/work
rm -rf "$work" && mkdir -p "$work"
cp "$midi" "$work/shot.mid"
bash "$root/scripts/example_song.sh" 16 >"$work/sixteen.mid"
# The steps ask for a picture by making NAME.shot in the work folder and
# wait until it is gone: take the picture of the whole screen, then delete it.
xvfb-run -a -s "-screen 0 ${size}x24" bash -c '
  while sleep 0.2; do
    for request in "$2"/*.shot; do
      [ -e "$request" ] || continue
      sleep 0.5  # let the window finish painting
      import -window root -crop "$5+0+0" "$3/$(basename "$request" .shot).png"
      rm "$request"
    done
  done &
  wine explorer /desktop=varnook,"$5" "$1/tests/varnook_window_driver.exe" \
    "$1/varnook.exe" "$4" "$2"
  status=$?
  kill %1
  wineserver -k || true
  exit $status
' _ "$build" "$work" "$out" "$root/scripts/screenshot.steps" "$size"
rm -rf "$work"
# explorer's exit status is not the driver's: a failed step shows as a missing picture.
for shot in start loaded musical scrolled about; do
  [ -f "$out/$shot.png" ] || { echo "no $shot.png: a step failed (see above)" >&2; exit 1; }
done
echo "screenshots in $out: start.png loaded.png musical.png scrolled.png about.png"
