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
  cat <<MSG
No display: varnook.exe is a window and needs one (set DISPLAY, or run this
under xvfb-run to start it unseen). Without a display, use the command-line
tool over the same core:

  cmake --preset native && cmake --build --preset native
  build/native/cli/varnook-cli INPUT.mid -o OUTPUT.mid --time-shift 1=20 --pitch-shift 1=8
MSG
  exit 0
fi

export WINEDEBUG=${WINEDEBUG:--all}
exec wine "$build/varnook.exe"
