// The track pane (template IDD_TRACK_PANE): a child dialog inside the
// "Tracks" group box with one push-like radio button "Track %d" per loaded
// track (ids IDC_TRACK_BUTTON_FIRST + i), scrolled pixel by pixel with its own
// window scroll bars. The buttons are made once from currentSong when a pane
// opens; a new load opens a new pane.
#pragma once

#include <windows.h>

#include <cstdint>

// The scroll positions last applied to the current pane's content, in
// pixels; both start at 1 whenever a pane is initialised.
extern int32_t paneScrollX;
extern int32_t paneScrollY;

// Creates a pane from currentSong, makes it trackPaneHandle, shows it and
// places it in the group box.
void openTrackPane();

// Lays the current pane out anew for layoutDpi: the buttons at their places
// in the pane's font, both bars back at the top, the pane fitted to its box.
void relayOutTrackPane();

INT_PTR CALLBACK trackPaneProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

BOOL initTrackPane(HWND window);
void onPaneSize(HWND window, int32_t sizeType, int16_t width, int16_t height);
void scrollPane(HWND window, int bar, int32_t request);

// The position that `request` leads to on `bar` of `window`, or -1 when the
// request changes nothing.
int32_t scrollTarget(HWND window, int bar, int32_t request);
