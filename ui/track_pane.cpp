#include "ui/track_pane.h"

#include <cwchar>

#include "res/resource.h"
#include "song/song.h"
#include "ui/main_window.h"
#include "ui/pane_layout.h"
#include "ui/track_controls.h"

namespace {

constexpr int kTrackButtonTextUnits = 20;
// BS_RADIOBUTTON, not BS_AUTORADIOBUTTON: a press only reports; the check
// comes from refreshTrackControls. No tab stop, no group.
constexpr DWORD kTrackButtonStyle = WS_CHILD | WS_VISIBLE | BS_RADIOBUTTON | BS_PUSHLIKE;

int32_t& storedPosition(int bar) { return bar == SB_HORZ ? app.paneScrollX : app.paneScrollY; }

// Moves the content, buttons included, by the difference between the
// position it was last brought to and `position`. Moving the thumb down or
// right gives a negative delta and moves the buttons up or left.
void moveContentTo(HWND window, int bar, int32_t position) {
  int32_t& stored = storedPosition(bar);
  const int32_t delta = stored - position;
  stored = position;
  if (delta == 0) return;
  if (bar == SB_HORZ)
    ScrollWindow(window, delta, 0, nullptr, nullptr);
  else
    ScrollWindow(window, 0, delta, nullptr, nullptr);
}

void setBar(HWND window, int bar, int32_t extent) {
  SCROLLINFO info = {};
  info.cbSize = sizeof info;
  info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  info.nMin = 1;
  info.nMax = extent;
  info.nPage = static_cast<UINT>(extent);
  info.nPos = 1;
  SetScrollInfo(window, bar, &info, FALSE);
}

// Puts every button of the pane at its unscrolled place for app.layoutDpi, in the
// pane's font, and sets both bars to the top of content of that size. A
// button made at run time gets no font of its own: without one it would draw
// in the bold System font, not the dialog's.
void layOutButtons(HWND window) {
  const WPARAM font = static_cast<WPARAM>(SendMessageW(window, WM_GETFONT, 0, 0));
  int32_t count = 0;
  for (HWND button; (button = GetDlgItem(window, IDC_TRACK_BUTTON_FIRST + count)) != nullptr;
       ++count) {
    const PixelRect rect = trackButtonRect(count, app.layoutDpi);
    SetWindowPos(button, nullptr, rect.x, rect.y, rect.width, rect.height,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageW(button, WM_SETFONT, font, TRUE);
  }
  RECT client;
  GetClientRect(window, &client);
  // The page equals the range until the next WM_SIZE sets the real client
  // size, so neither bar can scroll before then.
  setBar(window, SB_HORZ, client.right - client.left);
  setBar(window, SB_VERT, paneContentHeight(count, app.layoutDpi));
  app.paneScrollY = 1;
  app.paneScrollX = 1;
}

void onTrackPaneCommand(HWND window, WORD id) {
  if (id >= IDC_TRACK_BUTTON_FIRST && id <= IDC_TRACK_BUTTON_LAST) {
    app.currentSong->selectedTrack = static_cast<uint8_t>(id - IDC_TRACK_BUTTON_FIRST);
    refreshTrackControls();
  }
  if (id == IDOK || id == IDCANCEL) EndDialog(window, 0);
}

int32_t scrollTarget(HWND window, int bar, int32_t request) {
  SCROLLINFO info = {};
  info.cbSize = sizeof info;
  info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS | SIF_TRACKPOS;
  GetScrollInfo(window, bar, &info);
  ScrollBarState state;
  state.nMin = info.nMin;
  state.nMax = info.nMax;
  state.nPage = static_cast<int32_t>(info.nPage);
  state.nPos = info.nPos;
  state.nTrackPos = info.nTrackPos;
  return scrollTargetFor(state, request);
}

void scrollPane(HWND window, int bar, int32_t request) {
  const int32_t position = scrollTarget(window, bar, request);
  if (position == kScrollIgnored) return;
  SetScrollPos(window, bar, position, TRUE);
  moveContentTo(window, bar, position);
}

void onPaneSize(HWND window, int32_t sizeType, int16_t width, int16_t height) {
  if (sizeType != kSizeRestored && sizeType != kSizeMaximized) return;
  const int bars[2] = {SB_HORZ, SB_VERT};
  const int32_t pages[2] = {width, height};
  for (int k = 0; k < 2; ++k) {
    SCROLLINFO info = {};
    info.cbSize = sizeof info;
    info.fMask = SIF_PAGE;
    info.nPage = static_cast<UINT>(pages[k]);
    // The platform keeps the position within the new limits; if the larger
    // page pushed it back, the content has to follow.
    SetScrollInfo(window, bars[k], &info, TRUE);
    info.fMask = SIF_RANGE | SIF_POS;
    GetScrollInfo(window, bars[k], &info);
    if (paneNeedsRealign(sizeType, info.nMin, info.nMax, info.nPos, pages[k]))
      moveContentTo(window, bars[k], info.nPos);
    // A bar that was hidden while its page covered the whole range is not
    // shown again by a new page alone: the platform re-shows it only when the
    // range is set. Without it, tracks below the visible ones could not be
    // reached, so show it once the content no longer fits. Showing it shrinks
    // the client area, and the WM_SIZE that follows has already set both bars
    // for the new size: this one is done.
    const DWORD barStyle = bars[k] == SB_HORZ ? WS_HSCROLL : WS_VSCROLL;
    const bool hidden = (GetWindowLongW(window, GWL_STYLE) & barStyle) == 0;
    if (hidden && info.nMax - info.nMin + 1 > pages[k]) {
      ShowScrollBar(window, bars[k], TRUE);
      return;
    }
  }
}

BOOL initTrackPane(HWND window) {
  const int32_t trackCount = app.currentSong != nullptr ? app.currentSong->trackCount : 0;
  for (int32_t i = 0; i < trackCount; ++i) {
    wchar_t text[kTrackButtonTextUnits];
    std::swprintf(text, kTrackButtonTextUnits, L"Track %d", static_cast<int>(i + 1));
    // Placed and given their font with the others just below.
    CreateWindowExW(0, L"BUTTON", text, kTrackButtonStyle, 0, 0, 0, 0, window,
                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_TRACK_BUTTON_FIRST + i)),
                    app.instanceHandle, nullptr);
  }
  layOutButtons(window);
  return FALSE;
}

INT_PTR CALLBACK trackPaneProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SIZE:
      onPaneSize(window, static_cast<int32_t>(wParam), static_cast<int16_t>(LOWORD(lParam)),
                 static_cast<int16_t>(HIWORD(lParam)));
      break;
    case WM_INITDIALOG:
      // FALSE: the dialog manager puts no focus into the pane.
      return initTrackPane(window);
    case WM_COMMAND:
      onTrackPaneCommand(window, LOWORD(wParam));
      break;
    case WM_HSCROLL:
      scrollPane(window, SB_HORZ, LOWORD(wParam));
      break;
    case WM_VSCROLL:
      scrollPane(window, SB_VERT, LOWORD(wParam));
      break;
    default:
      break;
  }
  return FALSE;
}

}  // namespace

void openTrackPane() {
  // The pane's WM_INITDIALOG runs inside this call, so its buttons are those
  // of the song current right now.
  app.trackPaneHandle = CreateDialogParamW(app.instanceHandle, MAKEINTRESOURCEW(IDD_TRACK_PANE),
                                           app.mainWindowHandle, trackPaneProc, 0);
  ShowWindow(app.trackPaneHandle, SW_SHOW);
  placeTrackPane();
}

void relayOutTrackPane() {
  layOutButtons(app.trackPaneHandle);
  placeTrackPane();
  // The pane may have kept its size, and then no WM_SIZE comes to set the
  // pages for the content just laid out.
  RECT client;
  GetClientRect(app.trackPaneHandle, &client);
  onPaneSize(app.trackPaneHandle, kSizeRestored, static_cast<int16_t>(client.right),
             static_cast<int16_t>(client.bottom));
}
