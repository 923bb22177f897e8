#include "ui/main_window.h"

#include <commctrl.h>

#include "res/resource.h"
#include "song/log.h"
#include "ui/about_box.h"
#include "ui/dropped_files.h"
#include "ui/file_commands.h"
#include "ui/history.h"
#include "ui/pane_layout.h"
#include "ui/track_controls.h"
#include "ui/track_pane.h"

AppState app;

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

HICON loadIcon(int widthMetric, int heightMetric) {
  return static_cast<HICON>(LoadImageW(app.instanceHandle, MAKEINTRESOURCEW(IDI_VARNOOK),
                                       IMAGE_ICON, GetSystemMetrics(widthMetric),
                                       GetSystemMetrics(heightMetric), LR_DEFAULTCOLOR));
}

void setIcons(HWND window) {
  app.bigIcon = loadIcon(SM_CXICON, SM_CYICON);
  app.smallIcon = loadIcon(SM_CXSMICON, SM_CYSMICON);
  SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(app.bigIcon));
  SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(app.smallIcon));
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

BOOL initMainWindow(HWND window) {
  // The pane and the log find their controls through this handle, so it
  // comes before anything else.
  app.mainWindowHandle = window;
  // The pane is laid out for this DPI as it opens.
  app.layoutDpi = displayDpi(window);
  setIcons(window);
  openTrackPane();
  initTrackControls();
  // Asked for at run time, so the template keeps its styles: the window
  // takes files dragged onto it from Explorer.
  DragAcceptFiles(window, TRUE);
  letDropsIn(window);
  appendLog(L"Start");
  if (app.commandLineFiles.count > 0) PostMessageW(window, kOpenCommandLineFiles, 0, 0);
  // TRUE: the dialog manager focuses the first tab stop, the Exit button.
  return TRUE;
}

void dispatchCommand(WORD id, HWND window) {
  switch (id) {
    case IDCANCEL:  // the Exit button, Escape and the close box
      EndDialog(window, 0);
      break;
    case IDM_ABOUT:
      DialogBoxParamW(app.instanceHandle, MAKEINTRESOURCEW(IDD_ABOUT), window, aboutDialogProc, 0);
      break;
    case IDM_EXIT:
      // Destroying the modal dialog ends its loop as well.
      DestroyWindow(window);
      break;
    case IDC_TRANSFORM:
      transformSong();
      break;
    case ID_EDIT_UNDO:
      undoPress();
      break;
    case IDC_STYLE_CLASSIC:
    case IDC_STYLE_MUSICAL:
      onStyleButton();
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

void onDpiChanged(int32_t dpi, const RECT& suggested) {
  app.layoutDpi = dpi;
  SetWindowPos(app.mainWindowHandle, nullptr, suggested.left, suggested.top,
               suggested.right - suggested.left, suggested.bottom - suggested.top,
               SWP_NOZORDER | SWP_NOACTIVATE);
  PostMessageW(app.mainWindowHandle, kLayOutTrackPane, 0, 0);
}

void openFirstFile(const FilesToOpen& files) {
  loadSongFromPath(files.first);
  if (files.count > 1)
    appendLogNumber(L"Only the first file is opened: %d more ignored", files.count - 1);
}

void onDropFiles(HDROP drop) {
  const DroppedFiles dropped = readDroppedFiles(drop);
  // The drop's memory is the system's to free, whatever is made of it.
  DragFinish(drop);
  if (dropped.count > 0) openFirstFile({dropped.first.c_str(), static_cast<int>(dropped.count)});
}

void onOpenCommandLineFiles() {
  const FilesToOpen files = app.commandLineFiles;
  app.commandLineFiles = {};
  if (files.count > 0) openFirstFile(files);
}

// The modal loop of a dialog translates no accelerators, but hands every
// message to this hook first. Only keys meant for the main dialog or one of
// its controls count: the About box and the file dialogs keep theirs.
LRESULT CALLBACK dialogMessageFilter(int code, WPARAM wParam, LPARAM lParam) {
  MSG* message = reinterpret_cast<MSG*>(lParam);
  if (code == MSGF_DIALOGBOX &&
      (message->hwnd == app.mainWindowHandle || IsChild(app.mainWindowHandle, message->hwnd)) &&
      TranslateAcceleratorW(app.mainWindowHandle, app.accelerators, message))
    return TRUE;
  return CallNextHookEx(nullptr, code, wParam, lParam);
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

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  app.instanceHandle = instance;
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
    app.commandLineFiles = {arguments[1], argumentCount - 1};
  app.accelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDR_MAIN_ACCELERATORS));
  HHOOK filter =
      SetWindowsHookExW(WH_MSGFILTER, dialogMessageFilter, nullptr, GetCurrentThreadId());
  DialogBoxParamW(app.instanceHandle, MAKEINTRESOURCEW(IDD_MAIN), nullptr, mainDialogProc, 0);
  UnhookWindowsHookEx(filter);
  LocalFree(arguments);
  DestroyIcon(app.bigIcon);
  DestroyIcon(app.smallIcon);
  return 0;
}

void placeTrackPane() {
  RECT box;
  GetWindowRect(GetDlgItem(app.mainWindowHandle, IDC_TRACKS_GROUP), &box);
  MapWindowPoints(nullptr, app.mainWindowHandle, reinterpret_cast<POINT*>(&box), 2);
  const PixelRect pane =
      paneRectInGroupBox(box.left, box.top, box.right, box.bottom, app.layoutDpi);
  SetWindowPos(app.trackPaneHandle, HWND_TOP, pane.x, pane.y, pane.width, pane.height,
               SWP_SHOWWINDOW);
}
