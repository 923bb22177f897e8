// Drives the real Varnook window from outside, as a user would, and checks
// what it shows.
//
// Usage: varnook_window_driver VARNOOK_EXE SCENARIO WORK_DIR [SAMPLE_DIR]
//   SCENARIO is one of startup-exit, workflow, failures, about.
//   WORK_DIR is an existing empty folder for the files the scenario writes;
//   SAMPLE_DIR the folder of shared sample MIDI files (optional).
// Linux paths (starting with '/') are taken as Wine's drive Z:.
//
// The driver starts varnook.exe, finds its main dialog by process id, and
// talks to it only through window messages: commands that open a modal
// dialog are posted, everything else is sent with a timeout, so no step can
// hang. Each check prints one "ok" line; the first failure prints "FAIL",
// the log's text, ends the program and exits with 1.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr DWORD kWaitMs = 15000;         // any one wait for the program
constexpr DWORD kStartMs = 30000;        // first window after CreateProcess
constexpr DWORD kQuietMs = 1500;         // "nothing happens" observations
constexpr UINT kSendMs = 5000;           // any one sent message

constexpr int kIdExit = 2;
constexpr int kIdTracksGroup = 1000;
constexpr int kIdTimeShift = 1004;
constexpr int kIdLog = 1006;
constexpr int kIdPitchShift = 1007;
constexpr int kIdTransform = 1008;
constexpr int kIdVersionText = 1010;
constexpr int kIdTimeShiftValue = 1013;
constexpr int kIdPitchShiftValue = 1014;
constexpr int kIdLoad = 32771;
constexpr int kIdSave = 32774;
constexpr int kIdAbout = 104;
constexpr int kIdFileExit = 105;
constexpr int kIdFirstTrack = 10000;
constexpr int kIdFileNameBox = 1148;     // the file dialogs' name combo

PROCESS_INFORMATION app{};
HWND mainWindow = nullptr;
std::wstring exePath;
std::wstring workDir;
std::wstring sampleDir;
int checks = 0;

std::string utf8(const std::wstring& text)
{
    if (text.empty()) return {};
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(size_t(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::wstring format(const wchar_t* fmt, ...)
{
    wchar_t buffer[512];
    va_list args;
    va_start(args, fmt);
    vswprintf(buffer, 512, fmt, args);
    va_end(args);
    return buffer;
}

std::wstring quoted(const std::wstring& text)
{
    return L"\"" + text + L"\"";
}

std::wstring logText();

[[noreturn]] void fail(const std::wstring& what)
{
    static bool failing = false;  // reading the log can fail too
    std::printf("FAIL: %s\n", utf8(what).c_str());
    if (!failing && mainWindow && IsWindow(mainWindow)) {
        failing = true;
        std::printf("---- the program's log ----\n%s\n---------------------------\n", utf8(logText()).c_str());
    }
    if (app.hProcess) {
        TerminateProcess(app.hProcess, 99);
        WaitForSingleObject(app.hProcess, 5000);
    }
    std::fflush(stdout);
    ExitProcess(1);
}

void pass(const std::wstring& what)
{
    ++checks;
    std::printf("ok: %s\n", utf8(what).c_str());
    std::fflush(stdout);
}

void check(bool condition, const std::wstring& what)
{
    if (!condition) fail(what);
    pass(what);
}

void expectText(const std::wstring& actual, const std::wstring& expected, const std::wstring& what)
{
    if (actual != expected) fail(what + L": expected " + quoted(expected) + L", got " + quoted(actual));
    pass(what + L" is " + quoted(expected));
}

void expectNumber(long long actual, long long expected, const std::wstring& what)
{
    if (actual != expected) fail(format(L"%ls: expected %lld, got %lld", what.c_str(), expected, actual));
    pass(format(L"%ls is %lld", what.c_str(), expected));
}

// Polls `condition` every 50 ms until it holds or `ms` have passed.
template <typename Condition>
bool waitFor(Condition condition, DWORD ms = kWaitMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (condition()) return true;
        if (GetTickCount() - start >= ms) return false;
        Sleep(50);
    }
}

LRESULT send(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kSendMs, &result)) {
        fail(format(L"message 0x%04X to window %p got no answer within %u ms", message, (void*)window, kSendMs));
    }
    return LRESULT(result);
}

void post(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!PostMessageW(window, message, wParam, lParam)) {
        fail(format(L"could not post message 0x%04X to window %p", message, (void*)window));
    }
}

// Control text through WM_GETTEXT: GetWindowTextW does not ask a window of
// another process, it returns what the system last stored as its caption.
std::wstring windowText(HWND window)
{
    if (!window) return L"<no window>";
    LRESULT length = send(window, WM_GETTEXTLENGTH, 0, 0);
    std::vector<wchar_t> buffer(size_t(length) + 1, L'\0');
    send(window, WM_GETTEXT, WPARAM(buffer.size()), LPARAM(buffer.data()));
    return buffer.data();
}

std::wstring className(HWND window)
{
    wchar_t name[64] = L"";
    GetClassNameW(window, name, 64);
    return name;
}

HWND item(int id)
{
    return GetDlgItem(mainWindow, id);
}

std::wstring logText()
{
    return windowText(item(kIdLog));
}

std::vector<std::wstring> logLines()
{
    std::vector<std::wstring> lines;
    std::wstring text = logText();
    if (text.empty()) return lines;
    size_t start = 0;
    for (;;) {
        size_t end = text.find(L"\r\n", start);
        if (end == std::wstring::npos) {
            lines.push_back(text.substr(start));
            return lines;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
}

std::wstring joined(const std::vector<std::wstring>& lines)
{
    std::wstring out;
    for (const std::wstring& line : lines) out += (out.empty() ? L"" : L" | ") + line;
    return L"[" + out + L"]";
}

// Waits until the log holds `before` + expected.size() lines, then compares
// the new ones; lines after them would be a fault too.
void expectNewLogLines(size_t before, const std::vector<std::wstring>& expected, const std::wstring& what)
{
    size_t want = before + expected.size();
    waitFor([&] { return logLines().size() >= want; });
    Sleep(200);  // a line too many would come right behind
    std::vector<std::wstring> lines = logLines();
    std::vector<std::wstring> added(lines.begin() + long(std::min(before, lines.size())), lines.end());
    if (added != expected) fail(what + L": expected new log lines " + joined(expected) + L", got " + joined(added));
    pass(what + L": log shows " + joined(expected));
}

void expectLogQuiet(size_t before, const std::wstring& what)
{
    Sleep(kQuietMs / 3);
    std::vector<std::wstring> lines = logLines();
    if (lines.size() != before) {
        std::vector<std::wstring> added(lines.begin() + long(std::min(before, lines.size())), lines.end());
        fail(what + L": expected no new log line, got " + joined(added));
    }
    pass(what + L": nothing logged");
}

struct DialogSearch {
    DWORD processId;
    std::vector<HWND> found;
};

BOOL CALLBACK collectDialog(HWND window, LPARAM data)
{
    DialogSearch* search = reinterpret_cast<DialogSearch*>(data);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->processId && IsWindowVisible(window) && className(window) == L"#32770") {
        search->found.push_back(window);
    }
    return TRUE;
}

// The program's visible top-level dialogs.
std::vector<HWND> programDialogs()
{
    DialogSearch search{app.dwProcessId, {}};
    EnumWindows(collectDialog, LPARAM(&search));
    return search.found;
}

// A visible top-level dialog of the program that is none of `known`.
HWND newDialog(const std::vector<HWND>& known)
{
    for (HWND window : programDialogs()) {
        bool old = false;
        for (HWND k : known) old = old || k == window;
        if (!old) return window;
    }
    return nullptr;
}

HWND waitNewDialog(const std::vector<HWND>& known, const std::wstring& what)
{
    HWND found = nullptr;
    if (!waitFor([&] { return (found = newDialog(known)) != nullptr; })) {
        fail(what + L": no new dialog appeared");
    }
    return found;
}

void waitGone(HWND window, const std::wstring& what)
{
    if (!waitFor([&] { return !IsWindow(window) || !IsWindowVisible(window); })) fail(what + L": still open");
}

std::wstring toWindowsPath(std::wstring path)
{
    if (!path.empty() && path[0] == L'/') path = L"Z:" + path;
    for (wchar_t& c : path) {
        if (c == L'/') c = L'\\';
    }
    while (path.size() > 3 && path.back() == L'\\') path.pop_back();
    return path;
}

std::wstring inWork(const std::wstring& name)
{
    return workDir + L"\\" + name;
}

bool fileExists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<uint8_t> readFile(const std::wstring& path)
{
    std::vector<uint8_t> bytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) fail(L"cannot read " + path);
    DWORD size = GetFileSize(file, nullptr);
    bytes.resize(size);
    DWORD got = 0;
    if (size && (!ReadFile(file, bytes.data(), size, &got, nullptr) || got != size)) fail(L"cannot read " + path);
    CloseHandle(file);
    return bytes;
}

void writeFile(const std::wstring& path, const std::vector<uint8_t>& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    if (file == INVALID_HANDLE_VALUE) fail(L"cannot create " + path);
    bool ok = WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr) && written == bytes.size();
    CloseHandle(file);
    if (!ok) fail(L"cannot write " + path);
}

std::vector<std::wstring> folderEntries(const std::wstring& folder)
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        std::wstring name = entry.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (FindNextFileW(find, &entry));
    FindClose(find);
    return names;
}

// ---- the test songs -------------------------------------------------------

void putVarLength(std::vector<uint8_t>& out, uint32_t value)
{
    uint8_t groups[5];
    int n = 0;
    do {
        groups[n++] = uint8_t(value & 0x7F);
        value >>= 7;
    } while (value);
    while (n > 1) out.push_back(uint8_t(groups[--n] | 0x80));
    out.push_back(groups[0]);
}

void putEvent(std::vector<uint8_t>& track, uint32_t delta, std::initializer_list<uint8_t> bytes)
{
    putVarLength(track, delta);
    track.insert(track.end(), bytes);
}

void putBigEndian(std::vector<uint8_t>& out, uint32_t value, int bytes)
{
    for (int i = bytes - 1; i >= 0; --i) out.push_back(uint8_t(value >> (8 * i)));
}

std::vector<uint8_t> midiFile(uint16_t division, const std::vector<std::vector<uint8_t>>& tracks)
{
    std::vector<uint8_t> out = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1};
    putBigEndian(out, uint32_t(tracks.size()), 2);
    putBigEndian(out, division, 2);
    for (const std::vector<uint8_t>& track : tracks) {
        out.insert(out.end(), {'M', 'T', 'r', 'k'});
        putBigEndian(out, uint32_t(track.size()), 4);
        out.insert(out.end(), track.begin(), track.end());
    }
    return out;
}

// Four tracks at 96 ticks per quarter. Every note that can be moved lies at
// least 48 ticks after the event before it, more than twice the largest
// time-shift amount the workflow sets, so the checker can demand that every
// event lands within -amount .. amount - 1 ticks of where it was.
std::vector<uint8_t> workflowSong()
{
    std::vector<uint8_t> lead;  // channel 0, own status bytes, a controller and a chord
    putEvent(lead, 0, {0xFF, 0x03, 4, 'L', 'e', 'a', 'd'});
    for (uint8_t k = 0; k < 6; ++k) {
        putEvent(lead, 96, {0x90, uint8_t(60 + k), 100});
        putEvent(lead, 48, {0x80, uint8_t(60 + k), 64});
    }
    putEvent(lead, 10, {0xB0, 7, 100});
    putEvent(lead, 86, {0x90, 64, 90});
    putEvent(lead, 0, {0x90, 67, 90});
    putEvent(lead, 96, {0x80, 64, 0});
    putEvent(lead, 0, {0x80, 67, 0});
    putEvent(lead, 48, {0xFF, 0x2F, 0});

    std::vector<uint8_t> bass;  // channel 1, program change head, running status
    putEvent(bass, 0, {0xC1, 33});
    putEvent(bass, 96, {0x91, 40, 100});
    putEvent(bass, 48, {40, 0});  // running status: Note On velocity 0
    putEvent(bass, 48, {43, 100});
    putEvent(bass, 48, {43, 0});
    putEvent(bass, 48, {45, 100});
    putEvent(bass, 48, {0x81, 45, 0});
    putEvent(bass, 48, {0xFF, 0x2F, 0});

    std::vector<uint8_t> pad;  // channel 2, both amounts
    putEvent(pad, 0, {0xFF, 0x03, 3, 'P', 'a', 'd'});
    putEvent(pad, 96, {0x92, 72, 80});
    putEvent(pad, 96, {76, 80});
    putEvent(pad, 96, {0x82, 72, 0});
    putEvent(pad, 0, {76, 0});
    putEvent(pad, 96, {0x92, 79, 80});
    putEvent(pad, 96, {0x82, 79, 0});
    putEvent(pad, 0, {0xFF, 0x2F, 0});

    std::vector<uint8_t> drums;  // channel 9, left alone
    putEvent(drums, 0, {0xFF, 0x03, 5, 'D', 'r', 'u', 'm', 's'});
    for (int k = 0; k < 4; ++k) {
        putEvent(drums, 96, {0x99, 36, 120});
        putEvent(drums, 48, {0x89, 36, 0});
    }
    putEvent(drums, 0, {0xFF, 0x2F, 0});
    return midiFile(96, {lead, bass, pad, drums});
}

// n tracks holding only a note each, for the pane's full range of buttons.
std::vector<uint8_t> manyTrackSong(int n)
{
    std::vector<std::vector<uint8_t>> tracks;
    for (int i = 0; i < n; ++i) {
        std::vector<uint8_t> track;
        putEvent(track, 0, {uint8_t(0x90 | (i & 15)), 60, 100});
        putEvent(track, 96, {uint8_t(0x80 | (i & 15)), 60, 0});
        putEvent(track, 0, {0xFF, 0x2F, 0});
        tracks.push_back(track);
    }
    return midiFile(120, tracks);
}

// ---- the program ----------------------------------------------------------

struct MainSearch {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK findMain(HWND window, LPARAM data)
{
    MainSearch* search = reinterpret_cast<MainSearch*>(data);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId || !IsWindowVisible(window) || className(window) != L"#32770") return TRUE;
    wchar_t caption[64] = L"";
    GetWindowTextW(window, caption, 64);
    if (std::wstring(caption) != L"Varnook") return TRUE;
    search->found = window;
    return FALSE;
}

void launch()
{
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    std::wstring commandLine = quoted(exePath);
    app = PROCESS_INFORMATION{};
    mainWindow = nullptr;
    if (!CreateProcessW(exePath.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        workDir.c_str(), &startup, &app)) {
        fail(format(L"cannot start %ls (error %lu)", exePath.c_str(), GetLastError()));
    }
    MainSearch search{app.dwProcessId, nullptr};
    bool found = waitFor([&] {
        search.found = nullptr;
        EnumWindows(findMain, LPARAM(&search));
        return search.found != nullptr;
    }, kStartMs);
    if (!found) fail(L"the program showed no dialog captioned \"Varnook\"");
    mainWindow = search.found;
    // The dialog is visible before WM_INITDIALOG's log line lands in rare
    // orders of events; wait for the log to hold something.
    waitFor([] { return !logLines().empty(); });
    pass(L"started: main window is a #32770 captioned \"Varnook\"");
}

void expectExit(const std::wstring& how)
{
    if (WaitForSingleObject(app.hProcess, kWaitMs) != WAIT_OBJECT_0) fail(how + L": the program did not end");
    DWORD code = 99;
    GetExitCodeProcess(app.hProcess, &code);
    CloseHandle(app.hProcess);
    CloseHandle(app.hThread);
    app = PROCESS_INFORMATION{};
    mainWindow = nullptr;
    if (code != 0) fail(format(L"%ls: the program ended with exit code %lu, not 0", how.c_str(), code));
    pass(how + L" ends the program with exit code 0");
}

HWND focusWindow()
{
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(app.dwThreadId, &info)) return nullptr;
    return info.hwndFocus;
}

// The track pane shown now: the visible #32770 child of the main window.
HWND currentPane()
{
    for (HWND child = FindWindowExW(mainWindow, nullptr, L"#32770", nullptr); child;
         child = FindWindowExW(mainWindow, child, L"#32770", nullptr)) {
        if (IsWindowVisible(child)) return child;
    }
    return nullptr;
}

std::vector<HWND> paneButtons(HWND pane)
{
    std::vector<HWND> buttons;
    for (HWND child = FindWindowExW(pane, nullptr, nullptr, nullptr); child;
         child = FindWindowExW(pane, child, nullptr, nullptr)) {
        buttons.push_back(child);
    }
    return buttons;
}

RECT rectIn(HWND window, HWND parent)
{
    RECT r{};
    GetWindowRect(window, &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
}

int sliderPos(int id)
{
    return int(send(item(id), TBM_GETPOS, 0, 0));
}

// A slider move as the control reports it: the position is set, then the
// parent hears WM_HSCROLL with the trackbar's handle. `dragged` puts the
// position into the high word as a thumb drag does; otherwise the request is
// TB_ENDTRACK with 0 there, and the program must ask the control.
void moveSlider(int id, int position, bool dragged)
{
    HWND slider = item(id);
    send(slider, TBM_SETPOS, TRUE, position);
    WPARAM wParam = dragged ? MAKEWPARAM(TB_THUMBTRACK, position) : MAKEWPARAM(TB_ENDTRACK, 0);
    send(mainWindow, WM_HSCROLL, wParam, LPARAM(slider));
}

void expectSliders(int time, int pitch, const std::wstring& what)
{
    auto label = [](int v) { return v == 0 ? std::wstring(L"Off") : std::to_wstring(v); };
    int t = sliderPos(kIdTimeShift);
    int p = sliderPos(kIdPitchShift);
    std::wstring tl = windowText(item(kIdTimeShiftValue));
    std::wstring pl = windowText(item(kIdPitchShiftValue));
    if (t != time || p != pitch || tl != label(time) || pl != label(pitch)) {
        fail(format(L"%ls: expected sliders %d/%d labels %ls/%ls, got %d/%d labels %ls/%ls", what.c_str(), time, pitch,
                    label(time).c_str(), label(pitch).c_str(), t, p, tl.c_str(), pl.c_str()));
    }
    pass(format(L"%ls: sliders %d/%d, labels %ls/%ls", what.c_str(), time, pitch, tl.c_str(), pl.c_str()));
}

// Which track button is checked: its index, -1 for none, -2 for several.
int checkedTrack(HWND pane)
{
    int checked = -1;
    std::vector<HWND> buttons = paneButtons(pane);
    for (size_t i = 0; i < buttons.size(); ++i) {
        if (send(buttons[i], BM_GETCHECK, 0, 0) == BST_CHECKED) checked = checked == -1 ? int(i) : -2;
    }
    return checked;
}

void selectTrack(int index)
{
    HWND pane = currentPane();
    HWND button = GetDlgItem(pane, kIdFirstTrack + index);
    if (!button) fail(format(L"no button with id %d in the pane", kIdFirstTrack + index));
    send(button, BM_CLICK, 0, 0);
    if (!waitFor([&] { return checkedTrack(pane) == index; }, 3000)) {
        fail(format(L"pressing \"Track %d\" did not make it the one checked button (checked: %d)", index + 1,
                    checkedTrack(pane)));
    }
    pass(format(L"pressing \"Track %d\" checks it alone", index + 1));
}

// The open or save dialog that a posted command brings up, with its file
// name box found as Wine builds it: ComboBoxEx32 1148 > ComboBox > Edit.
struct FileDialog {
    HWND window;
    HWND nameEdit;
};

FileDialog waitFileDialog(const std::wstring& what)
{
    HWND window = waitNewDialog({mainWindow}, what);
    HWND box = nullptr;
    HWND edit = nullptr;
    waitFor([&] {
        box = GetDlgItem(window, kIdFileNameBox);
        HWND combo = box ? FindWindowExW(box, nullptr, L"ComboBox", nullptr) : nullptr;
        edit = combo ? FindWindowExW(combo, nullptr, L"Edit", nullptr) : nullptr;
        if (!edit && box && className(box) == L"Edit") edit = box;
        return edit != nullptr;
    }, 5000);
    if (!edit) fail(what + L": the dialog has no file name box (control 1148)");
    return {window, edit};
}

FileDialog openCommandDialog(int command, const std::wstring& what)
{
    post(mainWindow, WM_COMMAND, WPARAM(command), 0);
    return waitFileDialog(what);
}

void typeAndConfirm(const FileDialog& dialog, const std::wstring& path)
{
    send(dialog.nameEdit, WM_SETTEXT, 0, LPARAM(path.c_str()));
    post(dialog.window, WM_COMMAND, IDOK, 0);
}

void cancelDialog(HWND dialog, const std::wstring& what)
{
    post(dialog, WM_COMMAND, IDCANCEL, 0);
    waitGone(dialog, what);
}

// Load through the real open dialog; the dialog must close on its own.
void loadThroughDialog(const std::wstring& path)
{
    FileDialog dialog = openCommandDialog(kIdLoad, L"Load...");
    typeAndConfirm(dialog, path);
    waitGone(dialog.window, L"the open dialog after choosing " + path);
}

void saveThroughDialog(const std::wstring& path)
{
    FileDialog dialog = openCommandDialog(kIdSave, L"Save...");
    typeAndConfirm(dialog, path);
    waitGone(dialog.window, L"the save dialog after choosing " + path);
}

void expectLoaded(const std::wstring& path, size_t size, int division, int tracks)
{
    size_t before = logLines().size();
    loadThroughDialog(path);
    expectNewLogLines(before,
                      {path, format(L"Read %zu bytes", size), format(L"PPQN=%d", division),
                       format(L"Loaded %d tracks", tracks)},
                      L"loading " + path);
}

// Every pane button: "Track n", id 10000 + i, 70 x 20 at 10, 5 + 20 i in the
// pane's client area (shifted by `scrolledBy` pixels of vertical scrolling).
// WS_TABSTOP is not looked at: a radio button gives it to itself when checked.
void expectPaneButtons(HWND pane, int count, int scrolledBy)
{
    std::vector<HWND> buttons = paneButtons(pane);
    expectNumber(static_cast<long long>(buttons.size()), count, L"number of windows in the track pane");
    for (int i = 0; i < count; ++i) {
        HWND button = GetDlgItem(pane, kIdFirstTrack + i);
        if (!button) fail(format(L"no pane button with id %d", kIdFirstTrack + i));
        std::wstring text = windowText(button);
        RECT r = rectIn(button, pane);
        LONG style = GetWindowLongW(button, GWL_STYLE);
        if (text != format(L"Track %d", i + 1) || className(button) != L"Button" || r.left != 10 ||
            r.top != 5 + 20 * i - scrolledBy || r.right - r.left != 70 || r.bottom - r.top != 20 ||
            (style & 0x0F) != BS_RADIOBUTTON || !(style & BS_PUSHLIKE)) {
            fail(format(L"pane button %d: expected \"Track %d\" at 10,%d size 70x20 push-like radio, got \"%ls\" "
                        L"(%ls) at %ld,%ld size %ldx%ld style 0x%08lX",
                        kIdFirstTrack + i, i + 1, 5 + 20 * i - scrolledBy, text.c_str(), className(button).c_str(),
                        r.left, r.top, r.right - r.left, r.bottom - r.top, style));
        }
    }
    pass(format(L"pane buttons \"Track 1\"..\"Track %d\", ids 10000..%d, 70x20 at 10, 5+20i%ls", count,
                kIdFirstTrack + count - 1, scrolledBy ? format(L" - %d", scrolledBy).c_str() : L""));
}

// The pane lies 1 pixel inside the group box's sides, 20 below its top and
// 2 above its bottom.
void expectPanePlacement(HWND pane)
{
    RECT group = rectIn(item(kIdTracksGroup), mainWindow);
    RECT r = rectIn(pane, mainWindow);
    if (r.left != group.left + 1 || r.right != group.right - 1 || r.top != group.top + 20 ||
        r.bottom != group.bottom - 2) {
        fail(format(L"track pane at %ld,%ld-%ld,%ld, expected %ld,%ld-%ld,%ld inside the \"Tracks\" box", r.left,
                    r.top, r.right, r.bottom, group.left + 1, group.top + 20, group.right - 1, group.bottom - 2));
    }
    pass(L"track pane fills the \"Tracks\" box less 1 px at the sides, 20 at the top, 2 at the bottom");
}

// ---- scenarios ------------------------------------------------------------

void checkStartState()
{
    expectText(logText(), L"Start", L"the log right after start");
    struct Expected {
        int id;
        const wchar_t* className;
        const wchar_t* text;
    };
    const Expected controls[] = {
        {kIdExit, L"Button", L"Exit"},        {kIdTracksGroup, L"Button", L"Tracks"},
        {kIdLoad, L"Button", L"Load..."},     {kIdTransform, L"Button", L"Transform"},
        {kIdSave, L"Button", L"Save..."},     {kIdTimeShift, L"msctls_trackbar32", L""},
        {kIdPitchShift, L"msctls_trackbar32", L""}, {kIdLog, L"Edit", L"Start"},
        {kIdTimeShiftValue, L"Static", L"Off"}, {kIdPitchShiftValue, L"Static", L"Off"},
    };
    for (const Expected& c : controls) {
        HWND control = item(c.id);
        if (!control) fail(format(L"main window has no control %d", c.id));
        if (_wcsicmp(className(control).c_str(), c.className) != 0) {
            fail(format(L"control %d is a %ls, expected %ls", c.id, className(control).c_str(), c.className));
        }
        if (c.id != kIdTimeShift && c.id != kIdPitchShift) {
            expectText(windowText(control), c.text, format(L"text of control %d", c.id));
        }
    }
    expectNumber(send(item(kIdTimeShift), TBM_GETRANGEMIN, 0, 0), 0, L"time-shift slider minimum");
    expectNumber(send(item(kIdTimeShift), TBM_GETRANGEMAX, 0, 0), 200, L"time-shift slider maximum");
    expectNumber(send(item(kIdPitchShift), TBM_GETRANGEMIN, 0, 0), 0, L"pitch-shift slider minimum");
    expectNumber(send(item(kIdPitchShift), TBM_GETRANGEMAX, 0, 0), 64, L"pitch-shift slider maximum");
    expectSliders(0, 0, L"at start");
    LONG logStyle = GetWindowLongW(item(kIdLog), GWL_STYLE);
    check((logStyle & ES_READONLY) && (logStyle & ES_MULTILINE), L"the log is a read-only multi-line edit");
    HWND focus = nullptr;
    waitFor([&] { return (focus = focusWindow()) == item(kIdExit); }, 3000);
    check(focus == item(kIdExit), format(L"keyboard focus on \"Exit\" (focus is %p, class %ls)", (void*)focus,
                                          focus ? className(focus).c_str() : L"-"));
    HWND pane = currentPane();
    check(pane != nullptr, L"an empty track pane is shown inside the main window");
    expectNumber(static_cast<long long>(paneButtons(pane).size()), 0, L"buttons in the pane before any load");
    expectPanePlacement(pane);
}

void scenarioStartupExit()
{
    launch();
    checkStartState();

    // With no song, Transform and Save do nothing at all.
    size_t before = logLines().size();
    send(mainWindow, WM_COMMAND, kIdTransform, 0);
    expectLogQuiet(before, L"Transform before any load");
    post(mainWindow, WM_COMMAND, kIdSave, 0);
    Sleep(kQuietMs);
    check(newDialog({mainWindow}) == nullptr, L"Save before any load opens no dialog");
    expectLogQuiet(before, L"Save before any load");

    // The sliders still move their labels.
    moveSlider(kIdTimeShift, 200, true);
    moveSlider(kIdPitchShift, 64, false);
    expectSliders(200, 64, L"sliders moved before any load");
    moveSlider(kIdTimeShift, 0, true);
    expectSliders(0, 64, L"time shift dragged back to 0");

    // Exit button.
    send(item(kIdExit), BM_CLICK, 0, 0);
    expectExit(L"pressing \"Exit\"");

    // Escape, typed into the focused control.
    launch();
    waitFor([] { return focusWindow() != nullptr; }, 3000);
    HWND focus = focusWindow();
    post(focus ? focus : mainWindow, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    post(focus ? focus : mainWindow, WM_KEYUP, VK_ESCAPE, 0xC0010001);
    expectExit(L"Escape");

    // The title bar's close box.
    launch();
    post(mainWindow, WM_SYSCOMMAND, SC_CLOSE, 0);
    expectExit(L"the close box (SC_CLOSE)");

    launch();
    post(mainWindow, WM_CLOSE, 0, 0);
    expectExit(L"WM_CLOSE");

    // File, Exit.
    launch();
    post(mainWindow, WM_COMMAND, kIdFileExit, 0);
    expectExit(L"File, Exit (command 105)");
}

struct Amounts {
    int time;
    int pitch;
};

void writePlan(const std::vector<Amounts>& amounts)
{
    std::string text;
    for (size_t i = 0; i < amounts.size(); ++i) {
        text += std::to_string(i + 1) + " " + std::to_string(amounts[i].time) + " " +
                std::to_string(amounts[i].pitch) + "\n";
    }
    writeFile(inWork(L"plan.txt"), std::vector<uint8_t>(text.begin(), text.end()));
}

void checkScrolling(HWND pane)
{
    RECT client{};
    GetClientRect(pane, &client);
    int height = int(client.bottom);
    int content = 20 * 16 + 25;
    if (height >= content) {
        pass(format(L"pane client height %d holds all 16 buttons: no vertical scrolling to check", height));
        return;
    }
    auto firstTop = [&] { return int(rectIn(GetDlgItem(pane, kIdFirstTrack), pane).top); };
    send(pane, WM_VSCROLL, SB_LINEDOWN, 0);
    expectNumber(firstTop(), 4, L"first button's top after one line down");
    send(pane, WM_VSCROLL, SB_LINEUP, 0);
    send(pane, WM_VSCROLL, SB_LINEUP, 0);  // already at the top: stays
    expectNumber(firstTop(), 5, L"first button's top after line up twice");
    send(pane, WM_VSCROLL, SB_BOTTOM, 0);
    // last position = nMax - nPage + 1 = content - height + 1; moved by last - 1
    expectPaneButtons(pane, 16, content - height);
    send(pane, WM_VSCROLL, SB_LINEDOWN, 0);  // at the end: stays
    send(pane, WM_VSCROLL, SB_THUMBPOSITION | (3 << 16), 0);  // ignored
    send(pane, WM_VSCROLL, SB_ENDSCROLL, 0);  // ignored
    expectNumber(firstTop(), 5 - (content - height), L"first button's top after requests at the end");
    send(pane, WM_VSCROLL, SB_PAGEUP, 0);
    expectNumber(firstTop(), 5 - std::max(0, content - height - height), L"first button's top after page up");
    send(pane, WM_VSCROLL, SB_TOP, 0);
    expectNumber(firstTop(), 5, L"first button's top after SB_TOP");
}

void scenarioWorkflow()
{
    std::wstring input = inWork(L"song.mid");
    std::vector<uint8_t> song = workflowSong();
    writeFile(input, song);

    launch();
    moveSlider(kIdTimeShift, 50, true);
    expectSliders(50, 0, L"time shift moved to 50 before loading");
    HWND startPane = currentPane();

    expectLoaded(input, song.size(), 96, 4);
    HWND pane = currentPane();
    check(pane != nullptr && pane != startPane, L"loading replaces the empty pane with a new one");
    check(!IsWindowVisible(startPane), L"the pane from before the load is hidden");
    expectPaneButtons(pane, 4, 0);
    expectPanePlacement(pane);
    expectNumber(checkedTrack(pane), 0, L"checked track after the load");
    expectSliders(0, 0, L"after the load (the amount moved before it is gone)");

    // Amounts per track: each stays with its track.
    const std::vector<Amounts> plan = {{20, 0}, {0, 10}, {15, 5}, {0, 0}};
    selectTrack(1);
    expectSliders(0, 0, L"track 2 selected");
    moveSlider(kIdPitchShift, 10, true);
    expectSliders(0, 10, L"track 2, pitch shift dragged to 10");
    selectTrack(0);
    expectSliders(0, 0, L"track 1 keeps its own amounts");
    // Keyboard on the focused slider: End goes to the maximum, Home back to 0.
    HWND timeSlider = item(kIdTimeShift);
    post(timeSlider, WM_KEYDOWN, VK_END, 0x014F0001);
    post(timeSlider, WM_KEYUP, VK_END, 0xC14F0001);
    waitFor([] { return windowText(item(kIdTimeShiftValue)) == L"200"; }, 3000);
    expectSliders(200, 0, L"track 1, End key on the time-shift slider");
    post(timeSlider, WM_KEYDOWN, VK_HOME, 0x01470001);
    post(timeSlider, WM_KEYUP, VK_HOME, 0xC1470001);
    waitFor([] { return windowText(item(kIdTimeShiftValue)) == L"Off"; }, 3000);
    expectSliders(0, 0, L"track 1, Home key on the time-shift slider");
    moveSlider(kIdTimeShift, 20, false);
    expectSliders(20, 0, L"track 1, time shift set to 20 (position asked from the control)");
    selectTrack(2);
    moveSlider(kIdTimeShift, 15, true);
    moveSlider(kIdPitchShift, 5, false);
    expectSliders(15, 5, L"track 3 set to 15/5");
    selectTrack(1);
    expectSliders(0, 10, L"track 2 shows its stored amounts again");
    selectTrack(0);
    expectSliders(20, 0, L"track 1 shows its stored amounts again");
    selectTrack(3);
    expectSliders(0, 0, L"track 4 has none");
    selectTrack(2);
    expectSliders(15, 5, L"track 3 shows its stored amounts again");
    selectTrack(2);
    expectSliders(15, 5, L"pressing the checked button again changes nothing");

    size_t before = logLines().size();
    send(mainWindow, WM_COMMAND, kIdTransform, 0);
    expectNewLogLines(before,
                      {L"Track 1 Time shift transformed", L"Track 2 Pitch shift transformed",
                       L"Track 3 Time shift transformed", L"Track 3 Pitch shift transformed"},
                      L"Transform");
    expectSliders(15, 5, L"after Transform the controls stay");
    expectNumber(checkedTrack(pane), 2, L"checked track after Transform");
    writePlan(plan);

    std::wstring output = inWork(L"out.mid");
    before = logLines().size();
    saveThroughDialog(output);
    check(waitFor([&] { return logLines().size() >= before + 2; }), L"Save wrote its two log lines");
    std::vector<uint8_t> saved = readFile(output);
    expectNewLogLines(before, {L"File saved", format(L"Saved %zu bytes", saved.size())}, L"saving out.mid");
    check(saved.size() > song.size(), format(L"out.mid (%zu bytes) is larger than the input (bends added)",
                                             saved.size()));

    // Saving again over the existing file: no question, the same bytes.
    before = logLines().size();
    saveThroughDialog(output);
    expectNewLogLines(before, {L"File saved", format(L"Saved %zu bytes", saved.size())}, L"saving over out.mid");
    check(readFile(output) == saved, L"saving twice without a transform gives the same bytes");

    // A name without an extension gets ".mid".
    before = logLines().size();
    saveThroughDialog(inWork(L"again"));
    expectNewLogLines(before, {L"File saved", format(L"Saved %zu bytes", saved.size())}, L"saving as \"again\"");
    check(fileExists(inWork(L"again.mid")) && readFile(inWork(L"again.mid")) == saved,
          L"a name typed without extension is saved as again.mid with the same bytes");

    // Paths longer than 130 units (the buffer holds 260) go through both
    // dialogs: save there, and load from there below.
    // Aim at about 200 units whatever the work folder's own length.
    size_t pad = workDir.size() < 170 ? 200 - 20 - workDir.size() : 1;
    std::wstring longFolder = inWork(std::wstring(pad, L'x'));
    if (!CreateDirectoryW(longFolder.c_str(), nullptr)) fail(L"cannot make " + longFolder);
    std::wstring longOut = longFolder + L"\\long-path-out.mid";
    before = logLines().size();
    saveThroughDialog(longOut);
    expectNewLogLines(before, {L"File saved", format(L"Saved %zu bytes", saved.size())},
                      format(L"saving under a path of %zu units", longOut.size()));
    check(fileExists(longOut) && readFile(longOut) == saved, L"the long path holds the same bytes");

    // A second load: all 16 buttons, and the pane scrolls them.
    std::wstring many = longFolder + L"\\sixteen.mid";
    std::vector<uint8_t> manyBytes = manyTrackSong(16);
    writeFile(many, manyBytes);
    expectLoaded(many, manyBytes.size(), 120, 16);
    HWND pane16 = currentPane();
    check(pane16 != pane && !IsWindowVisible(pane), L"the second load shows a new pane and hides the old one");
    expectPaneButtons(pane16, 16, 0);
    expectNumber(checkedTrack(pane16), 0, L"checked track after the second load");
    expectSliders(0, 0, L"after the second load");
    checkScrolling(pane16);

    // A real file from the shared samples, when they are there.
    std::wstring sample = sampleDir + L"\\tonejs__bach_846.mid";
    if (sampleDir.empty() || !fileExists(sample)) {
        std::printf("skip: no sample folder (%s): the real-file load is not checked\n", utf8(sampleDir).c_str());
    } else {
        std::vector<uint8_t> bytes = readFile(sample);
        expectLoaded(sample, bytes.size(), 480, 11);
        expectPaneButtons(currentPane(), 11, 0);
        before = logLines().size();
        selectTrack(1);
        moveSlider(kIdTimeShift, 30, true);
        moveSlider(kIdPitchShift, 20, true);
        send(mainWindow, WM_COMMAND, kIdTransform, 0);
        expectNewLogLines(before, {L"Track 2 Time shift transformed", L"Track 2 Pitch shift transformed"},
                          L"transforming track 2 of the sample");
        before = logLines().size();
        saveThroughDialog(inWork(L"sample-out.mid"));
        waitFor([&] { return logLines().size() >= before + 2; });
        expectNewLogLines(before,
                          {L"File saved", format(L"Saved %zu bytes", readFile(inWork(L"sample-out.mid")).size())},
                          L"saving the transformed sample");
    }

    // The log keeps its end in view: the last line's first character lies
    // inside the control's client area.
    HWND log = item(kIdLog);
    std::vector<std::wstring> lines = logLines();
    LRESULT lastLineStart = send(log, EM_LINEINDEX, WPARAM(lines.size() - 1), 0);
    LRESULT where = send(log, EM_POSFROMCHAR, WPARAM(lastLineStart), 0);
    RECT client{};
    GetClientRect(log, &client);
    int y = short(HIWORD(where));
    check(lines.size() > 20 && send(log, EM_GETFIRSTVISIBLELINE, 0, 0) > 0 && y >= 0 && y < client.bottom,
          format(L"the log's last line of %zu is in view (at y %d of %ld)", lines.size(), y, client.bottom));

    post(mainWindow, WM_COMMAND, kIdExit, 0);
    expectExit(L"Exit after the workflow");
}

// The text of a message box that a file dialog put up, on one line.
std::wstring messageBoxText(HWND box)
{
    std::wstring text;
    for (HWND child = FindWindowExW(box, nullptr, L"Static", nullptr); child;
         child = FindWindowExW(box, child, L"Static", nullptr)) {
        std::wstring t = windowText(child);
        for (wchar_t& c : t) {
            if (c == L'\r' || c == L'\n') c = L' ';
        }
        if (!t.empty()) text += (text.empty() ? L"" : L" / ") + t;
    }
    return text;
}

void scenarioFailures()
{
    std::wstring input = inWork(L"song.mid");
    std::vector<uint8_t> song = workflowSong();
    writeFile(input, song);

    launch();
    size_t before = logLines().size();

    // Cancelling the open dialog: nothing.
    FileDialog open = openCommandDialog(kIdLoad, L"Load...");
    cancelDialog(open.window, L"the open dialog after Cancel");
    expectLogQuiet(before, L"cancelled Load");
    check(paneButtons(currentPane()).empty(), L"cancelled Load leaves the empty pane");

    expectLoaded(input, song.size(), 96, 4);
    HWND pane = currentPane();
    selectTrack(1);
    moveSlider(kIdTimeShift, 7, true);
    expectSliders(7, 0, L"track 2 set to 7 before the failures");

    // Cancelling the save dialog: nothing.
    before = logLines().size();
    FileDialog save = openCommandDialog(kIdSave, L"Save...");
    cancelDialog(save.window, L"the save dialog after Cancel");
    expectLogQuiet(before, L"cancelled Save");

    // A missing file: the open dialog asks whether to create it. No keeps
    // the dialog open; Yes hands the name to the program, which can't open it.
    std::wstring missing = inWork(L"missing.mid");
    before = logLines().size();
    open = openCommandDialog(kIdLoad, L"Load... for a missing file");
    typeAndConfirm(open, missing);
    HWND prompt = waitNewDialog({mainWindow, open.window}, L"the create prompt for a missing file");
    wchar_t caption[64] = L"";
    GetWindowTextW(prompt, caption, 64);
    pass(L"create prompt \"" + std::wstring(caption) + L"\": " + quoted(messageBoxText(prompt)));
    check(GetDlgItem(prompt, IDYES) && GetDlgItem(prompt, IDNO), L"the create prompt has Yes (6) and No (7)");
    post(prompt, WM_COMMAND, IDNO, 0);
    waitGone(prompt, L"the create prompt after No");
    Sleep(300);
    check(IsWindowVisible(open.window), L"after No the open dialog stays open");
    expectLogQuiet(before, L"No to the create prompt");
    post(open.window, WM_COMMAND, IDOK, 0);
    prompt = waitNewDialog({mainWindow, open.window}, L"the create prompt, second time");
    post(prompt, WM_COMMAND, IDYES, 0);
    waitGone(open.window, L"the open dialog after Yes");
    expectNewLogLines(before, {missing, L"File open error!"}, L"loading a missing file");
    check(!fileExists(missing), L"the missing file was not created");
    check(currentPane() == pane && paneButtons(pane).size() == 4, L"the song and its pane stay after the failure");
    expectNumber(checkedTrack(pane), 1, L"checked track after the failure");
    expectSliders(7, 0, L"track 2's amount after the failure");

    // A file that another program holds open without sharing.
    std::wstring locked = inWork(L"locked.mid");
    writeFile(locked, manyTrackSong(2));
    HANDLE holder = CreateFileW(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (holder == INVALID_HANDLE_VALUE) fail(L"cannot hold " + locked + L" open");
    before = logLines().size();
    loadThroughDialog(locked);
    expectNewLogLines(before, {locked, L"File open error!"}, L"loading a file held open elsewhere");
    check(currentPane() == pane, L"the pane stays after the failure");
    expectSliders(7, 0, L"track 2's amount after the failure");
    CloseHandle(holder);
    expectLoaded(locked, manyTrackSong(2).size(), 120, 2);  // once released it loads
    expectPaneButtons(currentPane(), 2, 0);

    // Saving over an existing file that another program holds open: nothing
    // may claim success, and the file keeps its bytes.
    std::wstring kept = inWork(L"kept.mid");
    std::vector<uint8_t> keptBytes = manyTrackSong(3);
    writeFile(kept, keptBytes);
    std::vector<std::wstring> entriesBefore = folderEntries(workDir);
    holder = CreateFileW(kept.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (holder == INVALID_HANDLE_VALUE) fail(L"cannot hold " + kept + L" open");
    before = logLines().size();
    save = openCommandDialog(kIdSave, L"Save... onto a held file");
    typeAndConfirm(save, kept);
    waitFor([&] { return !IsWindowVisible(save.window) || newDialog({mainWindow, save.window}); }, kWaitMs);
    if (HWND box = newDialog({mainWindow, save.window})) {
        pass(L"the save dialog objected: " + quoted(messageBoxText(box)));
        post(box, WM_COMMAND, IDOK, 0);
        waitGone(box, L"the save dialog's message");
        cancelDialog(save.window, L"the save dialog");
        expectLogQuiet(before, L"save onto a held file refused by the dialog");
    } else {
        waitFor([&] { return logLines().size() >= before + 2; });
        std::vector<std::wstring> lines = logLines();
        std::vector<std::wstring> added(lines.begin() + long(before), lines.end());
        check(added.size() == 2 && added[0] != L"File saved" &&
                  (added[0] == L"File create error!" || added[0] == L"File save error!") &&
                  added[1].rfind(L"Saved ", 0) == 0,
              L"save onto a held file logs an error and a byte count, not \"File saved\": " + joined(added));
    }
    CloseHandle(holder);
    check(readFile(kept) == keptBytes, L"the held file keeps its bytes");
    check(folderEntries(workDir).size() == entriesBefore.size(), L"no temporary file is left beside it");

    // Saving into a folder that does not exist.
    std::wstring nowhere = inWork(L"no-such-folder");
    before = logLines().size();
    save = openCommandDialog(kIdSave, L"Save... into a missing folder");
    typeAndConfirm(save, nowhere + L"\\out.mid");
    waitFor([&] { return !IsWindowVisible(save.window) || newDialog({mainWindow, save.window}); }, kWaitMs);
    if (HWND box = newDialog({mainWindow, save.window})) {
        pass(L"the save dialog objected to the missing folder: " + quoted(messageBoxText(box)));
        post(box, WM_COMMAND, IDOK, 0);
        waitGone(box, L"the save dialog's message");
        cancelDialog(save.window, L"the save dialog");
        expectLogQuiet(before, L"save into a missing folder");
    } else {
        expectNewLogLines(before, {L"File create error!", L"Saved 0 bytes"}, L"save into a missing folder");
    }
    check(!fileExists(nowhere), L"the missing folder was not made");
    std::vector<std::wstring> lines = logLines();
    for (const std::wstring& line : lines) {
        if (line == L"File saved") fail(L"a failed save was reported as \"File saved\"");
    }
    pass(L"no failure was reported as \"File saved\"");

    post(mainWindow, WM_COMMAND, kIdExit, 0);
    expectExit(L"Exit after the failures");
}

HWND openAbout()
{
    post(mainWindow, WM_COMMAND, kIdAbout, 0);
    HWND about = waitNewDialog({mainWindow}, L"Help, About...");
    wchar_t caption[64] = L"";
    GetWindowTextW(about, caption, 64);
    expectText(caption, L"About varnook", L"the About box's caption");
    HWND version = GetDlgItem(about, kIdVersionText);
    waitFor([&] { return windowText(version) != L"Varnook, version "; }, 3000);
    expectText(windowText(version), L"Varnook, version  1.1.18.0", L"the About box's version line");
    expectText(windowText(GetDlgItem(about, IDOK)), L"\u041E\u041A", L"the About box's button (Cyrillic)");
    HWND focus = nullptr;
    waitFor([&] { return (focus = focusWindow()) == GetDlgItem(about, IDOK); }, 3000);
    check(focus == GetDlgItem(about, IDOK), L"keyboard focus on the About box's button");
    check(!IsWindowEnabled(mainWindow), L"the main window is disabled while the About box is open");
    return about;
}

void scenarioAbout()
{
    launch();
    std::wstring logBefore = logText();

    HWND about = openAbout();
    send(GetDlgItem(about, IDOK), BM_CLICK, 0, 0);
    waitGone(about, L"the About box after its button");
    pass(L"the About box's button closes it");

    about = openAbout();
    post(GetDlgItem(about, IDOK), WM_KEYDOWN, VK_RETURN, 0x001C0001);
    post(GetDlgItem(about, IDOK), WM_KEYUP, VK_RETURN, 0xC01C0001);
    waitGone(about, L"the About box after Enter");
    pass(L"Enter closes the About box");

    about = openAbout();
    post(GetDlgItem(about, IDOK), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    post(GetDlgItem(about, IDOK), WM_KEYUP, VK_ESCAPE, 0xC0010001);
    waitGone(about, L"the About box after Escape");
    pass(L"Escape closes the About box");

    about = openAbout();
    post(about, WM_SYSCOMMAND, SC_CLOSE, 0);
    waitGone(about, L"the About box after its close box");
    pass(L"the close box closes the About box");

    check(IsWindow(mainWindow) && IsWindowEnabled(mainWindow), L"the main window goes on after the About box");
    expectText(logText(), logBefore, L"the log after four About boxes");
    post(mainWindow, WM_COMMAND, kIdExit, 0);
    expectExit(L"Exit after the About box");
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    setvbuf(stdout, nullptr, _IONBF, 0);
    if (argc < 4) {
        std::printf("usage: varnook_window_driver VARNOOK_EXE SCENARIO WORK_DIR [SAMPLE_DIR]\n");
        return 2;
    }
    exePath = toWindowsPath(argv[1]);
    std::wstring scenario = argv[2];
    workDir = toWindowsPath(argv[3]);
    if (argc > 4) sampleDir = toWindowsPath(argv[4]);
    if (!fileExists(exePath)) fail(L"no program at " + exePath);
    if (!fileExists(workDir)) fail(L"no work folder at " + workDir);

    std::printf("scenario %s: %s\n", utf8(scenario).c_str(), utf8(exePath).c_str());
    if (scenario == L"startup-exit") {
        scenarioStartupExit();
    } else if (scenario == L"workflow") {
        scenarioWorkflow();
    } else if (scenario == L"failures") {
        scenarioFailures();
    } else if (scenario == L"about") {
        scenarioAbout();
    } else {
        std::printf("unknown scenario %s\n", utf8(scenario).c_str());
        return 2;
    }
    std::printf("scenario %s passed: %d checks\n", utf8(scenario).c_str(), checks);
    return 0;
}
