// The C runtime's bounded multibyte copy, in the current code page, and the
// platform's conversions between the ANSI code page (1252) and UTF-16.
#include <mbstring.h>

#include "internal.h"

namespace {

int code_page = 1252;

bool IsLeadByte(unsigned char c) {
  return code_page == 932 && ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC));
}

// Code page 1252 from 0x80 to 0x9F; the other bytes are the Latin-1 code
// points of the same value, and so are the five bytes that 1252 leaves free.
const WCHAR kHighControls[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char ToAnsi(WCHAR c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<char>(c);
  for (unsigned i = 0; i < 32; ++i) {
    if (kHighControls[i] == c) return static_cast<char>(0x80 + i);
  }
  return '?';
}

void AppendUtf8(unsigned long c, std::string *out) {
  if (c < 0x80) {
    *out += static_cast<char>(c);
  } else if (c < 0x800) {
    *out += static_cast<char>(0xC0 | c >> 6);
    *out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    *out += static_cast<char>(0xE0 | c >> 12);
    *out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    *out += static_cast<char>(0xF0 | c >> 18);
    *out += static_cast<char>(0x80 | (c >> 12 & 0x3F));
    *out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

bool IsHigh(WCHAR c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLow(WCHAR c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

namespace standin {

WCHAR FromAnsi(unsigned char c) { return c >= 0x80 && c <= 0x9F ? kHighControls[c - 0x80] : c; }

WideString AnsiToWide(const std::string &text) {
  WideString wide;
  for (char c : text) wide += FromAnsi(static_cast<unsigned char>(c));
  return wide;
}

std::string WideToAnsi(const WideString &text) {
  std::string ansi;
  for (WCHAR c : text) ansi += ToAnsi(c);
  return ansi;
}

std::string Utf8Of(const WideString &text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const WCHAR c = text[i];
    if (IsHigh(c) && i + 1 < text.size() && IsLow(text[i + 1])) {
      AppendUtf8(
          0x10000 + ((static_cast<unsigned long>(c) - 0xD800) << 10) + (text[i + 1] - 0xDC00),
          &out);
      ++i;
    } else {
      AppendUtf8(IsHigh(c) || IsLow(c) ? 0xFFFD : static_cast<unsigned long>(c), &out);
    }
  }
  return out;
}

}  // namespace standin

extern "C" {

int _setmbcp(int codepage) {
  code_page = codepage;
  return 0;
}

unsigned char *_mbsnbcpy(unsigned char *dest, const unsigned char *src, size_t count) {
  size_t i = 0;
  while (i < count && src[i] != 0) {
    if (IsLeadByte(src[i])) {
      // A lead byte without its trail byte inside the count is not copied.
      if (i + 1 >= count || src[i + 1] == 0) break;
      dest[i] = src[i];
      dest[i + 1] = src[i + 1];
      i += 2;
    } else {
      dest[i] = src[i];
      ++i;
    }
  }
  while (i < count) dest[i++] = 0;
  return dest;
}

}  // extern "C"
