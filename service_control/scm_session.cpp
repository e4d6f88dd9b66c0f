#include "scm_session.h"

DWORD FailWith(DWORD result) {
  SetLastError(result);
  return result;
}

DWORD CloseHandlesAndReturn(SC_HANDLE service, SC_HANDLE manager, DWORD result) {
  if (service != NULL) CloseServiceHandle(service);
  if (manager != NULL) CloseServiceHandle(manager);
  if (result != ERROR_SUCCESS) SetLastError(result);
  return result;
}

DWORD StageResult(Stage stage, DWORD code, DWORD *error) {
  *error = code;
  if (code == ERROR_SUCCESS) return 0;
  SetLastError(code);
  return stage.value;
}
