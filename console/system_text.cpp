#include "system_text.h"

#include <stddef.h>

namespace {

const DWORD kFlags =
    FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM;
const DWORD kLanguage = MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT);

}  // namespace

char *SystemTextA(DWORD code) {
  char *text = NULL;
  if (FormatMessageA(kFlags, NULL, code, kLanguage, reinterpret_cast<LPSTR>(&text), 0, NULL) == 0) {
    return NULL;
  }
  return text;
}

wchar_t *SystemTextW(DWORD code) {
  wchar_t *text = NULL;
  if (FormatMessageW(kFlags, NULL, code, kLanguage, reinterpret_cast<LPWSTR>(&text), 0, NULL) ==
      0) {
    return NULL;
  }
  return text;
}
