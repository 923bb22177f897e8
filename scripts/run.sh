#!/bin/bash
# Builds the Windows program with the windows preset and starts it under Wine.
# Without a display (no DISPLAY set) it says so and shows how to use the
# command-line tool instead. Installs what it needs through
# scripts/install-deps.sh (mingw-w64, Wine, ...), which uses apt-get.
#
# Usage: scripts/run.sh            (VARNOOK_BUILD overrides build/windows)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${VARNOOK_BUILD:-$root/build/windows}

if [ -x "$root/scripts/install-deps.sh" ] || [ -f "$root/scripts/install-deps.sh" ]; then
  bash "$root/scripts/install-deps.sh"
fi

cd "$root"
cmake --preset windows -B "$build" >/dev/null
cmake --build "$build" -j2 --target varnook
echo "built $build/varnook.exe"

if [ -z "${DISPLAY:-}" ]; then
  echo "No display: varnook.exe is a window and needs one (set DISPLAY, or start it"
  echo "unseen under xvfb-run). Here is the command-line tool over the same core instead."
  cmake --preset native >/dev/null
  cmake --build --preset native --target varnook-cli
  # A small song of our own: two tracks of four notes.
  example="$root/build/example"
  mkdir -p "$example"
  bash "$root/scripts/example_song.sh" 2 >"$example/scale.mid"
  "$root/build/native/varnook-cli" "$example/scale.mid" -o "$example/scale-humanised.mid" \
    --time-shift 2=12 --pitch-shift 2=8
  echo
  echo "The humanised song is $example/scale-humanised.mid"
  echo "Usage: build/native/varnook-cli [OPTIONS] INPUT [-o OUTPUT]   (build/native/varnook-cli --help)"
  exit 0
fi

export WINEDEBUG=${WINEDEBUG:--all}
exec wine "$build/varnook.exe"
