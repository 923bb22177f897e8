#include "ui/pane_layout.h"

#include <gtest/gtest.h>

#include <random>

namespace {

ScrollBarState bar(int32_t nMin, int32_t nMax, int32_t nPage, int32_t nPos, int32_t nTrackPos = 0) {
  ScrollBarState state;
  state.nMin = nMin;
  state.nMax = nMax;
  state.nPage = nPage;
  state.nPos = nPos;
  state.nTrackPos = nTrackPos;
  return state;
}

}  // namespace

TEST(TrackPaneGeometry, ButtonsStackTwentyPixelsApartBelowAFivePixelMargin) {
  const PixelRect first = trackButtonRect(0);
  EXPECT_EQ(first.x, 10);
  EXPECT_EQ(first.y, 5);
  EXPECT_EQ(first.width, 70);
  EXPECT_EQ(first.height, 20);
  // With 16 tracks the last button spans y 305 to 325 and the content, with
  // 20 pixels below it, is 345 tall.
  const PixelRect last = trackButtonRect(15);
  EXPECT_EQ(last.y, 305);
  EXPECT_EQ(last.y + last.height, 325);
  EXPECT_EQ(paneContentHeight(16), 345);
  EXPECT_EQ(paneContentHeight(0), 25);  // no song, or a song without tracks
}

TEST(TrackPaneGeometry, PaneLiesInsideTheGroupBoxClearOfItsCaption) {
  const PixelRect pane = paneRectInGroupBox(34, 28, 186, 324);
  EXPECT_EQ(pane.x, 35);                 // 1 inside the left edge
  EXPECT_EQ(pane.y, 48);                 // 20 below the top edge
  EXPECT_EQ(pane.x + pane.width, 185);   // 1 inside the right edge
  EXPECT_EQ(pane.y + pane.height, 322);  // 2 above the bottom edge
}

TEST(PaneScrollTarget, LinesAndPagesStopAtTheFirstAndLastPositions) {
  // Content of 345 pixels in a 200-pixel page: positions run 1 to 146.
  EXPECT_EQ(scrollTargetFor(bar(1, 345, 200, 1), kScrollLineUp), 1);
  EXPECT_EQ(scrollTargetFor(bar(1, 345, 200, 2), kScrollLineUp), 1);
  EXPECT_EQ(scrollTargetFor(bar(1, 345, 200, 146), kScrollLineDown), 146);
  EXPECT_EQ(scrollTargetFor(bar(1, 345, 200, 145), kScrollLineDown), 146);
  EXPECT_EQ(scrollTargetFor(bar(1, 345, 200, 1), kScrollPageDown), 146);  // not 201
  EXPECT_EQ(scrollTargetFor(bar(1, 345, 100, 1), kScrollPageDown), 101);
  EXPECT_EQ(scrollTargetFor(bar(1, 345, 100, 150), kScrollPageUp), 50);
  EXPECT_EQ(scrollTargetFor(bar(1, 345, 200, 146), kScrollPageUp), 1);
  EXPECT_EQ(scrollTargetFor(bar(1, 345, 200, 70), kScrollTop), 1);
  EXPECT_EQ(scrollTargetFor(bar(1, 345, 200, 70), kScrollBottom), 146);
}

TEST(PaneScrollTarget, DragFollowsTheThumbAndTheEndOfADragChangesNothing) {
  EXPECT_EQ(scrollTargetFor(bar(1, 345, 200, 10, 77), kScrollThumbTrack), 77);
  EXPECT_EQ(scrollTargetFor(bar(1, 345, 200, 10, 500), kScrollThumbTrack), 500);  // unclamped
  EXPECT_EQ(scrollTargetFor(bar(1, 345, 200, 77, 77), kScrollThumbPosition), kScrollIgnored);
  EXPECT_EQ(scrollTargetFor(bar(1, 345, 200, 77), kScrollEnd), kScrollIgnored);
  EXPECT_EQ(scrollTargetFor(bar(1, 345, 200, 77), 9), kScrollIgnored);
  EXPECT_EQ(scrollTargetFor(bar(1, 345, 200, 77), -3), kScrollIgnored);
}

TEST(PaneScrollTarget, ContentThatFitsThePageCannotScroll) {
  // The page right after a pane opens covers the whole range.
  for (int32_t request :
       {kScrollLineDown, kScrollPageDown, kScrollBottom, kScrollLineUp, kScrollTop})
    EXPECT_EQ(scrollTargetFor(bar(1, 25, 25, 1), request), 1) << "request " << request;
}

TEST(PaneScrollTarget, KeyAndClickRequestsStayWithinTheBarForAnyBar) {
  std::mt19937 random(12345);
  for (int round = 0; round < 20000; ++round) {
    const int32_t content = 25 + static_cast<int32_t>(random() % 400);
    const int32_t page = 1 + static_cast<int32_t>(random() % content);
    const int32_t last = content - page + 1;
    const int32_t pos = 1 + static_cast<int32_t>(random() % last);
    for (int32_t request : {kScrollLineUp, kScrollLineDown, kScrollPageUp, kScrollPageDown,
                            kScrollTop, kScrollBottom}) {
      const int32_t target = scrollTargetFor(bar(1, content, page, pos), request);
      ASSERT_GE(target, 1) << "content " << content << " page " << page << " pos " << pos
                           << " request " << request;
      ASSERT_LE(target, last) << "content " << content << " page " << page << " pos " << pos
                              << " request " << request;
    }
  }
}

TEST(PaneResize, ContentFollowsTheBarOnlyWhenPushedBackToItsLastPosition) {
  // Maximised: always brought in line.
  EXPECT_TRUE(paneNeedsRealign(kSizeMaximized, 1, 345, 1, 200));
  // Restored at the last position a bigger page allows (345 - 250 + 1 = 96).
  EXPECT_TRUE(paneNeedsRealign(kSizeRestored, 1, 345, 96, 250));
  // Still inside the range: the bar was not moved, nor is the content.
  EXPECT_FALSE(paneNeedsRealign(kSizeRestored, 1, 345, 40, 250));
  // At the minimum nothing has to move, even where that is also the last.
  EXPECT_FALSE(paneNeedsRealign(kSizeRestored, 1, 25, 1, 25));
}
