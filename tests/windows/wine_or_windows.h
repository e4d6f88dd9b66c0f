// How a Windows test tells Wine from Windows, where the two differ (the
// README's test section lists where): Wine's ntdll exports wine_get_version,
// which Windows' has not.
#ifndef WINE_OR_WINDOWS_H
#define WINE_OR_WINDOWS_H

#include <windows.h>

// True under Wine, false on Windows.
inline bool RunsOnWine() {
  return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}

#endif
