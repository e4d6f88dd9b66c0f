// Paths of the programs that the Windows tests run, which lie beside them.
#ifndef WINDOWS_PATHS_H
#define WINDOWS_PATHS_H

#include <windows.h>

#include <string>

// The Windows path of a file in the folder of the running test program.
inline std::string BesideThisProgram(const char *file) {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  std::string folder(path, length);
  return folder.substr(0, folder.find_last_of('\\') + 1) + file;
}

#endif
