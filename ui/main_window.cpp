#include "ui/main_window.h"

#include <commctrl.h>

#include <algorithm>
#include <ctime>

#include "res/resource.h"
#include "song/log.h"
#include "song/song.h"
#include "transform/classic_press.h"
#include "ui/about_box.h"
#include "ui/amount_label.h"
#include "ui/dropped_files.h"
#include "ui/file_commands.h"
#include "ui/pane_layout.h"
#include "ui/track_pane.h"

Song* currentSong = nullptr;
HINSTANCE instanceHandle = nullptr;
HWND mainWindowHandle = nullptr;
HWND trackPaneHandle = nullptr;
int32_t layoutDpi = kBaseDpi;

namespace {

// Posted at WM_INITDIALOG when the command line names files, so that they are
// opened once the window is up.
constexpr UINT kOpenCommandLineFiles = WM_APP + 1;
// Posted at WM_DPICHANGED: lays the pane out for the new DPI after the dialog
// manager, which may rescale a dialog's children as it handles the change.
constexpr UINT kLayOutTrackPane = WM_APP + 2;

// Not in the headers: the message that carries a drop's data across
// processes, which an elevated window must let in as well as WM_DROPFILES.
constexpr UINT kCopyGlobalData = 0x0049;

// The window's icons, each loaded at the size the system draws it: the small
// one in the title bar, the big one in Alt+Tab and the taskbar.
HICON bigIcon = nullptr;
HICON smallIcon = nullptr;

// The files named on the command line, until they are opened. The message
// carries no pointer: a stray or repeated one finds nothing left to open.
FilesToOpen commandLineFiles;

// Transform: one classic press, seeded from the calendar clock in whole
// seconds (two presses within one second draw the same numbers).
void transformSong(Song& song) {
  ClassicRandom random = classicRandom(song, static_cast<uint32_t>(std::time(nullptr)));
  classicPress(song, random);
}

void setLabel(int labelId, int32_t value) {
  const AmountLabel label = amountLabelText(value);
  SendDlgItemMessageW(mainWindowHandle, labelId, WM_SETTEXT, 0,
                      reinterpret_cast<LPARAM>(label.text));
}

// One slider's share of onSliderScroll: take the value, keep it within the
// slider's range, store it in the selected track when there is a song, show
// it on the label.
void takeSliderValue(int sliderId, int labelId, int16_t position, int32_t maximum,
                     int32_t TrackSlot::*amount) {
  int32_t value = position;
  // The notification carries the thumb position only while it is dragged;
  // keys, clicks beside the thumb and the end of a drag report 0, so the
  // control itself is asked. A drag to 0 asks too, which gives 0 all the same.
  if (value == 0)
    value = static_cast<int32_t>(SendDlgItemMessageW(mainWindowHandle, sliderId, TBM_GETPOS, 0, 0));
  // Any window can send WM_HSCROLL with any high word. An amount past the
  // range would reach the transformer: a pitch shift above 64 makes bend
  // data bytes of 0x80 and more, which a file can't hold.
  value = std::clamp(value, int32_t{0}, maximum);
  if (currentSong != nullptr) currentSong->tracks[currentSong->selectedTrack].*amount = value;
  setLabel(labelId, value);
}

HICON loadIcon(int widthMetric, int heightMetric) {
  return static_cast<HICON>(LoadImageW(instanceHandle, MAKEINTRESOURCEW(IDI_VARNOOK), IMAGE_ICON,
                                       GetSystemMetrics(widthMetric),
                                       GetSystemMetrics(heightMetric), LR_DEFAULTCOLOR));
}

void setIcons(HWND window) {
  bigIcon = loadIcon(SM_CXICON, SM_CYICON);
  smallIcon = loadIcon(SM_CXSMICON, SM_CYSMICON);
  SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon));
  SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon));
}

// The DPI of the display the window is on. GetDpiForWindow (Windows 10 1607
// and later) is looked up at run time, so that the program still starts on
// systems without it; there the system's DPI serves: the one DPI of Windows 7
// and 8, the primary monitor's on 8.1, whose WM_DPICHANGED then corrects it.
int32_t displayDpi(HWND window) {
  using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
  // Through void (*)(), the one function type that converts to any other
  // without a warning.
  static const auto getDpiForWindow =
      reinterpret_cast<GetDpiForWindowFunction>(reinterpret_cast<void (*)()>(
          GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  if (getDpiForWindow != nullptr) {
    const UINT dpi = getDpiForWindow(window);
    if (dpi > 0) return static_cast<int32_t>(dpi);
  }
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : kBaseDpi;
}

// Run as administrator, the window would get no message from Explorer, which
// runs with less privilege: a drop would silently do nothing. These are the
// messages a drop is made of.
void letDropsIn(HWND window) {
  for (const UINT message : {UINT{WM_DROPFILES}, UINT{WM_COPYDATA}, kCopyGlobalData})
    ChangeWindowMessageFilterEx(window, message, MSGFLT_ALLOW, nullptr);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  instanceHandle = instance;
  // The template's sliders are common controls: their class must be
  // registered before the dialog is built from it.
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);
  // Explorer hands files over as arguments ("Open with", files dropped on
  // the program's icon). Only the UTF-16 command line carries every name
  // intact; the first argument is the program itself.
  int argumentCount = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &argumentCount);
  if (arguments != nullptr && argumentCount > 1)
    commandLineFiles = {arguments[1], argumentCount - 1};
  DialogBoxParamW(instanceHandle, MAKEINTRESOURCEW(IDD_MAIN), nullptr, mainDialogProc, 0);
  LocalFree(arguments);
  DestroyIcon(bigIcon);
  DestroyIcon(smallIcon);
  return 0;
}

INT_PTR CALLBACK mainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      return initMainWindow(window);
    case WM_COMMAND:
      dispatchCommand(LOWORD(wParam), window);
      return FALSE;
    case WM_HSCROLL:
      onSliderScroll(static_cast<int16_t>(HIWORD(wParam)), reinterpret_cast<HWND>(lParam));
      return FALSE;
    case WM_DROPFILES:
      onDropFiles(reinterpret_cast<HDROP>(wParam));
      return FALSE;
    case kOpenCommandLineFiles:
      onOpenCommandLineFiles();
      return FALSE;
    case WM_DPICHANGED:
      onDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
      return FALSE;
    case kLayOutTrackPane:
      relayOutTrackPane();
      return FALSE;
    default:
      return FALSE;
  }
}

BOOL initMainWindow(HWND window) {
  // The pane and the log find their controls through this handle, so it
  // comes before anything else.
  mainWindowHandle = window;
  // The pane is laid out for this DPI as it opens.
  layoutDpi = displayDpi(window);
  setIcons(window);
  openTrackPane();
  SendDlgItemMessageW(mainWindowHandle, IDC_TIME_SHIFT, TBM_SETRANGE, TRUE,
                      MAKELONG(0, kMaxTimeShift));
  SendDlgItemMessageW(mainWindowHandle, IDC_PITCH_SHIFT, TBM_SETRANGE, TRUE,
                      MAKELONG(0, kMaxPitchShift));
  // Asked for at run time, so the template keeps its styles: the window
  // takes files dragged onto it from Explorer.
  DragAcceptFiles(window, TRUE);
  letDropsIn(window);
  appendLog(L"Start");
  if (commandLineFiles.count > 0) PostMessageW(window, kOpenCommandLineFiles, 0, 0);
  // TRUE: the dialog manager focuses the first tab stop, the Exit button.
  return TRUE;
}

void dispatchCommand(WORD id, HWND window) {
  switch (id) {
    case IDCANCEL:  // the Exit button, Escape and the close box
      EndDialog(window, 0);
      break;
    case IDM_ABOUT:
      DialogBoxParamW(instanceHandle, MAKEINTRESOURCEW(IDD_ABOUT), window, aboutDialogProc, 0);
      break;
    case IDM_EXIT:
      // Destroying the modal dialog ends its loop as well.
      DestroyWindow(window);
      break;
    case IDC_TRANSFORM:
      if (currentSong != nullptr) transformSong(*currentSong);
      break;
    case ID_FILE_LOAD:
      loadSongFile();
      break;
    case ID_FILE_SAVE:
      saveSongFile();
      break;
    default:
      break;
  }
}

void onSliderScroll(int16_t position, HWND control) {
  if (control == GetDlgItem(mainWindowHandle, IDC_TIME_SHIFT))
    takeSliderValue(IDC_TIME_SHIFT, IDC_TIME_SHIFT_VALUE, position, kMaxTimeShift,
                    &TrackSlot::timeShift);
  if (control == GetDlgItem(mainWindowHandle, IDC_PITCH_SHIFT))
    takeSliderValue(IDC_PITCH_SHIFT, IDC_PITCH_SHIFT_VALUE, position, kMaxPitchShift,
                    &TrackSlot::pitchShift);
}

void refreshTrackControls() {
  const int selected = currentSong->selectedTrack;
  const TrackSlot& slot = currentSong->tracks[selected];
  CheckRadioButton(trackPaneHandle, IDC_TRACK_BUTTON_FIRST, IDC_TRACK_BUTTON_LAST,
                   IDC_TRACK_BUTTON_FIRST + selected);
  // TBM_SETPOS sends no WM_HSCROLL, so showing the amounts never stores them.
  SendDlgItemMessageW(mainWindowHandle, IDC_TIME_SHIFT, TBM_SETPOS, TRUE, slot.timeShift);
  setLabel(IDC_TIME_SHIFT_VALUE, slot.timeShift);
  SendDlgItemMessageW(mainWindowHandle, IDC_PITCH_SHIFT, TBM_SETPOS, TRUE, slot.pitchShift);
  setLabel(IDC_PITCH_SHIFT_VALUE, slot.pitchShift);
}

void placeTrackPane() {
  RECT box;
  GetWindowRect(GetDlgItem(mainWindowHandle, IDC_TRACKS_GROUP), &box);
  MapWindowPoints(nullptr, mainWindowHandle, reinterpret_cast<POINT*>(&box), 2);
  const PixelRect pane = paneRectInGroupBox(box.left, box.top, box.right, box.bottom, layoutDpi);
  SetWindowPos(trackPaneHandle, HWND_TOP, pane.x, pane.y, pane.width, pane.height, SWP_SHOWWINDOW);
}

void onDpiChanged(int32_t dpi, const RECT& suggested) {
  layoutDpi = dpi;
  SetWindowPos(mainWindowHandle, nullptr, suggested.left, suggested.top,
               suggested.right - suggested.left, suggested.bottom - suggested.top,
               SWP_NOZORDER | SWP_NOACTIVATE);
  PostMessageW(mainWindowHandle, kLayOutTrackPane, 0, 0);
}

void onDropFiles(HDROP drop) {
  const DroppedFiles dropped = readDroppedFiles(drop);
  // The drop's memory is the system's to free, whatever is made of it.
  DragFinish(drop);
  if (dropped.count > 0) openFirstFile({dropped.first.c_str(), static_cast<int>(dropped.count)});
}

void onOpenCommandLineFiles() {
  const FilesToOpen files = commandLineFiles;
  commandLineFiles = {};
  if (files.count > 0) openFirstFile(files);
}

void openFirstFile(const FilesToOpen& files) {
  loadSongFromPath(files.first);
  if (files.count > 1)
    appendLogNumber(L"Only the first file is opened: %d more ignored", files.count - 1);
}
