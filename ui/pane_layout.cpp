#include "ui/pane_layout.h"

#include <algorithm>

namespace {
constexpr int32_t kButtonX = 10;
constexpr int32_t kButtonTop = 5;
constexpr int32_t kButtonWidth = 70;
constexpr int32_t kButtonHeight = 20;
constexpr int32_t kContentBottomMargin = 20;
constexpr int32_t kPaneSideInset = 1;
constexpr int32_t kPaneTopInset = 20;
constexpr int32_t kPaneBottomInset = 2;

int32_t scaleToDpi(int32_t pixels, int32_t dpi) {
  if (dpi < 1) dpi = kBaseDpi;
  // In 64 bits, so that no figure times any DPI can overflow; half a pixel
  // and more rounds up.
  return static_cast<int32_t>((int64_t{pixels} * dpi + kBaseDpi / 2) / kBaseDpi);
}
}  // namespace

PixelRect trackButtonRect(int32_t index, int32_t dpi) {
  const int32_t height = scaleToDpi(kButtonHeight, dpi);
  return {scaleToDpi(kButtonX, dpi), scaleToDpi(kButtonTop, dpi) + height * index,
          scaleToDpi(kButtonWidth, dpi), height};
}

int32_t paneContentHeight(int32_t trackCount, int32_t dpi) {
  return scaleToDpi(kButtonTop, dpi) + scaleToDpi(kButtonHeight, dpi) * trackCount +
         scaleToDpi(kContentBottomMargin, dpi);
}

PixelRect paneRectInGroupBox(int32_t left, int32_t top, int32_t right, int32_t bottom,
                             int32_t dpi) {
  const int32_t side = scaleToDpi(kPaneSideInset, dpi);
  const int32_t captionClearance = scaleToDpi(kPaneTopInset, dpi);
  const int32_t bottomInset = scaleToDpi(kPaneBottomInset, dpi);
  return {left + side, top + captionClearance, (right - left) - 2 * side,
          (bottom - top) - captionClearance - bottomInset};
}

int32_t scrollTargetFor(const ScrollBarState& bar, int32_t request) {
  // The last position a bar can take leaves one page of content in view. A
  // page that covers the whole range (few tracks, or a bar hidden for want of
  // anything to scroll) leaves no room: the last position is then the first,
  // never one before it, which would move the buttons down and away.
  const int32_t last = std::max(bar.nMin, bar.nMax - bar.nPage + 1);
  switch (request) {
    case kScrollLineUp:
      return std::max(bar.nMin, bar.nPos - 1);
    case kScrollLineDown:
      return std::min(last, bar.nPos + 1);
    case kScrollPageUp:
      return std::max(bar.nMin, bar.nPos - bar.nPage);
    case kScrollPageDown:
      return std::min(last, bar.nPos + bar.nPage);
    case kScrollThumbTrack:
      return bar.nTrackPos;
    case kScrollTop:
      return bar.nMin;
    case kScrollBottom:
      return last;
    default:
      // SB_THUMBPOSITION repeats the last SB_THUMBTRACK, which has already
      // moved the content; SB_ENDSCROLL only says the user let go.
      return kScrollIgnored;
  }
}

bool paneNeedsRealign(int32_t sizeType, int32_t nMin, int32_t nMax, int32_t nPos, int32_t page) {
  if (sizeType == kSizeMaximized) return true;
  return nPos != nMin && nPos == nMax - page + 1;
}
