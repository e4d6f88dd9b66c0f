// The system's own text for a Win32 code, in the user's language: the one
// place that asks the platform for it (FormatMessage).
#ifndef SYSTEM_TEXT_H
#define SYSTEM_TEXT_H

#include <windows.h>

// The text in the ANSI code page, with the line break that ends it, in a
// buffer that LocalFree releases; null where the system has none.
char *SystemTextA(DWORD code);

// The same text as UTF-16.
wchar_t *SystemTextW(DWORD code);

#endif
