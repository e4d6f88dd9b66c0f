// The bounded multibyte copy, the same cases against the stand-in and against
// the real C runtime, in a single-byte and a double-byte code page.
#include <gtest/gtest.h>
#include <mbstring.h>
#ifdef _WIN32
#include <mbctype.h>
#endif

#include <string>

namespace {

TEST(MultibyteCopy, CopiesAtMostTheCountWithoutSplittingACharacter) {
  struct Case {
    const char *what;
    int code_page;
    std::string source;
    std::string copied;  // the count (6) bytes, then the two guard bytes
  };
  const std::string guard = "\xEE\xEE";
  const Case cases[] = {
      {"short string, rest zero-filled", 1252, "abc", std::string("abc\0\0\0", 6) + guard},
      {"long string, no terminator", 1252, "abcdefgh", "abcdef" + guard},
      {"single-byte: 0x82 is a character", 1252, "abcde\x82\xA0", "abcde\x82" + guard},
      {"whole double-byte character", 932,
       "ab\x82\xA0"
       "c",
       std::string("ab\x82\xA0"
                   "c\0",
                   6) +
           guard},
      {"lead byte as the last byte of the count", 932, "abcde\x82\xA0",
       std::string("abcde\0", 6) + guard},
      {"lead byte before the terminator", 932, "ab\x82", std::string("ab\0\0\0\0", 6) + guard},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    _setmbcp(c.code_page);
    unsigned char buffer[8];
    std::fill(buffer, buffer + 8, 0xEE);
    _mbsnbcpy(buffer, reinterpret_cast<const unsigned char *>(c.source.c_str()), 6);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(buffer), 8), c.copied);
  }
  _setmbcp(1252);
}

}  // namespace
