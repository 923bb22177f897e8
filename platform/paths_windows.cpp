// Windows paths are UTF-16, with '\' or '/' between their parts and a drive
// or stream after ':'; names compare without regard to case, and shells
// leave wildcards for the program to expand.
#include <windows.h>

#include <algorithm>
#include <cwctype>
#include <string>
#include <vector>

#include "platform/file_io.h"
#include "platform/file_system.h"

namespace {

bool startsWith(const std::wstring& text, const wchar_t* prefix) {
  return text.compare(0, std::char_traits<wchar_t>::length(prefix), prefix) == 0;
}

// True when a "\\.\" path names a file on a disk rather than a device:
// "\\.\C:\folder\song.mid", "\\.\UNC\server\share\song.mid" and
// "\\.\Volume{...}\song.mid" are files; "\\.\NUL", "\\.\CON", "\\.\pipe\name",
// "\\.\COM1" and a bare volume ("\\.\C:") are devices.
bool namesDiskFile(const std::wstring& path) {
  const std::wstring rest = path.substr(4);
  if (rest.size() > 3 && std::iswalpha(rest[0]) && rest[1] == L':' && rest[2] == L'\\') return true;
  if (rest.size() > 4 && _wcsnicmp(rest.c_str(), L"UNC\\", 4) == 0) return true;
  const size_t separator = rest.find(L'\\');
  return _wcsnicmp(rest.c_str(), L"Volume{", 7) == 0 && separator != std::wstring::npos &&
         separator + 1 < rest.size();
}

}  // namespace

// Absolute, with the "\\?\" prefix ("\\?\UNC\" for a share), which switches
// off the 260-unit limit even where the system setting is off. A "\\.\" path
// that names a disk file gets the same prefix once normalised; device names
// ("\\.\" forms, which GetFullPathNameW also gives for NUL or CON) stay as
// they are. GetFullPathNameW has no length limit of its own.
std::wstring longForm(const std::wstring& path) {
  if (path.empty() || startsWith(path, L"\\\\?\\")) return path;
  const DWORD units = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (units == 0) return path;
  std::wstring full(units, L'\0');
  const DWORD length = GetFullPathNameW(path.c_str(), units, full.data(), nullptr);
  if (length == 0 || length >= units) return path;
  full.resize(length);
  if (startsWith(full, L"\\\\.\\")) return namesDiskFile(full) ? L"\\\\?\\" + full.substr(4) : full;
  if (startsWith(full, L"\\\\?\\")) return full;
  if (startsWith(full, L"\\\\")) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

std::wstring toWide(const NativeString& text) { return text; }

NativeString fileNameOf(const NativeString& path) {
  const size_t separator = path.find_last_of(L"\\/:");
  return separator == std::wstring::npos ? path : path.substr(separator + 1);
}

// Only '\' and '/' end the folder here: in the full paths a save works on,
// a ':' after the last of them starts a stream of a file ("song.mid:stream"),
// and the temporary file beside it must not become one.
NativeString folderOf(const NativeString& path) {
  const size_t separator = path.find_last_of(L"\\/");
  return separator == std::wstring::npos ? L"" : path.substr(0, separator + 1);
}

NativeString joinPath(const NativeString& folder, const NativeString& name) {
  if (!folder.empty() &&
      (folder.back() == L'\\' || folder.back() == L'/' || folder.back() == L':')) {
    return folder + name;
  }
  return folder + L"\\" + name;
}

bool sameFileName(const NativeString& a, const NativeString& b) {
  // Windows drops trailing dots and spaces from a name, and compares names
  // as the file system does, by upper-casing each unit.
  const auto trimmed = [](const std::wstring& name) {
    const size_t last = name.find_last_not_of(L". ");
    return last == std::wstring::npos ? std::wstring() : name.substr(0, last + 1);
  };
  const std::wstring x = trimmed(a), y = trimmed(b);
  return CompareStringOrdinal(x.c_str(), static_cast<int>(x.size()), y.c_str(),
                              static_cast<int>(y.size()), TRUE) == CSTR_EQUAL;
}

bool expandWildcards(const NativeString& argument, std::vector<NativeString>& files,
                     std::wstring& error) {
  files.clear();
  // The "?" of a "\\?\" prefix is no wildcard; only the last part is matched.
  const size_t prefix = startsWith(argument, L"\\\\?\\") ? 4 : 0;
  const size_t separator = argument.find_last_of(L"\\/:");
  const size_t nameStart =
      separator == std::wstring::npos || separator < prefix ? prefix : separator + 1;
  if (argument.find_first_of(L"*?", nameStart) == std::wstring::npos) {
    files.push_back(argument);
    return true;
  }
  const std::wstring folder = argument.substr(0, nameStart);
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileExW(longForm(argument).c_str(), FindExInfoBasic, &found,
                                   FindExSearchNameMatch, nullptr, 0);
  if (validHandle(search)) {
    do {
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        files.push_back(folder + found.cFileName);
      }
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  if (files.empty()) {
    error = argument + L": no file matches";
    return false;
  }
  std::sort(files.begin(), files.end(), [](const std::wstring& x, const std::wstring& y) {
    return CompareStringOrdinal(x.c_str(), static_cast<int>(x.size()), y.c_str(),
                                static_cast<int>(y.size()), TRUE) == CSTR_LESS_THAN;
  });
  return true;
}
