#include "ui/dropped_files.h"

DroppedFiles readDroppedFiles(HDROP drop) {
  DroppedFiles files;
  // Index 0xFFFFFFFF asks for the number of files instead of a name.
  files.count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  if (files.count == 0) return files;
  // Asked with no buffer, the call gives the name's length without its
  // terminator: a path past MAX_PATH is taken whole, never cut short.
  const UINT length = DragQueryFileW(drop, 0, nullptr, 0);
  files.first.resize(length + 1);
  files.first.resize(DragQueryFileW(drop, 0, files.first.data(), length + 1));
  return files;
}
