#include "ui/file_commands.h"

#include <windows.h>
// after windows.h, which it needs
#include <commdlg.h>

#include <cstdint>
#include <cwchar>
#include <string>

#include "cli/file_io.h"
#include "song/log.h"
#include "song/reader.h"
#include "song/song.h"
#include "song/writer.h"
#include "ui/main_window.h"
#include "ui/track_pane.h"

namespace {

// Room for the longest path Windows knows (32,767 units and the NUL), so that
// a pick of 260 units or more, which this long-path-aware program can open,
// is not refused by the dialog for want of room.
constexpr DWORD kDialogPathUnits = 32768;
constexpr DWORD kFileTitleUnits = 260;
// The reader takes an int32 size; a file larger than that can't be handed
// over whole, and the read buffer keeps 10 spare bytes behind the data.
constexpr int64_t kLargestReadable = INT32_MAX - 10;

const wchar_t kMidiFilter[] = L"Midi (*.mid)\0*.mid\0";

// Both dialogs are set up alike: the one filter, ".mid" added to a bare name,
// and OFN_CREATEPROMPT, so even the open dialog offers to create a name that
// does not exist and nothing asks before an existing file is replaced.
// OFN_NOCHANGEDIR keeps the dialog from leaving the process in the folder it
// browsed to: a current folder is held open, so that folder could be neither
// renamed nor its drive ejected while the window runs.
OPENFILENAMEW fileDialogRecord(wchar_t* path) {
  OPENFILENAMEW record = {};
  record.lStructSize = sizeof record;
  record.hwndOwner = mainWindowHandle;
  record.lpstrFilter = kMidiFilter;
  record.lpstrFile = path;
  record.nMaxFile = kDialogPathUnits;
  record.nMaxFileTitle = kFileTitleUnits;
  record.Flags = OFN_CREATEPROMPT | OFN_NOCHANGEDIR;
  record.lpstrDefExt = L"mid";
  return record;
}

// A dialog that returns 0 was cancelled, or failed: only a failure leaves an
// error code, and it is logged, since the user chose a file and nothing came
// of it.
void logDialogFailure() {
  const DWORD error = CommDlgExtendedError();
  if (error != 0) appendLogNumber(L"File dialog error %d", static_cast<int>(error));
}

bool validHandle(HANDLE handle) { return handle != INVALID_HANDLE_VALUE && handle != nullptr; }

// Reads the whole open file into a new buffer with 10 zeroed bytes behind the
// data. Returns null (nothing allocated) when the size can't be taken, the
// file is too large for the reader, or the read fails.
uint8_t* readWholeFile(HANDLE file, int32_t& bytesRead) {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file, &size) || size.QuadPart < 0 || size.QuadPart > kLargestReadable)
    return nullptr;
  const DWORD wanted = static_cast<DWORD>(size.QuadPart);
  uint8_t* buffer = new uint8_t[static_cast<size_t>(wanted) + 10]();
  DWORD count = 0;
  if (!ReadFile(file, buffer, wanted, &count, nullptr)) {
    delete[] buffer;
    return nullptr;
  }
  // A file that shrank meanwhile gives fewer bytes; the reader sees only those.
  bytesRead = static_cast<int32_t>(count);
  return buffer;
}

}  // namespace

void loadSongFile() {
  std::wstring path(kDialogPathUnits, L'\0');
  OPENFILENAMEW record = fileDialogRecord(path.data());
  if (!GetOpenFileNameW(&record)) return logDialogFailure();
  loadSongFromPath(path.c_str());
}

void loadSongFromPath(const wchar_t* path) {
  // No sharing: a file another program holds open is refused here.
  HANDLE file =
      CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  appendLog(path);
  if (!validHandle(file)) {
    appendLog(L"File open error!");
    return;
  }
  int32_t size = 0;
  uint8_t* buffer = readWholeFile(file, size);
  if (buffer == nullptr) {
    appendLog(L"File read error!");
    CloseHandle(file);
    return;
  }
  appendLogNumber(L"Read %d bytes", size);

  // From here on the old song and its pane are gone: a new Song starts with
  // track 1 selected and every amount 0.
  replaceCurrentSong();
  parseSong(buffer, size);
  delete[] buffer;
  CloseHandle(file);

  // The new pane covers the old one; the old one has no use left.
  HWND oldPane = trackPaneHandle;
  EndDialog(oldPane, 0);
  openTrackPane();
  DestroyWindow(oldPane);
  refreshTrackControls();
}

void saveSongFile() {
  if (currentSong == nullptr) return;
  std::wstring path(kDialogPathUnits, L'\0');
  OPENFILENAMEW record = fileDialogRecord(path.data());
  if (!GetSaveFileNameW(&record)) return logDialogFailure();

  // The image is built before any file is touched; the save itself is the
  // command-line tool's, so that both replace a file the same careful way.
  uint8_t* image = nullptr;
  const int32_t length = serializeSong(image);
  SaveResult result;
  result.outcome = SaveOutcome::kWriteError;
  if (length >= 0 && image != nullptr)
    result = saveFileReplacing(path.c_str(), image, static_cast<size_t>(length));
  delete[] image;

  switch (result.outcome) {
    case SaveOutcome::kSaved:
      appendLog(L"File saved");
      break;
    case SaveOutcome::kCreateError:
      appendLog(L"File create error!");
      break;
    case SaveOutcome::kWriteError:
      appendLog(L"File save error!");
      break;
  }
  appendLogNumber(L"Saved %d bytes", static_cast<int>(result.bytesWritten));
}
