#include "ui/main_window.h"

#include <commctrl.h>

#include <algorithm>

#include "res/resource.h"
#include "song/log.h"
#include "song/song.h"
#include "transform/transform.h"
#include "ui/about_box.h"
#include "ui/amount_label.h"
#include "ui/dropped_files.h"
#include "ui/file_commands.h"
#include "ui/pane_layout.h"
#include "ui/track_pane.h"

HINSTANCE instanceHandle = nullptr;
HWND mainWindowHandle = nullptr;
HWND trackPaneHandle = nullptr;

namespace {

// Posted at WM_INITDIALOG when the command line names files, so that they are
// opened once the window is up.
constexpr UINT kOpenCommandLineFiles = WM_APP + 1;

// The files named on the command line, until they are opened. The message
// carries no pointer: a stray or repeated one finds nothing left to open.
FilesToOpen commandLineFiles;

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
    default:
      return FALSE;
  }
}

BOOL initMainWindow(HWND window) {
  // The pane and the log find their controls through this handle, so it
  // comes before anything else.
  mainWindowHandle = window;
  HICON icon = LoadIconW(instanceHandle, MAKEINTRESOURCEW(IDI_VARNOOK));
  SendMessageW(mainWindowHandle, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
  openTrackPane();
  SendDlgItemMessageW(mainWindowHandle, IDC_TIME_SHIFT, TBM_SETRANGE, TRUE,
                      MAKELONG(0, kMaxTimeShift));
  SendDlgItemMessageW(mainWindowHandle, IDC_PITCH_SHIFT, TBM_SETRANGE, TRUE,
                      MAKELONG(0, kMaxPitchShift));
  // Asked for at run time, so the template keeps its styles: the window
  // takes files dragged onto it from Explorer.
  DragAcceptFiles(window, TRUE);
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
      if (currentSong != nullptr) transformSong();
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
  const PixelRect pane = paneRectInGroupBox(box.left, box.top, box.right, box.bottom);
  SetWindowPos(trackPaneHandle, HWND_TOP, pane.x, pane.y, pane.width, pane.height, SWP_SHOWWINDOW);
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
