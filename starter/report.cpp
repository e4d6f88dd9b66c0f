#include <stdio.h>
#include <stdlib.h>

#include "service_control.h"
#include "starter.h"

namespace {

// Writes the system's text, which is in the ANSI code page. A console would
// show those bytes in its own output code page, which differs in most
// languages (1252 and 850 in French), so a console gets the text as UTF-16
// and shows the same characters. A pipe or a file gets the bytes as they are,
// as callers that read the output expect; so does a console that refuses the
// wide text, rather than lose it.
void PrintSystemText(const char *text) {
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode;
  if (GetConsoleMode(output, &mode)) {
    const int length = MultiByteToWideChar(CP_ACP, 0, text, -1, NULL, 0);
    WCHAR *wide = length > 1 ? static_cast<WCHAR *>(malloc(length * sizeof(WCHAR))) : NULL;
    bool shown = false;
    if (wide != NULL && MultiByteToWideChar(CP_ACP, 0, text, -1, wide, length) == length) {
      // What the stream holds goes first: the console write passes it by.
      fflush(stdout);
      DWORD written;
      shown = WriteConsoleW(output, wide, static_cast<DWORD>(length - 1), &written, NULL) != 0;
    }
    free(wide);
    if (shown) return;
  }
  printf("%s", text);
}

}  // namespace

void PrintSystemError(DWORD code) {
  char *text = NULL;
  if (FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                         FORMAT_MESSAGE_FROM_SYSTEM,
                     NULL, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                     reinterpret_cast<LPSTR>(&text), 0, NULL) == 0) {
    printf("\nUnknown Error");
    return;
  }
  printf("\nError: ");
  PrintSystemText(text);
  LocalFree(text);
}

void StartTesseraAndReport(void) {
  printf("\nStarting Tessera service");
  // The line stands on the console during the whole wait.
  fflush(stdout);
  DWORD notRunning = 0;
  const DWORD result = StartServiceAndWait("tessera", &notRunning);
  if (result != ERROR_SUCCESS) {
    printf(" ... FAILED");
    PrintSystemError(result);
  } else if (notRunning != 0) {
    // Every call succeeded, but the service stopped again or was still
    // starting when the wait gave up: that is no successful start.
    printf(" ... FAILED");
    PrintSystemError(ERROR_SERVICE_NOT_ACTIVE);
  } else {
    printf("\n... SUCCEEDED");
  }
}
