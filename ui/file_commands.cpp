#include "ui/file_commands.h"

#include <windows.h>
// after windows.h, which it needs
#include <commdlg.h>

#include "platform/song_file.h"
#include "song/song.h"
#include "ui/main_window.h"
#include "ui/track_pane.h"

namespace {

constexpr DWORD kPathUnits = 260;

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

}  // namespace

void loadSongFile() {
  wchar_t path[kPathUnits] = {};
  OPENFILENAMEW record = fileDialogRecord(path);
  if (!GetOpenFileNameW(&record)) return;
  loadSongFromPath(path);
}

void loadSongFromPath(const wchar_t* path) {
  // No sharing: a file another program holds open, perhaps still writing
  // it, is refused.
  if (loadSongAt(path, ReadSharing::kExclusive).outcome != ReadOutcome::kRead) return;

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

  // The same careful save as the command-line tool's, with the same lines.
  saveSongAt(path);
}
