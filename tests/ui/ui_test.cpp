// The window's pure parts; requests and size types as the platform numbers them (SB_LINEUP 0...).
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <tuple>
#include <vector>

#include "ui/amount_label.h"
#include "ui/pane_layout.h"
#include "ui/undo_history.h"

TEST(AmountLabel, OffForZeroTheNumberOtherwiseNothingWhenTooLong) {
  const std::pair<int32_t, std::wstring> cases[] = {
      {0, L"Off"}, {-7, L"-7"}, {999999999, L"999999999"}, {1000000000, L""}, {INT_MIN, L""}};
  for (const auto& [value, want] : cases) EXPECT_EQ(amountLabelText(value).text, want) << value;
}

// Within 10 bytes: images of 4 and 3 bytes, then one of 5 drops the oldest and one of 2 still fits;
// the newest come back first; what they leave counts, and one of 20 drops all the others but stays.
TEST(UndoHistory, KeepsTheNewestWithinTheBudget) {
  UndoHistory history{10, {}, 0};
  const auto remember = [&](size_t size) {
    return rememberState(history, {std::vector<uint8_t>(size), {}});
  };
  const auto newest = [&] { return takeNewestState(history).image.size(); };
  EXPECT_EQ((std::vector{remember(4), remember(3), remember(5), remember(2)}),
            std::vector({0, 0, 1, 0}));
  EXPECT_EQ((std::vector{newest(), newest()}), (std::vector<size_t>{2, 5}));
  EXPECT_EQ((std::vector{remember(7), remember(1), remember(20)}), std::vector({0, 1, 2}));
  EXPECT_EQ(history.states.size(), 1u);
}

// The pane 1 pixel inside its box's sides, 20 below its top, 2 above its bottom; the last of 16
// buttons at 305 to 325, the content 345 high; all at 96 DPI and scaled, each figure rounded on its
// own (125 %: 5 -> 6.25 -> 6, 10 -> 12.5 -> 13); a failed DPI query (0) counts as 96, the smallest
// real one (1) as itself.
TEST(PaneLayout, FiguresGrowWithTheDisplayScaleAndButtonsAbutAtEveryDpi) {
  const std::tuple<int32_t, PixelRect, int32_t, PixelRect> cases[] = {
      // dpi, button 16 (index 15), content of 16, pane in the box 10, 20, 110, 220
      {96, {10, 305, 70, 20}, 345, {11, 40, 98, 178}},
      {120, {13, 381, 88, 25}, 431, {11, 45, 98, 172}},
      {144, {15, 458, 105, 30}, 518, {12, 50, 96, 167}},
      {192, {20, 610, 140, 40}, 690, {12, 60, 96, 156}},
      {0, {10, 305, 70, 20}, 345, {11, 40, 98, 178}},
      {1, {0, 0, 1, 0}, 0, {10, 20, 100, 200}}};
  const auto fields = [](const PixelRect& r) { return std::tuple(r.x, r.y, r.width, r.height); };
  for (const auto& [dpi, button, content, pane] : cases) {
    EXPECT_EQ(fields(trackButtonRect(15, dpi)), fields(button)) << dpi;
    EXPECT_EQ(paneContentHeight(16, dpi), content) << dpi;
    EXPECT_EQ(fields(paneRectInGroupBox(10, 20, 110, 220, dpi)), fields(pane)) << dpi;
  }
  // At any DPI the buttons share one height and follow each other without gap or overlap, and the
  // content ends one button's height below the last: nothing to scroll past, nothing cut off.
  for (int32_t dpi = 72; dpi <= 480; ++dpi) {
    for (int32_t i = 0; i < 15; ++i) {
      const PixelRect a = trackButtonRect(i, dpi), b = trackButtonRect(i + 1, dpi);
      ASSERT_EQ(std::tuple(a.y + a.height, a.height, a.x), std::tuple(b.y, b.height, b.x)) << dpi;
    }
    const PixelRect last = trackButtonRect(15, dpi);
    ASSERT_EQ(paneContentHeight(16, dpi) - (last.y + last.height), last.height) << dpi;
  }
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
      {{1, 345, 200, 77}, 8, none}, {{1, 105, 274, 1}, 1, 1}, {{1, 105, 274, 1}, 3, 1},
      {{1, 105, 274, 1}, 7, 1}, {{0, 104, 274, 0}, 7, 0}};
  // clang-format on
  for (const auto& [bar, request, want] : cases)
    EXPECT_EQ(scrollTargetFor(bar, request), want) << request << " at " << bar.nPos;
}

// After a new page the content follows the bar if maximised or pushed back to its last position.
TEST(PaneResize, ContentFollowsTheBar) {
  // The size type, then the bar: minimum, maximum, position and the page asked for.
  const std::tuple<int32_t, int32_t, int32_t, int32_t, int32_t, bool> cases[] = {
      {2, 1, 345, 1, 200, true}, {0, 1, 345, 96, 250, true}, {0, 1, 345, 40, 250, false}};
  for (const auto& [type, min, max, pos, page, want] : cases)
    EXPECT_EQ(paneNeedsRealign(type, min, max, pos, page), want) << pos;
}
