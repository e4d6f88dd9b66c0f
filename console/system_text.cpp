#include "system_text.h"

#include <stddef.h>

char *SystemTextA(DWORD code) {
  char *text = NULL;
  if (FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                         FORMAT_MESSAGE_FROM_SYSTEM,
                     NULL, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                     reinterpret_cast<LPSTR>(&text), 0, NULL) == 0) {
    return NULL;
  }
  return text;
}
