// A program planted where an unquoted service path with a space would find
// it: it only leaves a marker file beside itself, holding its command line.
#include <windows.h>

#include <cstdio>
#include <string>

int main() {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
  const std::string marker = std::string(path, length) + ".ran";
  FILE *file = std::fopen(marker.c_str(), "w");
  if (file == nullptr) return 1;
  std::fputs(GetCommandLineA(), file);
  std::fclose(file);
  return 0;
}
