// Drives the real Varnook window from outside, as a user would, by the steps of a text file, one a
// line, words split as on a command line ('#' starts a comment):
//   varnook_window_driver VARNOOK_EXE STEP_FILE WORK_DIR
// $WORK stands for WORK_DIR, $LONG for a folder in it that makes paths of about 200 UTF-16 units,
// $SEED for the N of the "Seed N" line a `seed` step waited for; `tool` runs $VARNOOK_CLI; ids are
// named as in res/resource.h, TRACKn is the pane's button n, a letter is its key; sizes are
// physical pixels. `expect OBSERVATION [ARG...] = WANT...` waits until the observation reads WANT;
// `log LINE...` until these lines stand one after another among the log's new lines. The first
// failure prints what was seen and the log, ends the program and the driver.
#include <windows.h>
// after windows.h, which they need
#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "res/resource.h"

using Args = std::vector<std::wstring>;
constexpr DWORD kWaitMs = 10000;

// clang-format off
#define NAME(id) {L"" #id, id}
const std::map<std::wstring, int> kIds = {
    NAME(ID_FILE_LOAD), NAME(ID_FILE_SAVE), NAME(IDM_ABOUT), NAME(IDM_EXIT), NAME(IDC_TRANSFORM),
    NAME(IDC_TIME_SHIFT), NAME(IDC_PITCH_SHIFT), NAME(IDC_VELOCITY_SHIFT), NAME(IDC_VERSION_TEXT),
    NAME(IDOK), NAME(IDCANCEL), NAME(SB_PAGEDOWN), NAME(SB_BOTTOM), NAME(VK_ESCAPE),
    NAME(VK_CONTROL), NAME(ID_EDIT_UNDO), NAME(IDC_STYLE_CLASSIC), NAME(IDC_STYLE_MUSICAL)};
// clang-format on

std::map<std::wstring, std::wstring> vars;
std::string step;
PROCESS_INFORMATION app{};
HWND mainWindow = nullptr;
size_t logSeen = 0;  // where the log lines start that no step has accounted for
HANDLE held = nullptr;

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

std::wstring yes(bool b) { return b ? L"yes" : L"no"; }
HWND item(int id) { return GetDlgItem(mainWindow, id); }
HWND pane() { return FindWindowExW(mainWindow, nullptr, L"#32770", nullptr); }

[[noreturn]] void fail(const std::wstring& what) {
  std::printf("FAIL at \"%s\": %ls\nthe log:\n%ls\n", step.c_str(), what.c_str(),
              text(item(IDC_LOG)).c_str());
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
  if (name.size() == 1 && iswupper(name[0])) return name[0];
  return kIds.count(name) ? kIds.at(name) : _wtoi(name.c_str());
}

// A control of the modal dialog on top or of the pane, once it is there.
HWND waitControl(int id) {
  HWND w = nullptr;
  expect(
      [&] {
        return yes((w = GetDlgItem(GetForegroundWindow(), id)) || (w = GetDlgItem(pane(), id)));
      },
      L"yes");
  return w;
}

std::string bytes(const std::wstring& path) {
  std::ifstream in(std::filesystem::path(path), std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::wstring observe(const std::wstring& what, const Args& a) {
  using std::to_wstring;
  if (what == L"text") return text(waitControl(id(a[0])));
  if (what == L"amounts") {  // each slider's position and label: time, pitch, velocity
    std::wstring all;
    for (auto [slider, label] : {std::pair{IDC_TIME_SHIFT, IDC_TIME_SHIFT_VALUE},
                                 {IDC_PITCH_SHIFT, IDC_PITCH_SHIFT_VALUE},
                                 {IDC_VELOCITY_SHIFT, IDC_VELOCITY_SHIFT_VALUE}})
      all += to_wstring(send(item(slider), TBM_GETPOS)) + L" " + text(item(label)) + L" ";
    return all.substr(0, all.size() - 1);
  }
  if (what == L"checked") return yes(send(item(id(a[0])), BM_GETCHECK) == BST_CHECKED);
  if (what == L"pane") {  // COUNT CHECKED: the buttons, the one checked (0 none, -1 several)
    int count = 0, checked = 0;
    for (HWND b = nullptr; (b = FindWindowExW(pane(), b, nullptr, nullptr)) != nullptr; ++count)
      if (send(b, BM_GETCHECK))
        checked = checked ? -1 : GetDlgCtrlID(b) - IDC_TRACK_BUTTON_FIRST + 1;
    return to_wstring(count) + L" " + to_wstring(checked);
  }
  if (what == L"file") return yes(std::filesystem::exists(a[0]));
  if (what == L"dialog") return yes(GetForegroundWindow() != mainWindow);
  if (what == L"same") return yes(bytes(a[0]) == bytes(a[1]));  // A B: the files' bytes
  DWORD code = 0;
  if (what == L"exit" && GetExitCodeProcess(app.hProcess, &code))
    return code == STILL_ACTIVE ? L"still running" : to_wstring(code);
  RECT r{}, client{};  // N: of track button N, in the pane
  GetWindowRect(GetDlgItem(pane(), IDC_TRACK_BUTTON_FIRST + _wtoi(a.at(0).c_str()) - 1), &r);
  MapWindowPoints(nullptr, pane(), reinterpret_cast<POINT*>(&r), 2);
  if (what == L"view")  // wholly inside the pane
    return yes(GetClientRect(pane(), &client) && r.top >= 0 && r.bottom <= client.bottom);
  if (what != L"button") fail(L"unknown observation");
  return to_wstring(r.left) + L" " + to_wstring(r.top) + L" " + to_wstring(r.right - r.left) +
         L" " + to_wstring(r.bottom - r.top);  // x y width height
}

void run(const Args& a) {
  const std::wstring& verb = a[0];
  if (verb == L"launch" || verb == L"tool") {  // ARG...: the window, or varnook-cli to its end
    const std::wstring exe = vars[verb == L"tool" ? L"CLI" : L"EXE"];
    std::wstring line = L"\"" + exe + L"\"";
    for (auto arg = a.begin() + 1; arg < a.end(); ++arg) line += L" \"" + *arg + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        vars[L"WORK"].c_str(), &startup, &started))
      fail(L"cannot start " + exe);
    if (verb == L"tool") return (void)WaitForSingleObject(started.hProcess, kWaitMs);
    app = started;
    expect([] { return text(mainWindow = GetForegroundWindow()); }, L"Varnook");
    logSeen = 0;
  } else if (verb == L"command") {  // ID [PATH]: with a path, typed into the file dialog that opens
    PostMessageW(mainWindow, WM_COMMAND, id(a[1]), 0);
    if (a.size() < 3) return;
    HWND combo = FindWindowExW(waitControl(1148), nullptr, L"ComboBox", nullptr);  // name box
    send(FindWindowExW(combo, nullptr, L"Edit", nullptr), WM_SETTEXT, 0, LPARAM(a[2].c_str()));
    PostMessageW(GetAncestor(combo, GA_ROOT), WM_COMMAND, IDOK, 0);
  } else if (verb == L"click") {
    send(waitControl(id(a[1])), BM_CLICK);
  } else if (verb == L"close" || (verb == L"key" && a.size() == 2)) {  // the close box; KEY posted
    PostMessageW(GetForegroundWindow(), a.size() > 1 ? WM_KEYDOWN : WM_SYSCOMMAND,
                 a.size() > 1 ? id(a[1]) : SC_CLOSE, 1);
  } else if (verb == L"key") {  // KEY KEY...: pressed together, from the keyboard
    for (size_t k = 1; k < a.size(); ++k) keybd_event(BYTE(id(a[k])), 0, 0, 0);
    for (size_t k = a.size() - 1; k > 0; --k) keybd_event(BYTE(id(a[k])), 0, KEYEVENTF_KEYUP, 0);
  } else if (verb == L"seed") {  // waits for a new "Seed N" line in the log: N becomes $SEED
    std::wstring all;
    expect([&] { return yes((all = text(item(IDC_LOG))).find(L"Seed ", logSeen) != all.npos); },
           L"yes");
    vars[L"SEED"] = std::to_wstring(wcstoul(&all[all.find(L"Seed ", logSeen) + 5], nullptr, 10));
  } else if (verb == L"slide") {  // ID POS, as a drag reports it: the position rides in the message
    send(item(id(a[1])), TBM_SETPOS, TRUE, id(a[2]));
    send(mainWindow, WM_HSCROLL, MAKEWPARAM(TB_THUMBTRACK, id(a[2])), LPARAM(item(id(a[1]))));
  } else if (verb == L"scroll") {  // REQUEST, to the pane
    send(pane(), WM_VSCROLL, id(a[1]));
  } else if (verb == L"log") {  // these among the new lines; with none, no new line; no dialog open
    if (a.size() == 1) Sleep(800);
    const std::wstring want = L"\r\n" + joined(a.begin() + 1, a.end(), L"\r\n") + L"\r\n";
    expect(
        [&] {
          const std::wstring all = text(item(IDC_LOG));
          const std::wstring seen = L"\r\n" + all.substr(std::min(logSeen, all.size())) + L"\r\n";
          if (GetForegroundWindow() != mainWindow) return std::wstring(L"a dialog is open");
          return a.size() > 1 && seen.find(want) != seen.npos ? want : seen;
        },
        want);
    logSeen = text(item(IDC_LOG)).size() + 2;  // past the separator before the next line
  } else if (verb == L"expect") {
    const auto equals = std::find(a.begin(), a.end(), L"=");
    expect([&] { return observe(a[1], Args(a.begin() + 2, equals)); },
           joined(equals + (equals < a.end()), a.end(), L" "));
  } else if (verb == L"hold") {  // [PATH]: free the file held; hold PATH, shared but for delete
    CloseHandle(held);
    held = CreateFileW(a.size() > 1 ? a[1].c_str() : L"", GENERIC_READ,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  } else if (verb == L"copy") {
    CopyFileW(a[1].c_str(), a[2].c_str(), FALSE);
  } else {
    fail(L"unknown step");
  }
}

std::wstring windowsPath(std::wstring path) {  // of an absolute Linux path
  std::replace(path.begin(), path.end(), L'/', L'\\');
  return L"Z:" + path;
}

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) return std::printf("usage: DRIVER VARNOOK_EXE STEP_FILE WORK_DIR\n"), 2;
  SetProcessDPIAware();  // sizes in the display's own pixels, not scaled back to 96 DPI
  vars[L"EXE"] = windowsPath(argv[1]);
  vars[L"WORK"] = windowsPath(argv[3]);
  // The version and the tool the build made, so that no step keeps a copy of them.
  if (const wchar_t* version = _wgetenv(L"VARNOOK_VERSION")) vars[L"VERSION"] = version;
  if (const wchar_t* cli = _wgetenv(L"VARNOOK_CLI")) vars[L"CLI"] = windowsPath(cli);
  vars[L"LONG"] =
      vars[L"WORK"] + L"\\" + std::wstring(std::max(1, 180 - int(wcslen(argv[3]))), 'x');
  CreateDirectoryW(vars[L"LONG"].c_str(), nullptr);
  std::ifstream file(std::filesystem::path(windowsPath(argv[2])));
  if (!file) fail(L"cannot read the steps");
  while (std::getline(file, step)) {
    std::wstring line(step.size(), L'\0');
    line.resize(MultiByteToWideChar(CP_UTF8, 0, step.data(), int(step.size()), line.data(),
                                    int(line.size())));
    line = line.substr(0, line.find(L'#'));
    for (const auto& [name, value] : vars)  // $NAME put in
      for (size_t p; (p = line.find(L"$" + name)) != line.npos;)
        line.replace(p, name.size() + 1, value);
    int count = 0;
    wchar_t** word = CommandLineToArgvW(line.c_str(), &count);
    if (line.find_first_not_of(L' ') != line.npos) run(Args(word, word + count));
    LocalFree(word);
    std::printf("ok: %s\n", step.c_str());
  }
  return 0;
}
