// The main dialog (template IDD_MAIN): start-up, the application state the
// window code shares, the command table, the two amount sliders and the
// placing of the track pane inside the "Tracks" group box.
//
// Everything here runs on the one user-interface thread. refreshTrackControls
// needs a current song; the others work with or without one.
#pragma once

#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include <cstdint>

struct Song;

// The one current song; null until the first successful load, replaced only
// by loading.
extern Song* currentSong;
extern HINSTANCE instanceHandle;  // the program's module; every resource comes from it
extern HWND mainWindowHandle;     // the main dialog, set first thing at its WM_INITDIALOG
extern HWND trackPaneHandle;      // the current track pane, replaced by every load
// The DPI the window's own pixel figures are laid out for: the display's when
// the window opens, the new one's when it moves to a monitor of another scale.
extern int32_t layoutDpi;

// Files handed to the program at once, on its command line or in one drop:
// the first one's path and how many there were.
struct FilesToOpen {
  const wchar_t* first = nullptr;
  int count = 0;
};

INT_PTR CALLBACK mainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Sets the window up; when the command line named files, their opening is
// posted, to run once the window is shown.
BOOL initMainWindow(HWND window);
void dispatchCommand(WORD id, HWND window);

// A slider moved: `position` is the thumb position from the notification (0
// for everything but a drag), `control` the trackbar that sent it. The value
// stored and shown is kept within that slider's range, whatever the message
// carried.
void onSliderScroll(int16_t position, HWND control);

// Files dropped onto the window: the first is opened, as by Load.
void onDropFiles(HDROP drop);

// Opens the files the command line named, once.
void onOpenCommandLineFiles();

// Opens files.first exactly as Load does after its dialog, and logs one line
// when files.count says that more were given and left unopened.
void openFirstFile(const FilesToOpen& files);

// Shows the selected track of currentSong: its button checked, both sliders
// and labels at its amounts. Never writes into the song.
void refreshTrackControls();

// Fits trackPaneHandle into group box IDC_TRACKS_GROUP and shows it.
void placeTrackPane();

// The window moved to a display of `dpi` (WM_DPICHANGED): it takes the
// rectangle the system suggests, and once the dialog manager has scaled its
// own controls, the pane and its buttons are laid out anew for `dpi`.
void onDpiChanged(int32_t dpi, const RECT& suggested);
