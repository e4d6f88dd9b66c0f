// The bounded multibyte copy, the same cases against the stand-in and against
// the real C runtime, in a single-byte and a double-byte code page; and the
// wide copy, which never cuts a surrogate pair.
#include <gtest/gtest.h>
#include <mbstring.h>
#include <service_control.h>
#ifdef _WIN32
#include <mbctype.h>
#endif

#include <string>

#include "service_fixture.h"

namespace {

TEST(MultibyteCopy, CopiesAtMostTheCountWithoutSplittingACharacter) {
  struct Case {
    const char *what;
    int code_page;
    std::string source;
    std::string copied;  // the count (6) bytes, then the two guard bytes
  };
  const std::string guard = "\xEE\xEE";
  // clang-format off
  const Case cases[] = {
      {"short string, rest zero-filled",          1252, "abc",             std::string("abc\0\0\0", 6) + guard},
      {"long string, no terminator",              1252, "abcdefgh",        "abcdef" + guard},
      {"single-byte: 0x82 is a character",        1252, "abcde\x82\xA0",   "abcde\x82" + guard},
      {"whole double-byte character",             932,  "ab\x82\xA0" "c",  std::string("ab\x82\xA0" "c\0", 6) + guard},
      {"lead byte as the last byte of the count", 932,  "abcde\x82\xA0",   std::string("abcde\0", 6) + guard},
      {"lead byte before the terminator",         932,  "ab\x82",          std::string("ab\0\0\0\0", 6) + guard},
  };
  // clang-format on
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

// x bytes with a character of code page 932 (0x82 0xA0) at position at.
std::string WithDoubleByteAt(size_t at, size_t length) {
  std::string text(length, 'x');
  text.replace(at, 2, "\x82\xA0");
  return text;
}

TEST(MultibyteCopy, ConfigurationReadNeverCutsACharacter) {
  struct Case {
    const char *what;
    int code_page;
    size_t path_at, path_kept, display_at, display_kept;
  };
  const Case cases[] = {
      {"932: a character across the cut is left out", 932, 258, 258, 98, 98},
      {"932: a character just before the cut stays whole", 932, 257, 259, 97, 99},
      {"1252: single bytes, cut at 259 and 99", 1252, 258, 259, 98, 99},
  };
  BeginServiceTest();
  const char kName[] = "tessera-multibyte";
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = WithDoubleByteAt(c.path_at, 270);
    const std::string display = WithDoubleByteAt(c.display_at, 110);
    DWORD error = 0;
    ASSERT_EQ(
        InstallServiceUnquoted(path.c_str(), kName, display.c_str(), SERVICE_WIN32_OWN_PROCESS,
                               SERVICE_DEMAND_START, "", SERVICE_ERROR_NORMAL, "", "", "", &error),
        0u);
    _setmbcp(c.code_page);
    DWORD values[4];
    char path_out[MAX_PATH], group[100], dependencies[100], display_out[100];
    EXPECT_EQ(ReadServiceConfig(kName, &values[0], &values[1], &values[2], &values[3], path_out,
                                group, dependencies, display_out, &error),
              0u);
    _setmbcp(1252);
    EXPECT_EQ(std::string(path_out), path.substr(0, c.path_kept));
    EXPECT_EQ(std::string(display_out), display.substr(0, c.display_kept));
    EXPECT_EQ(DeleteServiceByName(kName), 0u);
    WaitUntilGone(kName);
  }
}

// x characters with two units at position at: a surrogate pair, or two
// characters of Cyrillic.
std::wstring WithPairAt(size_t at, size_t length, const wchar_t *units) {
  std::wstring text(length, L'x');
  text.replace(at, 2, units);
  return text;
}

TEST(MultibyteCopy, WideConfigurationReadNeverCutsASurrogatePair) {
  struct Case {
    const char *what;
    const wchar_t *units;
    size_t path_at, path_kept, display_at, display_kept;
  };
  const Case cases[] = {
      {"a pair across the cut is left out", L"\xD83D\xDE00", 258, 258, 98, 98},
      {"a pair just before the cut stays whole", L"\xD83D\xDE00", 257, 259, 97, 99},
      {"the first pair, U+10000, across the cut", L"\xD800\xDC00", 258, 258, 98, 98},
      {"the last pair, U+10FFFF, across the cut", L"\xDBFF\xDFFF", 258, 258, 98, 98},
      {"characters without surrogates, cut at 259 and 99", L"\x0416\x0416", 258, 259, 98, 99},
  };
  BeginServiceTest();
  const wchar_t kName[] = L"tessera-surrogates";
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    const std::wstring path = WithPairAt(c.path_at, 270, c.units);
    const std::wstring display = WithPairAt(c.display_at, 110, c.units);
    DWORD error = 0;
    ASSERT_EQ(InstallServiceUnquotedW(path.c_str(), kName, display.c_str(),
                                      SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, L"",
                                      SERVICE_ERROR_NORMAL, L"", L"", L"", &error),
              0u);
    DWORD values[4];
    wchar_t path_out[MAX_PATH], group[100], dependencies[100], display_out[100];
    EXPECT_EQ(ReadServiceConfigW(kName, &values[0], &values[1], &values[2], &values[3], path_out,
                                 group, dependencies, display_out, &error),
              0u);
    EXPECT_EQ(std::wstring(path_out), path.substr(0, c.path_kept));
    EXPECT_EQ(std::wstring(display_out), display.substr(0, c.display_kept));
    EXPECT_EQ(DeleteServiceByNameW(kName), 0u);
    WaitUntilGone("tessera-surrogates");
  }
}

}  // namespace
