#!/bin/bash
# Starts varnook.exe under Wine in Xvfb (Wine's own desktop, so the title bar
# shows), photographs the start state, loads a MIDI file through the real open
# dialog, selects track 2 and moves the sliders, photographs again, pages the
# track pane down and photographs it, then shows the About box and
# photographs that.
#
# Usage: scripts/screenshot.sh [OUT_DIR] [MIDI_FILE]
#   OUT_DIR    where the PNGs go (default /tmp/varnook-shots)
#   MIDI_FILE  the file to load (default: the first sample with 2+ tracks)
# Needs: wine, xvfb, imagemagick (import), mingw-w64 (to build the program and
# a tiny helper that drives the window by its control ids).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-/tmp/varnook-shots}
midi=${2:-}
build=${VARNOOK_BUILD:-/tmp/varnook-shot-build}
mkdir -p "$out"

if [ -z "$midi" ]; then
  for f in "$root"/../shared/testdata/midi/*.mid; do
    [ -e "$f" ] || break
    # Enough tracks to show a few buttons, small enough to load at once.
    tracks=$(grep -ao MTrk "$f" | wc -l)
    if [ "${tracks:-0}" -ge 3 ] && [ "$(stat -c %s "$f")" -lt 200000 ]; then midi=$f; break; fi
  done
fi
[ -n "$midi" ] || { echo "no MIDI file to load: pass one as the second argument" >&2; exit 1; }
# A name that does not exist would leave the open dialog asking whether to
# create it, with nobody to answer.
[ -f "$midi" ] || { echo "no such file: $midi" >&2; exit 1; }

cmake --preset windows -B "$build" >/dev/null
cmake --build "$build" -j2 --target varnook >/dev/null

# The helper: finds the main dialog by class and caption, posts commands to
# it and answers the open dialog by typing the path into its file name box.
helper_src=$(mktemp --suffix=.cpp)
helper=$build/shot_helper.exe
cat >"$helper_src" <<'EOF'
#include <windows.h>
#include <commctrl.h>
#include <cstdio>
#include <cwchar>
#include <string>

static HWND found;
static BOOL CALLBACK findMain(HWND w, LPARAM) {
  wchar_t cls[64], text[64];
  GetClassNameW(w, cls, 64);
  GetWindowTextW(w, text, 64);
  if (wcscmp(cls, L"#32770") == 0 && wcscmp(text, L"Varnook") == 0 && IsWindowVisible(w)) { found = w; return FALSE; }
  return TRUE;
}
static HWND ownedDialog(HWND owner) {
  for (HWND w = GetTopWindow(nullptr); w; w = GetWindow(w, GW_HWNDNEXT)) {
    wchar_t cls[64];
    GetClassNameW(w, cls, 64);
    if (wcscmp(cls, L"#32770") == 0 && GetWindow(w, GW_OWNER) == owner && IsWindowVisible(w)) return w;
  }
  return nullptr;
}
static std::wstring text(HWND w) {
  int n = (int)SendMessageW(w, WM_GETTEXTLENGTH, 0, 0);
  std::wstring s(n + 1, L'\0');
  SendMessageW(w, WM_GETTEXT, n + 1, (LPARAM)s.data());
  s.resize(n);
  return s;
}
static HWND paneOf(HWND main) {
  for (HWND c = GetWindow(main, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    wchar_t cls[64];
    GetClassNameW(c, cls, 64);
    if (wcscmp(cls, L"#32770") == 0 && IsWindowVisible(c)) return c;
  }
  return nullptr;
}
static void slider(HWND main, int id, int value) {
  HWND s = GetDlgItem(main, id);
  SendMessageW(s, TBM_SETPOS, TRUE, value);
  SendMessageW(main, WM_HSCROLL, MAKEWPARAM(TB_ENDTRACK, 0), (LPARAM)s);
}
int wmain(int argc, wchar_t** argv) {
  for (int i = 0; i < 200 && !found; ++i) { EnumWindows(findMain, 0); if (!found) Sleep(100); }
  if (!found) { std::fprintf(stderr, "main window not found\n"); return 1; }
  HWND main = found;
  for (int a = 1; a < argc; ++a) {
    std::wstring op = argv[a];
    if (op == L"load" || op == L"save") {
      PostMessageW(main, WM_COMMAND, op == L"load" ? 32771 : 32774, 0);
      HWND dlg = nullptr;
      for (int i = 0; i < 100 && !dlg; ++i) { Sleep(100); dlg = ownedDialog(main); }
      if (!dlg) { std::fprintf(stderr, "no file dialog\n"); return 1; }
      HWND box = GetDlgItem(dlg, 1148), edit = box;
      if (HWND combo = FindWindowExW(box, nullptr, L"ComboBox", nullptr)) edit = FindWindowExW(combo, nullptr, L"Edit", nullptr);
      SendMessageW(edit ? edit : box, WM_SETTEXT, 0, (LPARAM)argv[++a]);
      PostMessageW(dlg, WM_COMMAND, IDOK, 0);
      for (int i = 0; i < 100 && IsWindow(dlg); ++i) Sleep(100);
      Sleep(300);
    } else if (op == L"track") {
      PostMessageW(paneOf(main), WM_COMMAND, 10000 + _wtoi(argv[++a]) - 1, 0);
      Sleep(200);
    } else if (op == L"time" || op == L"pitch") {
      slider(main, op == L"time" ? 1004 : 1007, _wtoi(argv[++a]));
    } else if (op == L"transform") {
      SendMessageW(main, WM_COMMAND, 1008, 0);
    } else if (op == L"about") {
      PostMessageW(main, WM_COMMAND, 104, 0);
      HWND box = nullptr;
      for (int i = 0; i < 100 && !box; ++i) { Sleep(100); box = ownedDialog(main); }
      if (box) std::printf("about: %ls\n", text(GetDlgItem(box, 1010)).c_str());
    } else if (op == L"close-about") {
      if (HWND box = ownedDialog(main)) PostMessageW(box, WM_COMMAND, IDOK, 0);
      Sleep(300);
    } else if (op == L"log") {
      std::printf("%ls\n", text(GetDlgItem(main, 1006)).c_str());
    } else if (op == L"vscroll") {
      SendMessageW(paneOf(main), WM_VSCROLL, MAKEWPARAM(_wtoi(argv[++a]), 0), 0);
    } else if (op == L"exit") {
      PostMessageW(main, WM_COMMAND, IDCANCEL, 0);
    } else if (op == L"wait") {
      Sleep(_wtoi(argv[++a]));
    }
  }
  return 0;
}
EOF
x86_64-w64-mingw32-g++-posix -O1 -municode -static -o "$helper" "$helper_src" -lcomctl32
rm -f "$helper_src"

# A prefix of its own whose every program runs on one virtual desktop of
# 800 x 640 (Wine's "Default" desktop): the window gets its title bar and the
# helper sees the same desktop as the program.
export WINEPREFIX=${VARNOOK_SHOT_PREFIX:-$build/shot-wine/prefix} WINEDEBUG=-all
if [ ! -d "$WINEPREFIX" ]; then
  mkdir -p "$WINEPREFIX"
  wine wineboot -i >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 800x640 /f >/dev/null 2>&1
  wineserver -w
fi

winpath="Z:$(realpath "$midi" | tr / '\\')"
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  set -eu
  wine "$0" >/dev/null 2>&1 &
  wine "$1" wait 1500
  import -window root "$2/start.png"
  wine "$1" load "$3" track 2 time 50 pitch 12 wait 500
  import -window root "$2/loaded.png"
  wine "$1" vscroll 3 wait 300
  import -window root "$2/scrolled.png"
  wine "$1" about wait 500
  import -window root "$2/about.png"
  wine "$1" close-about exit >/dev/null 2>&1
  sleep 1
  wineserver -k || true
' "$build/varnook.exe" "$helper" "$out" "$winpath"
echo "screenshots in $out: start.png loaded.png scrolled.png about.png"
