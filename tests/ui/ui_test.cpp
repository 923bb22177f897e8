// The window's pure parts; requests and size types as the platform numbers them (SB_LINEUP 0...).
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <tuple>

#include "ui/amount_label.h"
#include "ui/pane_layout.h"

TEST(AmountLabel, OffForZeroTheNumberOtherwiseNothingWhenTooLong) {
  const std::pair<int32_t, std::wstring> cases[] = {
      {0, L"Off"}, {-7, L"-7"}, {999999999, L"999999999"}, {1000000000, L""}, {INT_MIN, L""}};
  for (const auto& [value, want] : cases) EXPECT_EQ(amountLabelText(value).text, want) << value;
}

// The pane 1 pixel inside its box's sides, 20 below its top, 2 above its bottom; 16 buttons: 345.
TEST(PaneLayout, ButtonsAndPaneSitWhereTheyBelong) {
  const PixelRect last = trackButtonRect(15), pane = paneRectInGroupBox(10, 20, 110, 220);
  EXPECT_EQ(std::tuple(last.x, last.y, last.width, last.height), std::tuple(10, 305, 70, 20));
  EXPECT_EQ(std::tuple(pane.x, pane.y, pane.width, pane.height, paneContentHeight(16)),
            std::tuple(11, 40, 98, 178, 345));
}

// 16 tracks make 345 pixels (positions 1 to 146 in a page of 200), four 105, less than a page.
TEST(PaneScrollTarget, EachRequestLeadsToItsPositionWithinTheBar) {
  const int32_t none = kScrollIgnored;
  // clang-format off
  const std::tuple<ScrollBarState, int32_t, int32_t> cases[] = {  // bar, request, position
      {{1, 345, 200, 1}, 0, 1}, {{1, 345, 200, 70}, 0, 69}, {{1, 345, 200, 145}, 1, 146},
      {{1, 345, 200, 146}, 1, 146}, {{1, 345, 100, 150}, 2, 50}, {{1, 345, 200, 146}, 2, 1},
      {{1, 345, 100, 1}, 3, 101}, {{1, 345, 200, 1}, 3, 146}, {{1, 345, 200, 77, 77}, 4, none},
      {{1, 345, 200, 10, 77}, 5, 77}, {{1, 345, 200, 70}, 6, 1}, {{1, 345, 200, 70}, 7, 146},
      {{1, 345, 200, 77}, 8, none}, {{1, 345, 200, 77}, 9, none}, {{1, 25, 25, 1}, 7, 1},
      {{1, 105, 274, 1}, 1, 1}, {{1, 105, 274, 1}, 3, 1}, {{1, 105, 274, 1}, 7, 1},
      {{0, 104, 274, 0}, 7, 0}};
  // clang-format on
  for (const auto& [bar, request, want] : cases)
    EXPECT_EQ(scrollTargetFor(bar, request), want) << request << " at " << bar.nPos;
}

// After a new page the content follows the bar if maximised or pushed back to its last position.
TEST(PaneResize, ContentFollowsTheBar) {
  // clang-format off
  const std::tuple<int32_t, int32_t, int32_t, int32_t, int32_t, bool> cases[] = {  // type, bar
      {2, 1, 345, 1, 200, true}, {0, 1, 345, 96, 250, true}, {0, 1, 345, 40, 250, false},
      {0, 1, 25, 1, 25, false}};
  // clang-format on
  for (const auto& [type, min, max, pos, page, want] : cases)
    EXPECT_EQ(paneNeedsRealign(type, min, max, pos, page), want) << pos;
}

#ifdef _WIN32
#include <shlobj.h>

#include "ui/dropped_files.h"

// A drop as Explorer builds it: DROPFILES, then the wide paths, each ending in NUL, and a NUL.
TEST(DroppedFiles, GivesTheCountAndTheFirstPathWhole) {
  using namespace std::string_literals;
  // clang-format off
  const std::pair<UINT, std::wstring> cases[] = {{1, L"C:\\a.mid\0\0"s},
      {3, L"Z:\\song \u00e9 \u0436.mid\0C:\\b\0C:\\c\0\0"s},
      {2, L"C:\\" + std::wstring(300, L'd') + L"\0C:\\b\0\0"s}};
  // clang-format on
  for (const auto& [count, list] : cases) {
    auto* drop = static_cast<DROPFILES*>(GlobalAlloc(GPTR, sizeof(DROPFILES) + 2 * list.size()));
    *drop = {sizeof(DROPFILES), {}, FALSE, TRUE};
    std::copy(list.begin(), list.end(), reinterpret_cast<wchar_t*>(drop + 1));
    const DroppedFiles files = readDroppedFiles(HDROP(drop));
    EXPECT_EQ(std::pair(files.count, files.first), std::pair(count, std::wstring(list.c_str())));
    GlobalFree(drop);
  }
}
#endif
