// Hooked into the window's thread by the driver, to learn what only the window's own process can
// tell under Wine, which passes neither the answer to WM_GETFONT or WM_GETICON nor an icon's
// bitmaps from one process to another. A window that gets "VarnookProbe" is sent message wParam
// (with lParam as its wParam) right there; one that gets "VarnookIconWidth" measures icon lParam.
// The answer is kept as the window's property "answer", which the driver reads from outside.
#include <windows.h>

namespace {
LRESULT iconWidth(HICON icon) {
  ICONINFO info{};
  BITMAP bitmap{};
  if (!GetIconInfo(icon, &info)) return 0;
  GetObjectW(info.hbmMask, sizeof bitmap, &bitmap);
  DeleteObject(info.hbmMask);
  DeleteObject(info.hbmColor);
  return bitmap.bmWidth;
}
}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK probe(int code, WPARAM wParam, LPARAM lParam) {
  static const UINT sendMessage = RegisterWindowMessageW(L"VarnookProbe");
  static const UINT measureIcon = RegisterWindowMessageW(L"VarnookIconWidth");
  const auto* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
  LRESULT answer = 0;
  if (code != HC_ACTION || (call->message != sendMessage && call->message != measureIcon))
    return CallNextHookEx(nullptr, code, wParam, lParam);
  if (call->message == sendMessage)
    answer = SendMessageW(call->hwnd, UINT(call->wParam), WPARAM(call->lParam), 0);
  else
    answer = iconWidth(HICON(call->lParam));
  SetPropW(call->hwnd, L"answer", reinterpret_cast<HANDLE>(answer));
  return CallNextHookEx(nullptr, code, wParam, lParam);
}
