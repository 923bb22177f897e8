#!/usr/bin/env bash
# The window test under Wine in Xvfb (needs wine64 and xvfb).
#   run_window_test.sh prepare DIR                   a private Wine prefix in DIR
#   run_window_test.sh run DIR DRIVER VARNOOK STEPS  the steps, in a fresh DIR/NAME
set -euo pipefail
dir=$(realpath -m "$2")
export WINEPREFIX=$dir/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [[ $1 == prepare ]]; then
  rm -rf "$dir" && mkdir -p "$dir"
  timeout -k 10 150 wine wineboot -i >"$dir/boot.log" 2>&1 || { cat "$dir/boot.log"; exit 1; }
  timeout 60 wineserver -w || true
  exit 0
fi
# The file dialogs hand back canonical paths, and the steps expect them.
work=$dir/$(basename "$5" .steps)
rm -rf "$work" && mkdir -p "$work"
status=0
timeout -k 10 110 xvfb-run -a -s "-screen 0 1024x768x24" \
  wine "$3" "$4" "$5" "$work" 2>"$work/wine.log" || status=$?
wineserver -k 2>/dev/null || true
exit $status
