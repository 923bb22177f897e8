// What a drop of files onto the window (WM_DROPFILES) holds: how many files,
// and the first one's full path, however long. Only reads the drop: the
// caller still owns it and ends it with DragFinish.
#pragma once

#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include <string>

struct DroppedFiles {
  UINT count = 0;
  std::wstring first;  // empty when nothing was dropped
};

DroppedFiles readDroppedFiles(HDROP drop);
