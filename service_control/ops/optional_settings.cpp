// The optional settings of a service: its description, what the manager does
// when it fails, and whether an automatic start waits until the others.
#include "core/scm_session.h"
#include "ops/failure_actions.h"
#include "service_control.h"

namespace service_control {
namespace {

const Access kConfigRights = {SC_MANAGER_CONNECT, SERVICE_CHANGE_CONFIG};
// A restart action needs the right to start the service.
const Access kRecoveryRights = {SC_MANAGER_CONNECT, SERVICE_CHANGE_CONFIG | SERVICE_START};

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
