// Pixel arithmetic of the track pane, free of any window: where each track
// button goes, how tall the content is, where the pane sits inside the
// "Tracks" group box, and which position a scroll request leads to. The
// window code reads the bars and rectangles and hands the numbers in here.
#pragma once

#include <cstdint>

struct PixelRect {
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
};

// The pane's figures are pixels at 96 DPI (100 % scale). On another display
// each is scaled to the window's DPI on its own, to the nearest pixel (a half
// up), so that the buttons keep one height and abut without gaps at any
// scale; at 96 DPI nothing changes. A dpi below 1 (a failed query) counts as
// 96.
constexpr int32_t kBaseDpi = 96;

// Track button `index` (0-based) in the pane's client coordinates, before any
// scrolling: 70 x 20 pixels at 10, 5 + 20 * index, at 96 DPI.
PixelRect trackButtonRect(int32_t index, int32_t dpi);

// Height of the content holding `trackCount` buttons: 5 pixels above the
// first, 20 per button and 20 below the last, at 96 DPI.
int32_t paneContentHeight(int32_t trackCount, int32_t dpi);

// The pane's rectangle for a group box given by its corners in the main
// window's client coordinates: 1 pixel inside the sides, 20 below the top
// (clear of the caption) and 2 above the bottom, at 96 DPI.
PixelRect paneRectInGroupBox(int32_t left, int32_t top, int32_t right, int32_t bottom, int32_t dpi);

// One scroll bar as the platform reports it (SCROLLINFO's fields).
struct ScrollBarState {
  int32_t nMin = 0;
  int32_t nMax = 0;
  int32_t nPage = 0;
  int32_t nPos = 0;
  int32_t nTrackPos = 0;
};

// Scroll request codes (SB_LINEUP .. SB_ENDSCROLL), the same for both bars.
enum ScrollRequest : int32_t {
  kScrollLineUp = 0,
  kScrollLineDown = 1,
  kScrollPageUp = 2,
  kScrollPageDown = 3,
  kScrollThumbPosition = 4,
  kScrollThumbTrack = 5,
  kScrollTop = 6,
  kScrollBottom = 7,
  kScrollEnd = 8,
};

// Returned by scrollTargetFor for a request that is to change nothing.
constexpr int32_t kScrollIgnored = -1;

// The new position for `request` on `bar`: a line is one pixel, a page is
// the page, both kept between nMin and the last position (nMax - nPage + 1,
// or nMin when the page is larger than the range); the thumb is followed
// unclamped while dragged; SB_THUMBPOSITION, SB_ENDSCROLL and unknown codes
// give kScrollIgnored.
int32_t scrollTargetFor(const ScrollBarState& bar, int32_t request);

// Size types of WM_SIZE that the pane reacts to.
constexpr int32_t kSizeRestored = 0;
constexpr int32_t kSizeMaximized = 2;

// After a new page has been set on a bar (and the platform has kept its
// position within the new limits), whether the content must be moved to the
// bar's position: always when maximised, otherwise only when the bar was
// pushed back to its last position (and that is not its minimum). `page` is
// the page that was asked for, not the one the bar may have adjusted.
bool paneNeedsRealign(int32_t sizeType, int32_t nMin, int32_t nMax, int32_t nPos, int32_t page);
