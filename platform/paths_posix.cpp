// POSIX paths are UTF-8 bytes with '/' between their parts, compared byte
// for byte; the shell has expanded any wildcards before the tool runs.
#include <string>
#include <vector>

#include "platform/file_io.h"
#include "platform/file_system.h"
#include "platform/utf8.h"

std::wstring toWide(const NativeString& text) { return fromUtf8(text); }

NativeString fileNameOf(const NativeString& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

NativeString folderOf(const NativeString& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

NativeString joinPath(const NativeString& folder, const NativeString& name) {
  if (!folder.empty() && folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

bool sameFileName(const NativeString& a, const NativeString& b) { return a == b; }

bool expandWildcards(const NativeString& argument, std::vector<NativeString>& files,
                     std::wstring&) {
  files.assign(1, argument);
  return true;
}
