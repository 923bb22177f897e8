#include "ui/file_commands.h"

#include <windows.h>
// after windows.h, which it needs
#include <commdlg.h>

#include <cstdint>
#include <cwchar>

#include "cli/file_io.h"
#include "song/log.h"
#include "song/reader.h"
#include "song/song.h"
#include "song/writer.h"
#include "ui/main_window.h"
#include "ui/track_pane.h"

namespace {

constexpr DWORD kPathUnits = 260;
// The reader takes an int32 size; a file larger than that can't be handed
// over whole, and the read buffer keeps 10 spare bytes behind the data.
constexpr int64_t kLargestReadable = INT32_MAX - 10;

const wchar_t kMidiFilter[] = L"Midi (*.mid)\0*.mid\0";

// Both dialogs are set up alike: the one filter, ".mid" added to a bare name,
// and OFN_CREATEPROMPT alone, so even the open dialog offers to create a name
// that does not exist and nothing asks before an existing file is replaced.
OPENFILENAMEW fileDialogRecord(wchar_t* path) {
  OPENFILENAMEW record = {};
  record.lStructSize = sizeof record;
  record.hwndOwner = mainWindowHandle;
  record.lpstrFilter = kMidiFilter;
  record.lpstrFile = path;
  record.nMaxFile = kPathUnits;
  record.nMaxFileTitle = kPathUnits;
  record.Flags = OFN_CREATEPROMPT;
  record.lpstrDefExt = L"mid";
  return record;
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
  wchar_t path[kPathUnits] = {};
  OPENFILENAMEW record = fileDialogRecord(path);
  if (!GetOpenFileNameW(&record)) return;
  loadSongFromPath(path);
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

  // A file without a MIDI header keeps the current song; otherwise from here
  // on the old song and its pane are gone: a new Song starts with track 1
  // selected and every amount 0.
  const bool loaded = loadSongImage(buffer, size);
  delete[] buffer;
  CloseHandle(file);
  if (!loaded) return;

  // The new pane covers the old one; the old one has no use left.
  HWND oldPane = trackPaneHandle;
  EndDialog(oldPane, 0);
  openTrackPane();
  DestroyWindow(oldPane);
  refreshTrackControls();
}

void saveSongFile() {
  if (currentSong == nullptr) return;
  wchar_t path[kPathUnits] = {};
  OPENFILENAMEW record = fileDialogRecord(path);
  if (!GetSaveFileNameW(&record)) return;

  // The image is built before any file is touched; the save itself is the
  // command-line tool's, so that both replace a file the same careful way.
  uint8_t* image = nullptr;
  const int32_t length = serializeSong(image);
  SaveResult result;
  result.outcome = SaveOutcome::kWriteError;
  if (length >= 0 && image != nullptr)
    result = saveFileReplacing(path, image, static_cast<size_t>(length));
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
