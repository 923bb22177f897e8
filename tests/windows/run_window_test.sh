#!/usr/bin/env bash
# Runs one end-to-end scenario of the real window under Wine in Xvfb.
#   run_window_test.sh prepare DIR
#       makes the private Wine prefix DIR/prefix (wineboot, once per run)
#   run_window_test.sh run DIR DRIVER_EXE VARNOOK_EXE SCENARIO [SAMPLE_DIR]
#       starts the driver, which starts and drives varnook.exe; after the
#       workflow scenario, checks the saved files with mido.
# Needs wine, xvfb-run (xvfb) and /usr/bin/python3 with mido (python3-mido).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
mode=$1
dir=$(realpath -m "$2")
export WINEPREFIX=$dir/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

need() {
  command -v "$1" >/dev/null || { echo "FAIL: '$1' is missing (apt-get install -y $2)"; exit 1; }
}
need wine wine64
need wineserver wine64
need xvfb-run xvfb

case $mode in
prepare)
  rm -rf "$dir"
  mkdir -p "$dir"
  timeout -k 10 150 wine wineboot -i >"$dir/wineboot.log" 2>&1 || { cat "$dir/wineboot.log"; exit 1; }
  timeout 60 wineserver -w || true
  echo "Wine prefix ready: $WINEPREFIX"
  ;;
run)
  driver=$3 program=$4 scenario=$5 samples=${6:-}
  /usr/bin/python3 -c 'import mido' 2>/dev/null ||
    { echo "FAIL: /usr/bin/python3 has no mido (apt-get install -y python3-mido)"; exit 1; }
  [[ -d $WINEPREFIX ]] || { echo "FAIL: no Wine prefix at $WINEPREFIX (run the window_e2e_prefix test first)"; exit 1; }
  work=$dir/$scenario
  rm -rf "$work"
  mkdir -p "$work"
  # The file dialogs hand back canonical paths; the driver compares log lines
  # with the path it typed, so it types canonical ones.
  if [[ -n $samples && -d $samples ]]; then
    samples=$(realpath "$samples")
  else
    echo "note: no sample folder '$samples'; real-file steps are skipped"
    samples=""
  fi
  status=0
  timeout -k 10 240 xvfb-run -a -s "-screen 0 1024x768x24" \
    wine "$driver" "$program" "$scenario" "$work" $samples 2>"$work/wine-stderr.log" || status=$?
  wineserver -k 2>/dev/null || true
  if [[ $status -ne 0 ]]; then
    echo "FAIL: driver exited with $status (Wine's messages: $work/wine-stderr.log)"
    grep -v -e 'Read access denied for device' -e '^$' "$work/wine-stderr.log" | tail -n 20 || true
    exit 1
  fi
  if [[ $scenario == workflow ]]; then
    /usr/bin/python3 "$here/check_saved_song.py" "$work/song.mid" "$work/out.mid" "$work/plan.txt"
    if [[ -f $work/sample-out.mid ]]; then
      /usr/bin/python3 "$here/check_saved_song.py" --well-formed-only "$work/sample-out.mid"
    fi
  fi
  ;;
*)
  echo "usage: $0 prepare DIR | run DIR DRIVER_EXE VARNOOK_EXE SCENARIO [SAMPLE_DIR]"
  exit 2
  ;;
esac
