#include "ui/about_box.h"

#include <cwchar>

#include "res/resource.h"
#include "ui/main_window.h"

namespace {

constexpr int kAboutTextUnits = 100;

// Appends the product version to the label's template text. When the version
// resource can't be read the label keeps its template text alone.
void showVersion(HWND window) {
  HRSRC found = FindResourceW(app.instanceHandle, MAKEINTRESOURCEW(IDR_VERSION), MAKEINTRESOURCEW(16));
  if (found == nullptr) return;
  HGLOBAL loaded = LoadResource(app.instanceHandle, found);
  void* block = loaded != nullptr ? LockResource(loaded) : nullptr;
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (block != nullptr && VerQueryValueW(block, L"\\", reinterpret_cast<void**>(&fixed), &length) &&
      fixed != nullptr && length >= sizeof(VS_FIXEDFILEINFO)) {
    HWND label = GetDlgItem(window, IDC_VERSION_TEXT);
    wchar_t templateText[kAboutTextUnits];
    GetWindowTextW(label, templateText, kAboutTextUnits);
    wchar_t text[kAboutTextUnits];
    // Each part is an unsigned 16-bit word widened to int: 65535 stays 65535.
    // The template text ends in a blank and the format adds another.
    if (std::swprintf(text, kAboutTextUnits, L"%ls %d.%d.%d.%d", templateText,
                      static_cast<int>(HIWORD(fixed->dwProductVersionMS)),
                      static_cast<int>(LOWORD(fixed->dwProductVersionMS)),
                      static_cast<int>(HIWORD(fixed->dwProductVersionLS)),
                      static_cast<int>(LOWORD(fixed->dwProductVersionLS))) >= 0)
      SetWindowTextW(label, text);
  }
  if (loaded != nullptr) FreeResource(loaded);
}

}  // namespace

INT_PTR CALLBACK aboutDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      showVersion(window);
      return TRUE;  // focus goes to OK, the only tab stop
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        EndDialog(window, LOWORD(wParam));
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}
