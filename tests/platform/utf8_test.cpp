// The UTF-8 codec: well-formed text both ways, and what each kind of broken
// sequence decodes to (one U+FFFD per byte that starts no valid sequence).
#include "platform/utf8.h"

#include <gtest/gtest.h>

#include <string>

TEST(Utf8, BothWaysWithEachKindOfBrokenSequenceReplaced) {
  // clang-format off
  const struct { const char* name; std::string utf8; std::wstring wide; bool valid; } cases[] = {
      {"ASCII", "Track 1", L"Track 1", true},
      {"two, three and four bytes", "\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x8E\xB5", L"\u00E9 \u20AC \U0001F3B5", true},
      {"the last code point", "\xF4\x8F\xBF\xBF", L"\U0010FFFF", true},
      {"overlong slash in two bytes", "\xC0\xAF", L"\uFFFD\uFFFD", false},
      {"overlong in four bytes", "\xF0\x8F\xBF\xBF", L"\uFFFD\uFFFD\uFFFD\uFFFD", false},
      {"a surrogate", "\xED\xA0\x80", L"\uFFFD\uFFFD\uFFFD", false},
      {"past U+10FFFF", "\xF4\x90\x80\x80", L"\uFFFD\uFFFD\uFFFD\uFFFD", false},
      {"cut short at the end", "a\xE2\x82", L"a\uFFFD\uFFFD", false},
      {"cut short by an ASCII byte", "\xF0\x9F\x8E!", L"\uFFFD\uFFFD\uFFFD!", false},
      {"a lone continuation byte, a byte no sequence starts with", "\x80 \xF8", L"\uFFFD \uFFFD", false},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    bool valid = !c.valid;
    EXPECT_EQ(fromUtf8(c.utf8, &valid), c.wide);
    EXPECT_EQ(valid, c.valid);
    EXPECT_TRUE(!c.valid || toUtf8(c.wide) == c.utf8);
  }
  // A surrogate pair is one code point; a lone surrogate, high or low, a replacement.
  EXPECT_EQ(toUtf8(std::wstring{wchar_t(0xD83C), wchar_t(0xDFB5)}), "\xF0\x9F\x8E\xB5");
  EXPECT_EQ(toUtf8(std::wstring{wchar_t(0xD83C), L'x'}), "\xEF\xBF\xBDx");
  EXPECT_EQ(toUtf8(std::wstring{wchar_t(0xDFB5)}), "\xEF\xBF\xBD");
}
