// Drives the real Varnook window from outside, as a user would, by the steps
// of a text file, one a line ('#' starts a comment, "..." keeps blanks):
//   varnook_window_driver VARNOOK_EXE STEP_FILE WORK_DIR [NAME=VALUE]...
// $WORK stands for WORK_DIR, $LONG for a folder in it that makes paths of
// about 200 UTF-16 units, $NAME for each NAME=VALUE; "{size PATH}" for the
// file's size. Ids are named as in res/resource.h; Linux paths are Wine's Z:.
// Steps that expect something wait for it; the first failure prints what was
// seen and the program's log, ends the program, and the driver exits with 1.
#include <windows.h>
// after windows.h, which it needs
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
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

#define NAME(id) \
  { L"" #id, id }
const std::map<std::wstring, int> kIds = {NAME(ID_FILE_LOAD),
                                          NAME(ID_FILE_SAVE),
                                          NAME(IDM_ABOUT),
                                          NAME(IDM_EXIT),
                                          NAME(IDC_TRANSFORM),
                                          NAME(IDC_TIME_SHIFT),
                                          NAME(IDC_LOG),
                                          NAME(IDC_PITCH_SHIFT),
                                          NAME(IDC_TIME_SHIFT_VALUE),
                                          NAME(IDOK),
                                          NAME(IDC_PITCH_SHIFT_VALUE),
                                          NAME(IDC_VERSION_TEXT),
                                          NAME(IDCANCEL),
                                          NAME(IDYES),
                                          NAME(IDNO),
                                          NAME(SB_LINEUP),
                                          NAME(SB_LINEDOWN),
                                          NAME(SB_PAGEUP),
                                          NAME(SB_PAGEDOWN),
                                          NAME(SB_TOP),
                                          NAME(SB_BOTTOM),
                                          NAME(VK_ESCAPE),
                                          NAME(VK_RETURN)};

std::wstring exePath, step;
std::map<std::wstring, std::wstring> vars;
PROCESS_INFORMATION app{};
HWND mainWindow = nullptr;
size_t logSeen = 0;  // log lines that steps have accounted for
std::vector<HANDLE> held;
LONG markedTop = 0;

std::string utf8(const std::wstring& text) {
  std::string out(text.size() * 3 + 1, '\0');
  out.resize(WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), int(out.size()), nullptr,
                                 nullptr));
  return out.c_str();
}

LRESULT send(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
std::wstring text(HWND window);
HWND item(int id) { return GetDlgItem(mainWindow, id); }

[[noreturn]] void fail(const std::wstring& what) {
  static bool failing = false;  // reading the log can fail too
  std::printf("FAIL at \"%s\": %s\n", utf8(step).c_str(), utf8(what).c_str());
  if (!failing && IsWindow(mainWindow)) {
    failing = true;
    std::printf("the log:\n%s\n", utf8(text(item(IDC_LOG))).c_str());
  }
  if (app.hProcess) TerminateProcess(app.hProcess, 99);
  for (HANDLE file : held) CloseHandle(file);
  ExitProcess(1);
}

LRESULT send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kWaitMs, &result))
    fail(L"no answer to message " + std::to_wstring(message));
  return LRESULT(result);
}

std::wstring text(HWND window) {
  if (!IsWindow(window)) return L"<no window>";
  std::wstring t(send(window, WM_GETTEXTLENGTH) + 1, L'\0');
  t.resize(send(window, WM_GETTEXT, t.size(), LPARAM(t.data())));
  return t;
}

template <typename Done>
bool waitFor(Done done, DWORD ms = kWaitMs) {
  for (DWORD start = GetTickCount(); !done(); Sleep(50))
    if (GetTickCount() - start > ms) return false;
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
  for (; from != to; ++from) out += (out.empty() ? L"" : L" | ") + *from;
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
        if (owner != s->first || !IsWindowVisible(window) || !IsWindowEnabled(window) ||
            std::wstring(name) != L"#32770")
          return TRUE;
        s->second = window;
        return FALSE;
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

std::vector<std::wstring> logLines() {
  std::vector<std::wstring> lines;
  const std::wstring all = text(item(IDC_LOG));
  for (size_t start = 0, end = 0; !all.empty() && end != std::wstring::npos; start = end + 2) {
    end = all.find(L"\r\n", start);
    lines.push_back(all.substr(start, end - start));
  }
  return lines;
}

// The one visible track pane; null when there are none or several.
HWND pane() {
  HWND shown = nullptr;
  int count = 0;
  for (HWND p = FindWindowExW(mainWindow, nullptr, L"#32770", nullptr); p;
       p = FindWindowExW(mainWindow, p, L"#32770", nullptr))
    if (IsWindowVisible(p)) shown = p, ++count;
  return count == 1 ? shown : nullptr;
}

// "COUNT CHECKED": buttons "Track 1".."Track COUNT" with ids from
// IDC_TRACK_BUTTON_FIRST, and which one is checked (0 none, -1 several).
std::wstring paneState() {
  HWND shown = pane();
  if (shown == nullptr) return L"not one pane shown";
  int count = 0, checked = 0;
  for (HWND b = FindWindowExW(shown, nullptr, nullptr, nullptr); b;
       b = FindWindowExW(shown, b, nullptr, nullptr), ++count) {
    const int number = GetDlgCtrlID(b) - IDC_TRACK_BUTTON_FIRST + 1;
    if (text(b) != L"Track " + std::to_wstring(number)) return L"button reads " + text(b);
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
  HANDLE file = INVALID_HANDLE_VALUE;
  if (!waitFor([&] {
        file = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        return file != INVALID_HANDLE_VALUE;
      }))
    fail(L"cannot read " + path);
  std::string bytes(GetFileSize(file, nullptr), '\0');
  DWORD got = 0;
  ReadFile(file, bytes.data(), DWORD(bytes.size()), &got, nullptr);
  CloseHandle(file);
  return bytes;
}

void writeFile(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  if (file == INVALID_HANDLE_VALUE ||
      !WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr))
    fail(L"cannot write " + path);
  CloseHandle(file);
}

// A format-1 song at 96 ticks a quarter: `tracks` tracks of four notes, track
// i on channel i % 16; 14 + 44 * tracks bytes.
std::string song(int tracks) {
  std::string out("MThd\0\0\0\6\0\1", 10);
  out += {char(tracks >> 8), char(tracks), 0, 96};
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

// The screen as a 24-bit BMP file.
void screenshot(const std::wstring& path) {
  HDC screen = GetDC(nullptr);
  const int width = GetDeviceCaps(screen, HORZRES), height = GetDeviceCaps(screen, VERTRES);
  BITMAPINFO info{};
  info.bmiHeader = {sizeof info.bmiHeader, width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC memory = CreateCompatibleDC(screen);
  SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
  GdiFlush();
  const DWORD size = DWORD((width * 3 + 3) / 4 * 4 * height);
  const DWORD head = DWORD(sizeof(BITMAPFILEHEADER) + sizeof info.bmiHeader);
  BITMAPFILEHEADER file{0x4D42, head + size, 0, 0, head};
  writeFile(path, std::string(reinterpret_cast<char*>(&file), sizeof file) +
                      std::string(reinterpret_cast<char*>(&info.bmiHeader), sizeof info.bmiHeader) +
                      std::string(static_cast<char*>(bits), size));
  DeleteDC(memory);
  DeleteObject(bitmap);
  ReleaseDC(nullptr, screen);
}

void launch(const Args& a) {
  std::wstring line = L"\"" + exePath + L"\"";
  for (const std::wstring& arg : a) line += L" \"" + arg + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  if (!CreateProcessW(exePath.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      vars[L"WORK"].c_str(), &startup, &app))
    fail(L"cannot start " + exePath);
  if (!waitFor([] { return (mainWindow = topDialog()) != nullptr; }, 3 * kWaitMs))
    fail(L"no window");
  expect([] { return text(mainWindow); }, L"Varnook");
  logSeen = 0;
}

void throughDialog(int command, const std::wstring& path);

const std::map<std::wstring, std::function<void(const Args&)>> kSteps = {
    {L"launch", launch},
    {L"command", [](const Args& a) { PostMessageW(mainWindow, WM_COMMAND, id(a[0]), 0); }},
    {L"click", [](const Args& a) { PostMessageW(waitControl(id(a[0])), BM_CLICK, 0, 0); }},
    {L"close", [](const Args&) { PostMessageW(topDialog(), WM_SYSCOMMAND, SC_CLOSE, 0); }},
    {L"key",
     [](const Args& a) {
       HWND focus = nullptr;
       const auto inTop = [&] {
         return (focus = focusWindow()) && GetAncestor(focus, GA_ROOT) == topDialog();
       };
       if (!waitFor(inTop)) fail(L"no focus in the dialog on top");
       PostMessageW(focus, WM_KEYDOWN, id(a[0]), 1);
       PostMessageW(focus, WM_KEYUP, id(a[0]), 0xC0000001);
     }},
    {L"dialog",
     [](const Args&) {
       if (!waitFor([] { return topDialog() != mainWindow; })) fail(L"no dialog opened");
     }},
    {L"gone",
     [](const Args&) {
       if (!waitFor([] { return topDialog() == mainWindow; })) fail(L"the dialog stays open");
     }},
    {L"type",
     [](const Args& a) {
       HWND combo = FindWindowExW(waitControl(kFileNameBox), nullptr, L"ComboBox", nullptr);
       HWND edit = combo ? FindWindowExW(combo, nullptr, L"Edit", nullptr) : nullptr;
       if (!edit) fail(L"the file dialog has no name box");
       send(edit, WM_SETTEXT, 0, LPARAM(a[0].c_str()));
       PostMessageW(GetAncestor(combo, GA_ROOT), WM_COMMAND, IDOK, 0);
     }},
    {L"load", [](const Args& a) { throughDialog(ID_FILE_LOAD, a[0]); }},
    {L"save", [](const Args& a) { throughDialog(ID_FILE_SAVE, a[0]); }},
    {L"select",
     [](const Args& a) {
       send(GetDlgItem(pane(), IDC_TRACK_BUTTON_FIRST + id(a[0]) - 1), BM_CLICK);
     }},
    {L"slide",  // the position from the control, as after keys and clicks
     [](const Args& a) {
       send(item(id(a[0])), TBM_SETPOS, TRUE, id(a[1]));
       send(mainWindow, WM_HSCROLL, TB_ENDTRACK, LPARAM(item(id(a[0]))));
     }},
    {L"drag",  // the position in the message, as while the thumb is dragged
     [](const Args& a) {
       send(item(id(a[0])), TBM_SETPOS, TRUE, id(a[1]));
       send(mainWindow, WM_HSCROLL, MAKEWPARAM(TB_THUMBTRACK, id(a[1])), LPARAM(item(id(a[0]))));
     }},
    {L"scroll", [](const Args& a) { send(pane(), WM_VSCROLL, id(a[0])); }},
    {L"mark", [](const Args&) { markedTop = buttonRect(1).top; }},
    {L"unmoved",
     [](const Args&) {
       expect([] { return std::to_wstring(buttonRect(1).top); }, std::to_wstring(markedTop));
     }},
    {L"inview",  // NUMBER [no]: the button lies wholly inside the pane
     [](const Args& a) {
       expect(
           [&] {
             RECT r = buttonRect(id(a[0])), client{};
             GetClientRect(pane(), &client);
             return r.top >= 0 && r.bottom <= client.bottom ? L"yes" : L"no";
           },
           a.size() > 1 ? a[1] : L"yes");
     }},
    {L"log",  // LINE...: exactly these new lines; none: no new line, no dialog
     [](const Args& a) {
       if (a.empty()) Sleep(kQuietMs);
       expect(
           [] {
             const Args lines = logLines();
             const bool open = topDialog() != mainWindow;
             return joined(lines.begin() + std::min(logSeen, lines.size()), lines.end()) +
                    (open ? L" [a dialog is open]" : L"");
           },
           joined(a.begin(), a.end()));
       logSeen += a.size();
     }},
    {L"logend",
     [](const Args&) {
       expect(
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
     }},
    {L"text", [](const Args& a) { expect([&] { return text(waitControl(id(a[0]))); }, a[1]); }},
    {L"focus",
     [](const Args& a) {
       expect([] { return std::to_wstring(GetDlgCtrlID(focusWindow())); },
              std::to_wstring(id(a[0])));
     }},
    {L"amounts",  // TIME TIME_LABEL PITCH PITCH_LABEL
     [](const Args& a) {
       expect(
           [] {
             return std::to_wstring(send(item(IDC_TIME_SHIFT), TBM_GETPOS)) + L" | " +
                    text(item(IDC_TIME_SHIFT_VALUE)) + L" | " +
                    std::to_wstring(send(item(IDC_PITCH_SHIFT), TBM_GETPOS)) + L" | " +
                    text(item(IDC_PITCH_SHIFT_VALUE));
           },
           joined(a.begin(), a.end()));
     }},
    {L"pane", [](const Args& a) { expect(paneState, a[0] + L" " + a[1]); }},
    {L"exit",
     [](const Args&) {
       DWORD code = 99;
       if (WaitForSingleObject(app.hProcess, kWaitMs) != WAIT_OBJECT_0) fail(L"still running");
       GetExitCodeProcess(app.hProcess, &code);
       CloseHandle(app.hProcess);
       CloseHandle(app.hThread);
       app = {};
       if (code != 0) fail(L"exit code " + std::to_wstring(code));
     }},
    {L"song", [](const Args& a) { writeFile(a[0], song(id(a[1]))); }},
    {L"copy", [](const Args& a) { writeFile(a[1], readFile(a[0])); }},
    {L"mkdir", [](const Args& a) { CreateDirectoryW(a[0].c_str(), nullptr); }},
    {L"absent",
     [](const Args& a) {
       if (GetFileAttributesW(a[0].c_str()) != INVALID_FILE_ATTRIBUTES) fail(a[0] + L" exists");
     }},
    {L"hold",  // open with no sharing, until release
     [](const Args& a) {
       held.push_back(
           CreateFileW(a[0].c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
       if (held.back() == INVALID_HANDLE_VALUE) fail(L"cannot hold " + a[0]);
     }},
    {L"release",
     [](const Args&) {
       for (HANDLE file : held) CloseHandle(file);
       held.clear();
     }},
    {L"differ",  // A B [CHUNK...]: exactly these chunks differ, 0 the header
     [](const Args& a) {
       const std::vector<std::string> x = chunks(readFile(a[0])), y = chunks(readFile(a[1]));
       std::wstring seen;
       for (size_t i = 0; i < std::max(x.size(), y.size()); ++i)
         if (i >= x.size() || i >= y.size() || x[i] != y[i])
           seen += (seen.empty() ? L"" : L" | ") + std::to_wstring(i);
       expect([&] { return seen; }, joined(a.begin() + 2, a.end()));
     }},
    {L"shot", [](const Args& a) { screenshot(a[0]); }},
    {L"wait", [](const Args& a) { Sleep(id(a[0])); }},
};

void throughDialog(int command, const std::wstring& path) {
  PostMessageW(mainWindow, WM_COMMAND, command, 0);
  kSteps.at(L"type")({path});
  kSteps.at(L"gone")({});
}

std::wstring windowsPath(std::wstring path) {
  if (path.starts_with(L"/")) path = L"Z:" + path;
  std::replace(path.begin(), path.end(), L'/', L'\\');
  return path;
}

// The line's words with every $NAME and {size PATH} put in.
Args words(const std::wstring& line) {
  Args out;
  for (size_t at = line.find_first_not_of(L' '); at < line.size() && line[at] != L'#';
       at = line.find_first_not_of(L' ', at)) {
    const bool quoted = line[at] == L'"';
    const size_t end = line.find(quoted ? L'"' : L' ', at + 1);
    std::wstring word = line.substr(at + quoted, end - at - quoted);
    at = end == std::wstring::npos ? end : end + 1;
    for (const auto& [name, value] : vars)
      for (size_t p; (p = word.find(L"$" + name)) != std::wstring::npos;)
        word.replace(p, name.size() + 1, value);
    for (size_t p, q; (p = word.find(L"{size ")) != std::wstring::npos &&
                      (q = word.find(L'}', p)) != std::wstring::npos;)
      word.replace(p, q - p + 1, std::to_wstring(readFile(word.substr(p + 6, q - p - 6)).size()));
    out.push_back(word);
  }
  return out;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) {
    std::printf("usage: varnook_window_driver VARNOOK_EXE STEP_FILE WORK_DIR [NAME=VALUE]...\n");
    return 2;
  }
  exePath = windowsPath(argv[1]);
  vars[L"WORK"] = windowsPath(argv[3]);
  vars[L"LONG"] =
      vars[L"WORK"] + L"\\" + std::wstring(std::max(1, 180 - int(wcslen(argv[3]))), 'x');
  for (int i = 4; i < argc; ++i) {
    const std::wstring definition = argv[i];
    const size_t equals = definition.find(L'=');
    vars[definition.substr(0, equals)] = windowsPath(definition.substr(equals + 1));
  }
  const std::string bytes = readFile(windowsPath(argv[2]));
  std::wstring all(bytes.size(), L'\0');
  all.resize(MultiByteToWideChar(CP_UTF8, 0, bytes.data(), int(bytes.size()), all.data(),
                                 int(all.size())));
  for (size_t start = 0, end = 0; end != std::wstring::npos; start = end + 1) {
    end = all.find(L'\n', start);
    step = all.substr(start, end - start);
    if (!step.empty() && step.back() == L'\r') step.pop_back();
    Args a = words(step);
    if (a.empty()) continue;
    const auto found = kSteps.find(a[0]);
    if (found == kSteps.end()) fail(L"unknown step");
    const DWORD began = GetTickCount();
    found->second(Args(a.begin() + 1, a.end()));
    std::printf("ok %5lu ms: %s\n", GetTickCount() - began, utf8(step).c_str());
  }
  if (app.hProcess) fail(L"the program is still running at the end");
  return 0;
}
