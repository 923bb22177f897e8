// Drives the real Varnook window from outside, as a user would, by the steps
// of a text file, one a line ('#' starts a comment, "..." keeps blanks):
//   varnook_window_driver VARNOOK_EXE STEP_FILE WORK_DIR
// $WORK stands for WORK_DIR, $LONG for a folder in it that makes paths of
// about 200 UTF-16 units. Ids are named as in res/resource.h; Linux paths
// are Wine's Z:. Steps that expect something wait for it; the first failure
// prints what was seen and the program's log, ends the program, and the
// driver exits with 1.
#include <windows.h>
// after windows.h, which it needs
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "res/resource.h"

namespace {

using Args = std::vector<std::wstring>;
constexpr DWORD kWaitMs = 10000;
constexpr DWORD kQuietMs = 800;
constexpr int kFileNameBox = 1148;  // the file dialogs' name box

// clang-format off
// The names steps may use, spelt as in resource.h and windows.h.
#define NAME(id) {L"" #id, id}
const std::map<std::wstring, int> kIds = {
    NAME(ID_FILE_LOAD), NAME(ID_FILE_SAVE), NAME(IDM_ABOUT), NAME(IDM_EXIT), NAME(IDC_TRANSFORM),
    NAME(IDC_TIME_SHIFT), NAME(IDC_PITCH_SHIFT), NAME(IDC_TIME_SHIFT_VALUE), NAME(IDC_VERSION_TEXT),
    NAME(IDC_PITCH_SHIFT_VALUE), NAME(IDOK), NAME(IDCANCEL), NAME(IDYES), NAME(SB_LINEDOWN),
    NAME(SB_PAGEDOWN), NAME(SB_TOP), NAME(SB_BOTTOM), NAME(VK_ESCAPE)};
// clang-format on

std::map<std::wstring, std::wstring> vars;
std::wstring exePath, step;
PROCESS_INFORMATION app{};
HWND mainWindow = nullptr;
size_t logSeen = 0;  // log lines that steps have accounted for
std::vector<HANDLE> held;
LONG markedTop = 0;

std::string utf8(const std::wstring& text) {
  std::string out(text.size() * 3 + 1, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), int(out.size()), nullptr, nullptr);
  return out.c_str();
}

std::wstring text(HWND window);
HWND item(int id) { return GetDlgItem(mainWindow, id); }

[[noreturn]] void fail(const std::wstring& what) {
  static bool failing = false;  // reading the log can fail too
  std::printf("FAIL at \"%s\": %s\n", utf8(step).c_str(), utf8(what).c_str());
  if (!failing && IsWindow(mainWindow) && (failing = true))
    std::printf("the log:\n%s\n", utf8(text(item(IDC_LOG))).c_str());
  if (app.hProcess) TerminateProcess(app.hProcess, 99);
  ExitProcess(1);
}

LRESULT send(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
  DWORD_PTR result = 0;
  // A window that went meanwhile (a pane being replaced) answers 0; one that
  // stays silent means the program hangs.
  if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kWaitMs, &result) &&
      IsWindow(window))
    fail(L"no answer to message " + std::to_wstring(message));
  return LRESULT(result);
}

void post(HWND window, UINT message, WPARAM wParam, LPARAM lParam = 0) {
  PostMessageW(window, message, wParam, lParam);
}

std::wstring text(HWND window) {
  if (!IsWindow(window)) return L"<no window>";
  std::wstring t(send(window, WM_GETTEXTLENGTH) + 1, L'\0');
  t.resize(send(window, WM_GETTEXT, t.size(), LPARAM(t.data())));
  return t;
}

bool waitFor(const std::function<bool()>& done) {
  for (DWORD start = GetTickCount(); !done(); Sleep(50))
    if (GetTickCount() - start > kWaitMs) return false;
  return true;
}

// Waits until observe() gives `want`; fails with what it gave last.
void expect(const std::function<std::wstring()>& observe, const std::wstring& want) {
  std::wstring seen;
  if (!waitFor([&] { return (seen = observe()) == want; }))
    fail(L"expected \"" + want + L"\", saw \"" + seen + L"\"");
}

std::wstring joined(Args::const_iterator from, Args::const_iterator to) {
  std::wstring out;
  for (; from < to; ++from) out += (out.empty() ? L"" : L" | ") + *from;
  return out;
}

int id(const std::wstring& name) { return kIds.count(name) ? kIds.at(name) : _wtoi(name.c_str()); }

// The program's dialog that takes input now: the modal one on top, or the
// main window when none is open.
HWND topDialog() {
  std::pair<DWORD, HWND> search{app.dwProcessId, nullptr};
  EnumWindows(
      [](HWND window, LPARAM data) -> BOOL {
        auto* s = reinterpret_cast<std::pair<DWORD, HWND>*>(data);
        DWORD owner = 0;
        wchar_t name[16] = L"";
        GetWindowThreadProcessId(window, &owner);
        GetClassNameW(window, name, 16);
        const bool found = owner == s->first && IsWindowVisible(window) &&
                           IsWindowEnabled(window) && std::wstring(name) == L"#32770";
        if (found) s->second = window;
        return !found;
      },
      LPARAM(&search));
  return search.second;
}

HWND waitControl(int control) {
  HWND found = nullptr;
  if (!waitFor([&] { return (found = GetDlgItem(topDialog(), control)) != nullptr; }))
    fail(L"no control " + std::to_wstring(control) + L" in the dialog on top");
  return found;
}

HWND focusWindow() {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  return GetGUIThreadInfo(app.dwThreadId, &info) ? info.hwndFocus : nullptr;
}

Args logLines() {
  Args lines;
  const std::wstring all = text(item(IDC_LOG));
  for (size_t start = 0, end = 0; !all.empty() && end != all.npos; start = end + 2)
    lines.push_back(all.substr(start, (end = all.find(L"\r\n", start)) - start));
  return lines;
}

// The one visible track pane; null when there are none or several.
HWND pane() {
  HWND shown = nullptr;
  int count = 0;
  for (HWND p = nullptr; (p = FindWindowExW(mainWindow, p, L"#32770", nullptr)) != nullptr;)
    if (IsWindowVisible(p)) shown = p, ++count;
  return count == 1 ? shown : nullptr;
}

// "COUNT CHECKED": buttons "Track 1".."Track COUNT" with ids from
// IDC_TRACK_BUTTON_FIRST, and which one is checked (0 none, -1 several).
std::wstring paneState() {
  int count = 0, checked = 0;
  if (pane() == nullptr) return L"not one pane shown";
  for (HWND b = nullptr; (b = FindWindowExW(pane(), b, nullptr, nullptr)) != nullptr; ++count) {
    const int number = GetDlgCtrlID(b) - IDC_TRACK_BUTTON_FIRST + 1;
    if (text(b) != L"Track " + std::to_wstring(number)) return L"a button reads " + text(b);
    if (send(b, BM_GETCHECK) == BST_CHECKED) checked = checked ? -1 : number;
  }
  return std::to_wstring(count) + L" " + std::to_wstring(checked);
}

RECT buttonRect(int number) {
  RECT r{};
  GetWindowRect(GetDlgItem(pane(), IDC_TRACK_BUTTON_FIRST + number - 1), &r);
  MapWindowPoints(nullptr, pane(), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

// Waits for the file, which the program may still be writing.
std::string readFile(const std::wstring& path) {
  std::ifstream in;
  const auto opened = [&] { return in.open(std::filesystem::path(path), in.binary), in.is_open(); };
  if (!waitFor(opened)) fail(L"cannot read " + path);
  return {std::istreambuf_iterator<char>(in), {}};
}

void writeFile(const std::wstring& path, const std::string& bytes) {
  if (!(std::ofstream(std::filesystem::path(path), std::ios::binary) << bytes))
    fail(L"cannot write " + path);
}

// A format-1 song at 96 ticks a quarter: `tracks` tracks of four notes, track
// i on channel i % 16; 14 + 44 * tracks bytes.
std::string song(int tracks) {
  std::string out = std::string("MThd\0\0\0\6\0\1", 10) + char(tracks >> 8) + char(tracks);
  out += {0, 96};
  for (int i = 0; i < tracks; ++i) {
    std::string events;
    for (char k = 0; k < 4; ++k)
      events +=
          {96, char(0x90 | i % 16), char(60 + k), 100, 48, char(0x80 | i % 16), char(60 + k), 0};
    events += std::string("\0\xFF\x2F\0", 4);
    out += std::string("MTrk\0\0\0", 7) + char(events.size()) + events;
  }
  return out;
}

// The chunks of a file in order, the header first; bytes past the last
// complete chunk make one more.
std::vector<std::string> chunks(const std::string& bytes) {
  std::vector<std::string> out;
  for (size_t at = 0; at < bytes.size(); at += out.back().size()) {
    size_t length = 8;
    for (size_t i = at + 4; i < at + 8 && i < bytes.size(); ++i)
      length += size_t(uint8_t(bytes[i])) << 8 * (at + 7 - i);
    out.push_back(bytes.substr(at, length));
  }
  return out;
}

std::wstring exists(const std::wstring& path) {
  return std::filesystem::exists(path) ? L"present" : L"absent";
}

void launch(const Args& a) {
  std::wstring line = L"\"" + exePath + L"\"";
  for (auto arg = a.begin() + 1; arg < a.end(); ++arg) line += L" \"" + *arg + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  if (!CreateProcessW(exePath.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      vars[L"WORK"].c_str(), &startup, &app))
    fail(L"cannot start " + exePath);
  if (!waitFor([] { return (mainWindow = topDialog()) != nullptr; })) fail(L"no window");
  expect([] { return text(mainWindow); }, L"Varnook");
  logSeen = 0;
}

void run(const Args& a) {
  const std::wstring& verb = a[0];
  const auto waitTop = [](bool main, const wchar_t* what) {
    if (!waitFor([&] { return (topDialog() == mainWindow) == main; })) fail(what);
  };
  if (verb == L"launch") return launch(a);
  if (verb == L"command") return post(mainWindow, WM_COMMAND, id(a[1]));
  if (verb == L"click") return post(waitControl(id(a[1])), BM_CLICK, 0);
  if (verb == L"close") return post(topDialog(), WM_SYSCOMMAND, SC_CLOSE);
  if (verb == L"dialog") return waitTop(false, L"no dialog opened");
  if (verb == L"gone") return waitTop(true, L"the dialog stays open");
  if (verb == L"key") {  // to the focus, once it is in the dialog on top
    HWND focus = nullptr;
    if (!waitFor(
            [&] { return (focus = focusWindow()) && GetAncestor(focus, GA_ROOT) == topDialog(); }))
      fail(L"no focus in the dialog on top");
    post(focus, WM_KEYDOWN, id(a[1]), 1);
    return post(focus, WM_KEYUP, id(a[1]), 0xC0000001);
  }
  if (verb == L"type" || verb == L"load" || verb == L"save") {  // through the file dialog
    if (verb != L"type")
      post(mainWindow, WM_COMMAND, verb == L"load" ? ID_FILE_LOAD : ID_FILE_SAVE);
    HWND combo = FindWindowExW(waitControl(kFileNameBox), nullptr, L"ComboBox", nullptr);
    send(FindWindowExW(combo, nullptr, L"Edit", nullptr), WM_SETTEXT, 0, LPARAM(a[1].c_str()));
    post(GetAncestor(combo, GA_ROOT), WM_COMMAND, IDOK);
    return verb == L"type" ? void() : waitTop(true, L"the file dialog stays open");
  }
  if (verb == L"select") {  // once the pane has the button: a load may still be under way
    HWND button = nullptr;
    const int number = IDC_TRACK_BUTTON_FIRST + id(a[1]) - 1;
    if (!waitFor([&] { return (button = GetDlgItem(pane(), number)) != nullptr; }))
      fail(L"no such track button");
    return (void)send(button, BM_CLICK);
  }
  if (verb == L"slide" || verb == L"drag") {  // a drag carries the position in the message
    send(item(id(a[1])), TBM_SETPOS, TRUE, id(a[2]));
    const WPARAM how = verb == L"drag" ? MAKEWPARAM(TB_THUMBTRACK, id(a[2])) : TB_ENDTRACK;
    return (void)send(mainWindow, WM_HSCROLL, how, LPARAM(item(id(a[1]))));
  }
  if (verb == L"scroll") return (void)send(pane(), WM_VSCROLL, id(a[1]));
  if (verb == L"mark") return (void)(markedTop = buttonRect(1).top);
  if (verb == L"unmoved")
    return expect([] { return std::to_wstring(buttonRect(1).top); }, std::to_wstring(markedTop));
  if (verb == L"inview") {  // NUMBER [no]: the button lies wholly inside the pane
    return expect(
        [&] {
          RECT r = buttonRect(id(a[1])), client{};
          GetClientRect(pane(), &client);
          return r.top >= 0 && r.bottom <= client.bottom ? L"yes" : L"no";
        },
        a.size() > 2 ? a[2] : L"yes");
  }
  if (verb == L"log") {  // exactly these new lines; with none, no new line and no dialog
    if (a.size() == 1) Sleep(kQuietMs);
    expect(
        [] {
          const Args lines = logLines();
          return joined(lines.begin() + std::min(logSeen, lines.size()), lines.end()) +
                 (topDialog() != mainWindow ? L" [a dialog is open]" : L"");
        },
        joined(a.begin() + 1, a.end()));
    return (void)(logSeen += a.size() - 1);
  }
  if (verb == L"logend") {  // the log has scrolled to keep its last line in view
    return expect(
        [] {
          HWND log = item(IDC_LOG);
          RECT client{};
          GetClientRect(log, &client);
          const LRESULT last = send(log, EM_LINEINDEX, logLines().size() - 1);
          const int y = short(HIWORD(send(log, EM_POSFROMCHAR, last)));
          const bool scrolled = send(log, EM_GETFIRSTVISIBLELINE) > 0;
          return scrolled && y >= 0 && y < client.bottom ? L"in view" : L"out of view";
        },
        L"in view");
  }
  if (verb == L"text") return expect([&] { return text(waitControl(id(a[1]))); }, a[2]);
  if (verb == L"focus")
    return expect([] { return std::to_wstring(GetDlgCtrlID(focusWindow())); },
                  std::to_wstring(id(a[1])));
  if (verb == L"amounts") {  // TIME TIME_LABEL PITCH PITCH_LABEL
    return expect(
        [] {
          return std::to_wstring(send(item(IDC_TIME_SHIFT), TBM_GETPOS)) + L" | " +
                 text(item(IDC_TIME_SHIFT_VALUE)) + L" | " +
                 std::to_wstring(send(item(IDC_PITCH_SHIFT), TBM_GETPOS)) + L" | " +
                 text(item(IDC_PITCH_SHIFT_VALUE));
        },
        joined(a.begin() + 1, a.end()));
  }
  if (verb == L"pane") return expect(paneState, a[1] + L" " + a[2]);
  if (verb == L"exit") {
    DWORD code = 99;
    if (WaitForSingleObject(app.hProcess, kWaitMs) != WAIT_OBJECT_0) fail(L"still running");
    GetExitCodeProcess(app.hProcess, &code);
    CloseHandle(app.hProcess);
    CloseHandle(app.hThread);
    app = {};
    return code == 0 ? void() : fail(L"exit code " + std::to_wstring(code));
  }
  if (verb == L"song") return writeFile(a[1], song(id(a[2])));
  if (verb == L"mkdir") return (void)CreateDirectoryW(a[1].c_str(), nullptr);
  if (verb == L"hold")  // open with no sharing, until the end
    return held.push_back(
        CreateFileW(a[1].c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
  if (verb == L"release") {
    for (HANDLE file : held) CloseHandle(file);
    return held.clear();
  }
  if (verb == L"differ") {  // A B [CHUNK...]: exactly these chunks differ, 0 the header
    const std::vector<std::string> x = chunks(readFile(a[1])), y = chunks(readFile(a[2]));
    Args seen;
    for (size_t i = 0; i < std::max(x.size(), y.size()); ++i)
      if (i >= x.size() || i >= y.size() || x[i] != y[i]) seen.push_back(std::to_wstring(i));
    return expect([&] { return joined(seen.begin(), seen.end()); }, joined(a.begin() + 3, a.end()));
  }
  if (verb == L"shot") {  // asks whoever runs the driver for a picture: it deletes NAME.shot
    const std::wstring request = vars[L"WORK"] + L"\\" + a[1] + L".shot";
    writeFile(request, "");
    return expect([&] { return exists(request); }, L"absent");
  }
  if (verb == L"wait") return Sleep(id(a[1]));
  fail(L"unknown step");
}

std::wstring windowsPath(std::wstring path) {
  if (path.starts_with(L"/")) path = L"Z:" + path;
  std::replace(path.begin(), path.end(), L'/', L'\\');
  return path;
}

// The line's words with $WORK and $LONG put in.
Args words(const std::wstring& line) {
  Args out;
  for (size_t at = line.find_first_not_of(L' '); at < line.size() && line[at] != L'#';
       at = line.find_first_not_of(L' ', at)) {
    const bool quoted = line[at] == L'"';
    const size_t end = std::min(line.find(quoted ? L'"' : L' ', at + 1), line.size());
    std::wstring word = line.substr(at + quoted, end - at - quoted);
    at = end + 1;
    for (const auto& [name, value] : vars)
      for (size_t p; (p = word.find(L"$" + name)) != word.npos;)
        word.replace(p, name.size() + 1, value);
    out.push_back(word);
  }
  return out;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) return std::printf("usage: DRIVER VARNOOK_EXE STEP_FILE WORK_DIR\n"), 2;
  exePath = windowsPath(argv[1]);
  vars[L"WORK"] = windowsPath(argv[3]);
  vars[L"LONG"] =
      vars[L"WORK"] + L"\\" + std::wstring(std::max(1, 180 - int(wcslen(argv[3]))), 'x');
  const std::string bytes = readFile(windowsPath(argv[2]));
  std::wstring all(bytes.size(), L'\0');
  all.resize(MultiByteToWideChar(CP_UTF8, 0, bytes.data(), int(bytes.size()), all.data(),
                                 int(all.size())));
  for (size_t start = 0, end = 0; end != all.npos; start = end + 1) {
    step = all.substr(start, (end = all.find(L'\n', start)) - start);
    if (!step.empty() && step.back() == L'\r') step.pop_back();
    const DWORD began = GetTickCount();
    const Args a = words(step);
    if (a.empty()) continue;
    run(a);
    std::printf("ok %5lu ms: %s\n", GetTickCount() - began, utf8(step).c_str());
  }
  if (app.hProcess) fail(L"the program is still running at the end");
  return 0;
}
