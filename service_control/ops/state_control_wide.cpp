// Moving a service between its running states, and reading its state: the
// wide forms.
#include "ops/state_control.h"
#include "service_control.h"

using namespace service_control;

extern "C" {

DWORD StartServiceAndWaitW(const wchar_t *serviceName, DWORD *notRunning) {
  return CodeResult(CodeOnService(serviceName, kFullAccess, StartAndWaitWhilePending,
                                  ScmApi<wchar_t>::Start, notRunning));
}

DWORD StartServiceAndPollW(const wchar_t *serviceName) {
  return CodeResult(
      CodeOnService(serviceName, kFullAccess, StartAndPollUntilRunning, ScmApi<wchar_t>::Start));
}

DWORD StopServiceAndWaitW(const wchar_t *serviceName) {
  return CodeResult(
      CodeOnService(serviceName, kFullAccess, ControlAndWaitStopped, SERVICE_CONTROL_STOP));
}

DWORD ControlServiceAndWaitStoppedW(const wchar_t *serviceName) {
  return CodeResult(
      CodeOnService(serviceName, kFullAccess, ControlAndWaitStopped, kControlAndWaitStoppedCode));
}

DWORD SendServiceControlW(const wchar_t *serviceName, DWORD control) {
  return CodeResult(CodeOnService(serviceName, kUserControl, QueryThenControl, control));
}

DWORD QueryServiceStateW(const wchar_t *serviceName, SERVICE_STATUS *status) {
  if (status == NULL) return CodeResult(ERROR_INVALID_PARAMETER);
  return CodeResult(CodeOnService(serviceName, kQueryStatus, QueryStatusInto, status));
}

DWORD QueryServiceStateExW(const wchar_t *serviceName, SERVICE_STATUS_PROCESS *status) {
  if (status == NULL) return CodeResult(ERROR_INVALID_PARAMETER);
  return CodeResult(CodeOnService(serviceName, kQueryStatus, QueryStatusProcessInto, status));
}

}  // extern "C"
