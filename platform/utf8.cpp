#include "platform/utf8.h"

#include <cstdint>

std::string toUtf8(const std::wstring& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t c = static_cast<uint32_t>(text[i]);
    // Where wchar_t is 16 bits wide (Windows) a code point above U+FFFF comes
    // as a surrogate pair; join it before encoding.
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
      uint32_t low = static_cast<uint32_t>(text[i + 1]);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        ++i;
      }
    }
    if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = 0xFFFD;
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::wstring fromUtf8(const std::string& text, bool* valid) {
  std::wstring out;
  if (valid != nullptr) *valid = true;
  size_t i = 0;
  while (i < text.size()) {
    const unsigned char lead = static_cast<unsigned char>(text[i]);
    const int count = lead < 0x80         ? 0
                      : (lead >> 5) == 6  ? 1
                      : (lead >> 4) == 14 ? 2
                      : (lead >> 3) == 30 ? 3
                                          : -1;
    uint32_t code = count == 0   ? lead
                    : count == 1 ? lead & 0x1F
                    : count == 2 ? lead & 0x0F
                                 : lead & 0x07;
    bool ok = count >= 0;
    for (int k = 1; ok && k <= count; ++k) {
      if (i + k >= text.size()) {
        ok = false;
        break;
      }
      const unsigned char c = static_cast<unsigned char>(text[i + k]);
      if ((c & 0xC0) != 0x80) ok = false;
      code = (code << 6) | (c & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    static const uint32_t kMinimum[4] = {0, 0x80, 0x800, 0x10000};
    if (ok && (code < kMinimum[count] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))) {
      ok = false;
    }
    if (!ok) {
      if (valid != nullptr) *valid = false;
      out += static_cast<wchar_t>(0xFFFD);
      ++i;
      continue;
    }
    if (sizeof(wchar_t) == 2 && code > 0xFFFF) {
      out += static_cast<wchar_t>(0xD800 + ((code - 0x10000) >> 10));
      out += static_cast<wchar_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
    } else {
      out += static_cast<wchar_t>(code);
    }
    i += static_cast<size_t>(count) + 1;
  }
  return out;
}
