// The C runtime's bounded multibyte copy, in the current code page.
#include <mbstring.h>

namespace {

int code_page = 1252;

bool IsLeadByte(unsigned char c) {
  return code_page == 932 && ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC));
}

}  // namespace

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
