#include "ui/file_commands.h"

#include <windows.h>
// after windows.h, which it needs
#include <commdlg.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/song_file.h"
#include "song/log.h"
#include "song/song.h"
#include "ui/history.h"
#include "ui/main_window.h"
#include "ui/track_controls.h"
#include "ui/track_pane.h"

namespace {

// Room for the longest path Windows knows (32,767 units and the NUL), so that
// a pick of 260 units or more, which this long-path-aware program can open,
// is not refused by the dialog for want of room.
constexpr DWORD kDialogPathUnits = 32768;
constexpr DWORD kFileTitleUnits = 260;

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
  record.hwndOwner = app.mainWindowHandle;
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

}  // namespace

void loadSongFile() {
  std::wstring path(kDialogPathUnits, L'\0');
  OPENFILENAMEW record = fileDialogRecord(path.data());
  if (!GetOpenFileNameW(&record)) return logDialogFailure();
  loadSongFromPath(path.c_str());
}

void loadSongFromPath(const wchar_t* path) {
  // No sharing: a file another program holds open, perhaps still writing
  // it, is refused.
  std::vector<uint8_t> bytes;
  if (loadSongAt(path, ReadSharing::kExclusive, app.currentSong, &bytes).outcome !=
      ReadOutcome::kRead)
    return;
  startHistory(std::move(bytes));

  // The new pane covers the old one; the old one has no use left.
  HWND oldPane = app.trackPaneHandle;
  EndDialog(oldPane, 0);
  openTrackPane();
  DestroyWindow(oldPane);
  refreshTrackControls();
}

void saveSongFile() {
  if (app.currentSong == nullptr) return;
  std::wstring path(kDialogPathUnits, L'\0');
  OPENFILENAMEW record = fileDialogRecord(path.data());
  if (!GetSaveFileNameW(&record)) return logDialogFailure();

  // The same careful save as the command-line tool's, with the same lines.
  saveSongAt(*app.currentSong, path.c_str());
}
