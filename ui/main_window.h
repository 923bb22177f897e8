// The main dialog (template IDD_MAIN): start-up, the command table and the
// placing of the track pane inside the "Tracks" group box; and the window's
// state, which every part of the window shares.
//
// Everything here runs on the one user-interface thread. placeTrackPane
// works with or without a current song.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "ui/pane_layout.h"
#include "ui/track_settings.h"
#include "ui/undo_history.h"

struct Song;

// Files handed to the program at once, on its command line or in one drop:
// the first one's path and how many there were.
struct FilesToOpen {
  const wchar_t* first = nullptr;
  int count = 0;
};

// The state of the window, in one place.
struct AppState {
  // The one current song; null until the first successful load, replaced
  // only by loading.
  Song* currentSong = nullptr;
  // The current song's file as it was read: each musical take starts from
  // it. Replaced by every successful load.
  std::vector<uint8_t> loadedBytes;
  // The style of the next press, and the amounts of every track the pane
  // shows in both styles, the selected one's on the sliders. Load sets every
  // amount to 0; Undo brings back those of the state it returns to.
  PressStyle style = PressStyle::kClassic;
  SongSettings settings;
  // The states before each press since the load, within this many bytes of
  // file images (a few thousand presses of a song of the usual size).
  UndoHistory history{size_t{128} << 20, {}, 0};
  // While set, appendLog writes nothing: a song read again for a take or an
  // undo would otherwise repeat the reader's lines.
  bool logMuted = false;
  // Ctrl+Z for Edit > Undo.
  HACCEL accelerators = nullptr;
  HINSTANCE instanceHandle = nullptr;  // the program's module; every resource comes from it
  HWND mainWindowHandle = nullptr;     // the main dialog, set first thing at its WM_INITDIALOG
  HWND trackPaneHandle = nullptr;      // the current track pane, replaced by every load
  // The DPI the window's own pixel figures are laid out for: the display's
  // when the window opens, the new one's when it moves to a monitor of
  // another scale.
  int32_t layoutDpi = kBaseDpi;
  // The scroll positions last applied to the current pane's content, in
  // pixels; both start at 1 whenever a pane is initialised.
  int32_t paneScrollX = 1;
  int32_t paneScrollY = 1;
  // The files named on the command line, until they are opened. The message
  // that opens them carries no pointer: a stray or repeated one finds
  // nothing left to open.
  FilesToOpen commandLineFiles;
  // The window's icons, each loaded at the size the system draws it: the
  // small one in the title bar, the big one in Alt+Tab and the taskbar.
  HICON bigIcon = nullptr;
  HICON smallIcon = nullptr;
};
extern AppState app;

// Fits the track pane into group box IDC_TRACKS_GROUP and shows it.
void placeTrackPane();
