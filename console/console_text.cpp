#include "console_text.h"

#include <stdlib.h>

namespace {

// Writes to the console. Returns whether it did.
bool WriteConsoleText(FILE *stream, HANDLE console, const wchar_t *text, size_t length) {
  // What the stream holds goes first: the console write passes it by.
  fflush(stream);
  DWORD written;
  return WriteConsoleW(console, text, static_cast<DWORD>(length), &written, NULL) != 0;
}

}  // namespace

HANDLE ConsoleOf(DWORD stdHandle) {
  const HANDLE output = GetStdHandle(stdHandle);
  DWORD mode;
  return GetConsoleMode(output, &mode) ? output : NULL;
}

void WriteSystemText(FILE *stream, DWORD stdHandle, const char *text) {
  const HANDLE console = ConsoleOf(stdHandle);
  if (console != NULL) {
    const int length = MultiByteToWideChar(CP_ACP, 0, text, -1, NULL, 0);
    WCHAR *wide = length > 1 ? static_cast<WCHAR *>(malloc(length * sizeof(WCHAR))) : NULL;
    bool shown = false;
    if (wide != NULL && MultiByteToWideChar(CP_ACP, 0, text, -1, wide, length) == length) {
      shown = WriteConsoleText(stream, console, wide, static_cast<size_t>(length - 1));
    }
    free(wide);
    if (shown) return;
  }
  fputs(text, stream);
}

bool WriteToConsole(FILE *stream, DWORD stdHandle, const wchar_t *text, size_t length) {
  const HANDLE console = ConsoleOf(stdHandle);
  return console != NULL && WriteConsoleText(stream, console, text, length);
}
