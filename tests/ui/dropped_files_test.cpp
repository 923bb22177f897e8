#include "ui/dropped_files.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// A drop as Explorer builds it: a DROPFILES header, then the wide paths,
// each ending in NUL, and one more NUL after the last.
HDROP makeDrop(const std::vector<std::wstring>& paths) {
  std::wstring list;
  for (const std::wstring& path : paths) list += path + L'\0';
  list += L'\0';
  HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + list.size() * sizeof(wchar_t));
  auto* header = static_cast<DROPFILES*>(GlobalLock(memory));
  header->pFiles = sizeof(DROPFILES);
  header->fWide = TRUE;
  std::memcpy(header + 1, list.data(), list.size() * sizeof(wchar_t));
  GlobalUnlock(memory);
  return static_cast<HDROP>(memory);
}

}  // namespace

TEST(DroppedFiles, GivesTheCountAndTheFirstPathWhole) {
  const std::wstring deep = L"C:\\" + std::wstring(300, L'd') + L"\\song.mid";
  struct Case {
    const char* name;
    std::vector<std::wstring> paths;
  };
  const Case cases[] = {
      {"one file", {L"C:\\music\\song.mid"}},
      {"blanks and letters beyond any ANSI code page", {L"Z:\\tmp\\song \u00e9 \u0436.mid"}},
      {"three files", {L"C:\\a.mid", L"C:\\b.mid", L"C:\\c.mid"}},
      {"a path past MAX_PATH", {deep, L"C:\\b.mid"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    HDROP drop = makeDrop(c.paths);
    const DroppedFiles files = readDroppedFiles(drop);
    EXPECT_EQ(files.count, c.paths.size());
    EXPECT_EQ(files.first, c.paths[0]);
    GlobalFree(drop);
  }
}
