// Drives the real Varnook window from outside, as a user would, by the steps of a text file, one
// a line, words split as on a command line ('#' starts a comment):
//   varnook_window_driver VARNOOK_EXE STEP_FILE WORK_DIR
// $WORK stands for WORK_DIR, $LONG for a folder in it that makes paths of about 200 UTF-16 units,
// ids are named as in res/resource.h, TRACKn is the pane's button n, sizes are physical pixels.
// `expect OBSERVATION [ARG...] = WANT...` waits until the observation reads WANT; `log LINE...`
// until these lines stand one after another among the log's new lines (the window's own lines:
// what the reader adds is the core tests' business). The first failure prints what was seen and the
// log, ends the program and the driver.
#include <windows.h>
// after windows.h, which they need
#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "res/resource.h"

using Args = std::vector<std::wstring>;
constexpr DWORD kWaitMs = 10000;

#define NAME(id) \
  { L"" #id, id }
const std::map<std::wstring, int> kIds = {
    NAME(ID_FILE_LOAD),  NAME(ID_FILE_SAVE),   NAME(IDM_ABOUT),       NAME(IDM_EXIT),
    NAME(IDC_TRANSFORM), NAME(IDC_TIME_SHIFT), NAME(IDC_PITCH_SHIFT), NAME(IDC_VERSION_TEXT),
    NAME(IDOK),          NAME(IDCANCEL),       NAME(IDYES),           NAME(SB_LINEDOWN),
    NAME(SB_PAGEDOWN),   NAME(SB_BOTTOM),      NAME(VK_ESCAPE)};

std::map<std::wstring, std::wstring> vars;
std::string step;
PROCESS_INFORMATION app{};
HWND mainWindow = nullptr;
size_t logSeen = 0;  // where the log lines start that no step has accounted for
HANDLE held = nullptr;
LONG topBeforeScroll = 0;  // of track button 1

std::string utf8(const std::wstring& t) {
  std::string out(t.size() * 3, '\0');
  out.resize(WideCharToMultiByte(CP_UTF8, 0, t.data(), int(t.size()), out.data(), int(out.size()),
                                 nullptr, nullptr));
  return out;
}

// A window that went meanwhile (a pane being replaced) or a program that hangs answers 0.
LRESULT send(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
  DWORD_PTR result = 0;
  SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kWaitMs, &result);
  return LRESULT(result);
}

std::wstring text(HWND window) {
  std::wstring t(send(window, WM_GETTEXTLENGTH) + 1, L'\0');
  t.resize(send(window, WM_GETTEXT, t.size(), LPARAM(t.data())));
  return t;
}

HWND item(int id) { return GetDlgItem(mainWindow, id); }

[[noreturn]] void fail(const std::wstring& what) {
  std::printf("FAIL at \"%s\": %s\nthe log:\n%s\n", step.c_str(), utf8(what).c_str(),
              utf8(text(item(IDC_LOG))).c_str());
  if (app.hProcess) TerminateProcess(app.hProcess, 99);
  ExitProcess(1);
}

void expect(const auto& observe, const std::wstring& want) {  // waits until observe() gives want
  std::wstring seen;
  for (DWORD start = GetTickCount(); (seen = observe()) != want; Sleep(50))
    if (GetTickCount() - start > kWaitMs)
      fail(L"expected \"" + want + L"\", saw \"" + seen + L"\"");
}

std::wstring joined(Args::const_iterator from, Args::const_iterator to, const wchar_t* between) {
  std::wstring out;
  for (; from < to; ++from) out += (out.empty() ? L"" : between) + *from;
  return out;
}

int id(const std::wstring& name) {
  if (name.starts_with(L"TRACK")) return IDC_TRACK_BUTTON_FIRST + _wtoi(&name[5]) - 1;
  return kIds.count(name) ? kIds.at(name) : _wtoi(name.c_str());
}

// The active window: the modal dialog on top, or the main window when none is open.
HWND topDialog() { return GetForegroundWindow(); }
HWND pane() { return FindWindowExW(mainWindow, nullptr, L"#32770", nullptr); }

// What `window` answers to `message` in its own process, or with `probe` "VarnookIconWidth" the
// width of icon `wParam` (see probe.cpp).
LRESULT askInside(HWND window, UINT message, WPARAM wParam = 0,
                  const wchar_t* probe = L"VarnookProbe") {
  static HHOOK hook = nullptr;
  static DWORD hookedThread = 0;
  const DWORD thread = GetWindowThreadProcessId(mainWindow, nullptr);
  if (thread != hookedThread) {  // a new launch
    HMODULE module = LoadLibraryW(L"varnook_probe.dll");
    const auto proc =
        reinterpret_cast<HOOKPROC>(reinterpret_cast<void (*)()>(GetProcAddress(module, "probe")));
    if (hook) UnhookWindowsHookEx(hook);
    if (!proc || !(hook = SetWindowsHookExW(WH_CALLWNDPROC, proc, module, thread)))
      fail(L"cannot hook the probe into the window");
    hookedThread = thread;
  }
  RemovePropW(window, L"answer");
  send(window, RegisterWindowMessageW(probe), message, LPARAM(wParam));
  return LRESULT(GetPropW(window, L"answer"));
}

std::wstring yes(bool b) { return b ? L"yes" : L"no"; }

std::wstring numbers(const RECT& r) {  // x y width height
  return std::to_wstring(r.left) + L" " + std::to_wstring(r.top) + L" " +
         std::to_wstring(r.right - r.left) + L" " + std::to_wstring(r.bottom - r.top);
}

// A control of the dialog on top or of the pane, once it is there.
HWND waitControl(int id) {
  HWND w = nullptr;
  expect(
      [&] {
        w = GetDlgItem(topDialog(), id);
        if (w == nullptr) w = GetDlgItem(pane(), id);
        return yes(w != nullptr);
      },
      L"yes");
  return w;
}

RECT buttonRect(int number) {
  RECT r{};
  GetWindowRect(GetDlgItem(pane(), IDC_TRACK_BUTTON_FIRST + number - 1), &r);
  MapWindowPoints(nullptr, pane(), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

// The log's lines that no step has accounted for, and whether a dialog is open.
std::wstring newLines() {
  const std::wstring all = text(item(IDC_LOG));
  return all.substr(std::min(logSeen, all.size())) +
         (topDialog() != mainWindow ? L" [a dialog is open]" : L"");
}

std::string bytes(const std::wstring& path) {
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::wstring observe(const std::wstring& what, const Args& a) {
  RECT r{}, client{};
  if (what == L"text") return text(waitControl(id(a[0])));
  if (what == L"amounts")  // TIME TIME_LABEL PITCH PITCH_LABEL
    return std::to_wstring(send(item(IDC_TIME_SHIFT), TBM_GETPOS)) + L" " +
           text(item(IDC_TIME_SHIFT_VALUE)) + L" " +
           std::to_wstring(send(item(IDC_PITCH_SHIFT), TBM_GETPOS)) + L" " +
           text(item(IDC_PITCH_SHIFT_VALUE));
  if (what == L"pane") {  // COUNT CHECKED: the buttons, the one checked (0 none, -1 several)
    int count = 0, checked = 0;
    for (HWND b = nullptr; (b = FindWindowExW(pane(), b, nullptr, nullptr)) != nullptr; ++count)
      if (send(b, BM_GETCHECK))
        checked = checked ? -1 : GetDlgCtrlID(b) - IDC_TRACK_BUTTON_FIRST + 1;
    return std::to_wstring(count) + L" " + std::to_wstring(checked);
  }
  if (what == L"button") return numbers(buttonRect(id(a[0])));  // N: in the pane, physical pixels
  if (what == L"window") {                                      // the main window on the screen
    GetWindowRect(mainWindow, &r);
    return numbers(r);
  }
  if (what == L"font") {  // N: "dialog" when track button N draws in the pane's font
    const LRESULT font =
        askInside(GetDlgItem(pane(), IDC_TRACK_BUTTON_FIRST + id(a[0]) - 1), WM_GETFONT);
    return font == 0 ? L"none" : font == askInside(pane(), WM_GETFONT) ? L"dialog" : L"other";
  }
  if (what == L"icons") {  // the big and the small icon's widths, 0 for one not set
    const LRESULT big = askInside(mainWindow, WM_GETICON, ICON_BIG),
                  small = askInside(mainWindow, WM_GETICON, ICON_SMALL);
    return std::to_wstring(askInside(mainWindow, 0, big, L"VarnookIconWidth")) + L" " +
           std::to_wstring(askInside(mainWindow, 0, small, L"VarnookIconWidth"));
  }
  if (what == L"moved") return std::to_wstring(buttonRect(1).top - topBeforeScroll);
  if (what == L"view") {  // track button N lies wholly inside the pane
    r = buttonRect(id(a[0]));
    GetClientRect(pane(), &client);
    return yes(r.top >= 0 && r.bottom <= client.bottom);
  }
  if (what == L"logend") {  // the log has scrolled to keep its last line in view
    HWND log = item(IDC_LOG);
    GetClientRect(log, &client);
    const int y = short(HIWORD(send(log, EM_POSFROMCHAR, send(log, WM_GETTEXTLENGTH) - 1)));
    return yes(y >= 0 && y < client.bottom);
  }
  if (what == L"file") return yes(std::filesystem::exists(a[0]));
  if (what == L"dialog") return yes(topDialog() && topDialog() != mainWindow);
  if (what == L"same") return yes(bytes(a[0]) == bytes(a[1]));  // A B: the files' bytes
  DWORD code = 0;
  if (what != L"exit") fail(L"unknown observation");
  GetExitCodeProcess(app.hProcess, &code);
  return code == STILL_ACTIVE ? L"still running" : std::to_wstring(code);
}

void run(const Args& a) {
  const std::wstring& verb = a[0];
  if (verb == L"launch") {
    std::wstring line = L"\"" + vars[L"EXE"] + L"\"";
    for (auto arg = a.begin() + 1; arg < a.end(); ++arg) line += L" \"" + *arg + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessW(vars[L"EXE"].c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        vars[L"WORK"].c_str(), &startup, &app))
      fail(L"cannot start " + vars[L"EXE"]);
    expect([] { return text(mainWindow = topDialog()); }, L"Varnook");
    logSeen = 0;
    return;
  }
  if (verb == L"command") {  // ID [PATH]: with a path, typed into the file dialog that opens
    PostMessageW(mainWindow, WM_COMMAND, id(a[1]), 0);
    if (a.size() < 3) return;
    HWND combo = FindWindowExW(waitControl(1148), nullptr, L"ComboBox", nullptr);  // name box
    send(FindWindowExW(combo, nullptr, L"Edit", nullptr), WM_SETTEXT, 0, LPARAM(a[2].c_str()));
    return (void)PostMessageW(GetAncestor(combo, GA_ROOT), WM_COMMAND, IDOK, 0);
  }
  if (verb == L"click") return (void)send(waitControl(id(a[1])), BM_CLICK);
  if (verb == L"close") return (void)PostMessageW(topDialog(), WM_SYSCOMMAND, SC_CLOSE, 0);
  if (verb == L"key") return (void)PostMessageW(topDialog(), WM_KEYDOWN, id(a[1]), 1);
  if (verb == L"slide") {  // ID POS, as a drag reports it: the position rides in the message
    send(item(id(a[1])), TBM_SETPOS, TRUE, id(a[2]));
    return (void)send(mainWindow, WM_HSCROLL, MAKEWPARAM(TB_THUMBTRACK, id(a[2])),
                      LPARAM(item(id(a[1]))));
  }
  if (verb == L"scroll") {  // REQUEST; `moved` then tells how far it moved the buttons
    topBeforeScroll = buttonRect(1).top;
    return (void)send(pane(), WM_VSCROLL, id(a[1]));
  }
  if (verb == L"dpichange") {  // DPI X Y WIDTH HEIGHT: as if moved to a monitor of that DPI
    // The message carries a pointer to the suggested rectangle, which must lie in the program's
    // own memory: no system copies it across for this message.
    const RECT rect{id(a[2]), id(a[3]), id(a[2]) + id(a[4]), id(a[3]) + id(a[5])};
    void* remote = VirtualAllocEx(app.hProcess, nullptr, sizeof rect, MEM_COMMIT, PAGE_READWRITE);
    if (!remote || !WriteProcessMemory(app.hProcess, remote, &rect, sizeof rect, nullptr))
      fail(L"cannot hand the rectangle over");
    send(mainWindow, WM_DPICHANGED, MAKEWPARAM(id(a[1]), id(a[1])), LPARAM(remote));
    return (void)VirtualFreeEx(app.hProcess, remote, 0, MEM_RELEASE);
  }
  if (verb == L"log") {  // these among the new lines; with none, no new line; no dialog open
    if (a.size() == 1) Sleep(800);
    const std::wstring want = joined(a.begin() + 1, a.end(), L"\r\n");
    expect(
        [&] {
          const std::wstring seen = newLines(), lines = L"\r\n" + seen + L"\r\n";
          return !want.empty() && lines.find(L"\r\n" + want + L"\r\n") != lines.npos ? want : seen;
        },
        want);
    logSeen = text(item(IDC_LOG)).size() + 2;  // past the separator before the next line
    return;
  }
  if (verb == L"expect") {
    const auto equals = std::find(a.begin(), a.end(), L"=");
    const Args args(a.begin() + 2, equals);
    return expect([&] { return observe(a[1], args); },
                  joined(equals + (equals < a.end()), a.end(), L" "));
  }
  if (verb == L"hold") {  // [PATH]: let go of the file held; hold PATH, sharing read and write only
    CloseHandle(held);
    held = CreateFileW(a.size() > 1 ? a[1].c_str() : L"", GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    return;
  }
  if (verb == L"copy") return (void)CopyFileW(a[1].c_str(), a[2].c_str(), FALSE);
  fail(L"unknown step");
}

std::wstring windowsPath(std::wstring path) {  // of an absolute Linux path
  std::replace(path.begin(), path.end(), L'/', L'\\');
  return L"Z:" + path;
}

// The words of a step with the $NAMEs put in.
Args words(std::wstring line) {
  line = line.substr(0, line.find(L'#'));
  if (line.find_first_not_of(L' ') == line.npos) return {};
  for (const auto& [name, value] : vars)
    for (size_t p; (p = line.find(L"$" + name)) != line.npos;)
      line.replace(p, name.size() + 1, value);
  int count = 0;
  wchar_t** word = CommandLineToArgvW(line.c_str(), &count);
  const Args out(word, word + count);
  LocalFree(word);
  return out;
}

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) {
    std::printf("usage: DRIVER VARNOOK_EXE STEP_FILE WORK_DIR\n");
    return 2;
  }
  // Sizes are read in the display's own pixels, not scaled back to 96 DPI for an unaware caller.
  SetProcessDPIAware();
  vars[L"EXE"] = windowsPath(argv[1]);
  vars[L"WORK"] = windowsPath(argv[3]);
  // The version the build made, so that no step keeps a copy of it.
  if (const wchar_t* version = _wgetenv(L"VARNOOK_VERSION")) vars[L"VERSION"] = version;
  vars[L"LONG"] =
      vars[L"WORK"] + L"\\" + std::wstring(std::max(1, 180 - int(wcslen(argv[3]))), 'x');
  CreateDirectoryW(vars[L"LONG"].c_str(), nullptr);
  std::ifstream file(std::filesystem::path(windowsPath(argv[2])));
  if (!file) fail(L"cannot read the steps");
  while (std::getline(file, step)) {
    std::wstring line(step.size(), L'\0');
    line.resize(MultiByteToWideChar(CP_UTF8, 0, step.data(), int(step.size()), line.data(),
                                    int(line.size())));
    if (const Args a = words(line); !a.empty()) run(a);
    std::printf("ok: %s\n", step.c_str());
  }
  return 0;
}
