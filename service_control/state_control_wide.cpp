// Moving a service between its running states, and reading its state: the
// wide forms.
#include "service_control.h"
#include "state_control.h"

extern "C" {

DWORD StartServiceAndWaitW(const wchar_t *serviceName, DWORD *notRunning) {
  return StartAndWait(serviceName, notRunning);
}

DWORD StartServiceAndPollW(const wchar_t *serviceName) { return StartAndPoll(serviceName); }

DWORD StopServiceAndWaitW(const wchar_t *serviceName) {
  return SendControlAndWaitStopped(serviceName, SERVICE_CONTROL_STOP);
}

DWORD ControlServiceAndWaitStoppedW(const wchar_t *serviceName) {
  return SendControlAndWaitStopped(serviceName, kStopAndWaitControl);
}

DWORD SendServiceControlW(const wchar_t *serviceName, DWORD control) {
  return SendControl(serviceName, control);
}

DWORD QueryServiceStateW(const wchar_t *serviceName, SERVICE_STATUS *status) {
  return QueryState(serviceName, status);
}

}  // extern "C"
