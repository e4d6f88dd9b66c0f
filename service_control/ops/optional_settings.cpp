// The optional settings of a service: its description, what the manager does
// when it fails, and whether an automatic start waits until the others.
#include "core/scm_session.h"
#include "service_control.h"

namespace service_control {
namespace {

const Access kConfigRights = {SC_MANAGER_CONNECT, SERVICE_CHANGE_CONFIG};
// A restart action needs the right to start the service.
const Access kRecoveryRights = {SC_MANAGER_CONNECT, SERVICE_CHANGE_CONFIG | SERVICE_START};

// Changes one optional setting with ChangeServiceConfig2. Returns 0 or the
// code of the failed call; a call that fails without a code gives
// ERROR_NOT_SUPPORTED, never a success.
template <typename Char>
DWORD ChangeConfig2(SC_HANDLE service, DWORD level, void *info) {
  SetLastError(ERROR_SUCCESS);
  if (ScmApi<Char>::ChangeConfig2(service, level, info)) return ERROR_SUCCESS;
  const DWORD code = GetLastError();
  return code != ERROR_SUCCESS ? code : ERROR_NOT_SUPPORTED;
}

template <typename Char>
DWORD ChangeDescription(SC_HANDLE service, const Char *description) {
  typename ScmApi<Char>::Description info = {const_cast<Char *>(description)};
  return ChangeConfig2<Char>(service, SERVICE_CONFIG_DESCRIPTION, &info);
}

template <typename Char>
DWORD SetDescription(const Char *serviceName, const Char *description) {
  if (description == NULL) return CodeResult(ERROR_INVALID_PARAMETER);
  return CodeResult(
      CodeOnService(serviceName, kConfigRights, ChangeDescription<Char>, description));
}

template <typename Char>
DWORD ChangeFailureActions(SC_HANDLE service, DWORD resetPeriodSeconds, const SC_ACTION *actions,
                           DWORD actionCount, int onNonCrashFailures) {
  // The platform leaves the actions as they are for a null list, so no
  // actions go as an empty one.
  SC_ACTION none = {};
  typename ScmApi<Char>::FailureActions info = {
      resetPeriodSeconds, NULL, NULL, actionCount,
      actions == NULL ? &none : const_cast<SC_ACTION *>(actions)};
  const DWORD code = ChangeConfig2<Char>(service, SERVICE_CONFIG_FAILURE_ACTIONS, &info);
  if (code != ERROR_SUCCESS) return code;
  SERVICE_FAILURE_ACTIONS_FLAG flag = {onNonCrashFailures != 0};
  return ChangeConfig2<Char>(service, SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, &flag);
}

template <typename Char>
DWORD SetFailureActions(const Char *serviceName, DWORD resetPeriodSeconds, const SC_ACTION *actions,
                        DWORD actionCount, int onNonCrashFailures) {
  if (actions == NULL && actionCount != 0) return CodeResult(ERROR_INVALID_PARAMETER);
  return CodeResult(CodeOnService(serviceName, kRecoveryRights, ChangeFailureActions<Char>,
                                  resetPeriodSeconds, actions, actionCount, onNonCrashFailures));
}

template <typename Char>
DWORD ChangeDelayedAutoStart(SC_HANDLE service, int delayed) {
  SERVICE_DELAYED_AUTO_START_INFO info = {delayed != 0};
  return ChangeConfig2<Char>(service, SERVICE_CONFIG_DELAYED_AUTO_START_INFO, &info);
}

}  // namespace
}  // namespace service_control

using namespace service_control;

extern "C" {

DWORD SetServiceDescription(const char *serviceName, const char *description) {
  return SetDescription(serviceName, description);
}
DWORD SetServiceDescriptionW(const wchar_t *serviceName, const wchar_t *description) {
  return SetDescription(serviceName, description);
}

DWORD SetServiceFailureActions(const char *serviceName, DWORD resetPeriodSeconds,
                               const SC_ACTION *actions, DWORD actionCount,
                               int onNonCrashFailures) {
  return SetFailureActions(serviceName, resetPeriodSeconds, actions, actionCount,
                           onNonCrashFailures);
}
DWORD SetServiceFailureActionsW(const wchar_t *serviceName, DWORD resetPeriodSeconds,
                                const SC_ACTION *actions, DWORD actionCount,
                                int onNonCrashFailures) {
  return SetFailureActions(serviceName, resetPeriodSeconds, actions, actionCount,
                           onNonCrashFailures);
}

DWORD SetServiceDelayedAutoStart(const char *serviceName, int delayed) {
  return CodeResult(
      CodeOnService(serviceName, kConfigRights, ChangeDelayedAutoStart<char>, delayed));
}
DWORD SetServiceDelayedAutoStartW(const wchar_t *serviceName, int delayed) {
  return CodeResult(
      CodeOnService(serviceName, kConfigRights, ChangeDelayedAutoStart<wchar_t>, delayed));
}

}  // extern "C"
