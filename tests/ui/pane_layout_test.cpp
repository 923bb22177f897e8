#include "ui/pane_layout.h"

#include <gtest/gtest.h>

#include <random>

namespace {

struct ScrollCase {
  const char* name;
  ScrollBarState bar;
  int32_t request;
  int32_t want;
};

// 16 tracks make 345 pixels of content; in a 200-pixel page the positions
// run from 1 to 146. Two tracks make 65, less than any page the pane has.
const ScrollCase kScrollCases[] = {
    {"line up at the top stays", {1, 345, 200, 1}, kScrollLineUp, 1},
    {"line down", {1, 345, 200, 145}, kScrollLineDown, 146},
    {"line down at the end stays", {1, 345, 200, 146}, kScrollLineDown, 146},
    {"page down stops at the last position", {1, 345, 200, 1}, kScrollPageDown, 146},
    {"page down by a whole page", {1, 345, 100, 1}, kScrollPageDown, 101},
    {"page up by a whole page", {1, 345, 100, 150}, kScrollPageUp, 50},
    {"page up stops at the first position", {1, 345, 200, 146}, kScrollPageUp, 1},
    {"top", {1, 345, 200, 70}, kScrollTop, 1},
    {"bottom", {1, 345, 200, 70}, kScrollBottom, 146},
    {"drag follows the thumb", {1, 345, 200, 10, 77}, kScrollThumbTrack, 77},
    {"thumb position repeats the drag",
     {1, 345, 200, 77, 77},
     kScrollThumbPosition,
     kScrollIgnored},
    {"end of scroll", {1, 345, 200, 77}, kScrollEnd, kScrollIgnored},
    {"unknown request", {1, 345, 200, 77}, 9, kScrollIgnored},
    {"page equal to the content: bottom", {1, 25, 25, 1}, kScrollBottom, 1},
    {"page beyond the content: line down", {1, 65, 274, 1}, kScrollLineDown, 1},
    {"page beyond the content: page down", {1, 65, 274, 1}, kScrollPageDown, 1},
    {"page beyond the content: bottom", {1, 65, 274, 1}, kScrollBottom, 1},
    {"page beyond the content, range from 0: bottom", {0, 64, 274, 0}, kScrollBottom, 0},
};

}  // namespace

TEST(PaneScrollTarget, EachRequestLeadsToItsPosition) {
  for (const ScrollCase& c : kScrollCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(scrollTargetFor(c.bar, c.request), c.want);
  }
}

// Whatever the bar, pages larger than the content included, a key or click
// request never leaves the positions a bar can take.
TEST(PaneScrollTarget, KeyAndClickRequestsStayWithinTheBar) {
  std::mt19937 random(12345);
  for (int round = 0; round < 20000; ++round) {
    const int32_t content = 25 + static_cast<int32_t>(random() % 400);
    const int32_t page = 1 + static_cast<int32_t>(random() % (content + 300));
    const int32_t last = page >= content ? 1 : content - page + 1;
    const int32_t pos = 1 + static_cast<int32_t>(random() % last);
    for (int32_t request : {kScrollLineUp, kScrollLineDown, kScrollPageUp, kScrollPageDown,
                            kScrollTop, kScrollBottom}) {
      SCOPED_TRACE(testing::Message() << "content " << content << " page " << page << " pos " << pos
                                      << " request " << request);
      const int32_t target = scrollTargetFor({1, content, page, pos}, request);
      ASSERT_GE(target, 1);
      ASSERT_LE(target, last);
    }
  }
}

TEST(PaneResize, ContentFollowsTheBarOnlyWhenPushedBackToItsLastPosition) {
  struct Case {
    const char* name;
    int32_t sizeType, nMin, nMax, nPos, page;
    bool want;
  };
  const Case cases[] = {
      {"maximised: always", kSizeMaximized, 1, 345, 1, 200, true},
      {"restored at the last position a larger page allows", kSizeRestored, 1, 345, 96, 250, true},
      {"restored inside the range", kSizeRestored, 1, 345, 40, 250, false},
      {"restored at the minimum, which is also the last", kSizeRestored, 1, 25, 1, 25, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(paneNeedsRealign(c.sizeType, c.nMin, c.nMax, c.nPos, c.page), c.want);
  }
}
