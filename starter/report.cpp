#include <stdio.h>

#include "console_text.h"
#include "service_control.h"
#include "starter.h"
#include "system_text.h"

void PrintSystemError(DWORD code) {
  char *text = SystemTextA(code);
  if (text == NULL) {
    printf("\nUnknown Error");
    return;
  }
  printf("\nError: ");
  WriteSystemText(stdout, STD_OUTPUT_HANDLE, text);
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
