// The About box (template IDD_ABOUT): the icon, "Varnook, version " followed by
// the product version read from the program's own version resource, and a
// fixed line of text. Ends with result 1 by OK or Enter, 2 by Escape or the
// close box; changes nothing else.
#pragma once

#include <windows.h>

INT_PTR CALLBACK aboutDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
