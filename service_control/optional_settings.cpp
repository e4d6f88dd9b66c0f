// The optional settings of a service: its description, what the manager does
// when it fails, and whether an automatic start waits until the others.
#include "scm_session.h"
#include "service_control.h"

namespace {

// Changes one optional setting. Returns 0 or the code of the failed call; a
// call that fails without a code gives ERROR_NOT_SUPPORTED, never a success.
template <typename Char>
DWORD ChangeOptional(SC_HANDLE service, DWORD level, void *info) {
  SetLastError(ERROR_SUCCESS);
  if (ScmApi<Char>::ChangeOptional(service, level, info)) return ERROR_SUCCESS;
  const DWORD code = GetLastError();
  return code != ERROR_SUCCESS ? code : ERROR_NOT_SUPPORTED;
}

template <typename Char>
DWORD SetDescription(const Char *serviceName, const Char *description) {
  if (description == NULL) return FailWith(ERROR_INVALID_PARAMETER);
  return WithService(serviceName, SC_MANAGER_CONNECT, SERVICE_CHANGE_CONFIG, NULL,
                     [description](SC_HANDLE service) -> DWORD {
                       typename ScmApi<Char>::Description info = {const_cast<Char *>(description)};
                       return ChangeOptional<Char>(service, SERVICE_CONFIG_DESCRIPTION, &info);
                     });
}

template <typename Char>
DWORD SetFailureActions(const Char *serviceName, DWORD resetPeriodSeconds, const SC_ACTION *actions,
                        DWORD actionCount, int onNonCrashFailures) {
  if (actions == NULL && actionCount != 0) return FailWith(ERROR_INVALID_PARAMETER);
  // A restart action needs the right to start the service.
  return WithService(
      serviceName, SC_MANAGER_CONNECT, SERVICE_CHANGE_CONFIG | SERVICE_START, NULL,
      [&](SC_HANDLE service) -> DWORD {
        // The platform leaves the actions as they are for a null list, so no
        // actions go as an empty one.
        SC_ACTION none = {SC_ACTION_NONE, 0};
        typename ScmApi<Char>::FailureActions info = {
            resetPeriodSeconds, NULL, NULL, actionCount,
            actions == NULL ? &none : const_cast<SC_ACTION *>(actions)};
        const DWORD code = ChangeOptional<Char>(service, SERVICE_CONFIG_FAILURE_ACTIONS, &info);
        if (code != ERROR_SUCCESS) return code;
        SERVICE_FAILURE_ACTIONS_FLAG flag = {onNonCrashFailures != 0};
        return ChangeOptional<Char>(service, SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, &flag);
      });
}

template <typename Char>
DWORD SetDelayedAutoStart(const Char *serviceName, int delayed) {
  return WithService(serviceName, SC_MANAGER_CONNECT, SERVICE_CHANGE_CONFIG, NULL,
                     [delayed](SC_HANDLE service) -> DWORD {
                       SERVICE_DELAYED_AUTO_START_INFO info = {delayed != 0};
                       return ChangeOptional<Char>(service, SERVICE_CONFIG_DELAYED_AUTO_START_INFO,
                                                   &info);
                     });
}

}  // namespace

// The exported functions of one form: the ANSI ones with an empty suffix for
// char, the wide ones with W for wchar_t.
#define OPTIONAL_SETTINGS_EXPORTS(Char, suffix)                                             \
  DWORD SetServiceDescription##suffix(const Char *serviceName, const Char *description) {   \
    return SetDescription(serviceName, description);                                        \
  }                                                                                         \
  DWORD SetServiceFailureActions##suffix(const Char *serviceName, DWORD resetPeriodSeconds, \
                                         const SC_ACTION *actions, DWORD actionCount,       \
                                         int onNonCrashFailures) {                          \
    return SetFailureActions(serviceName, resetPeriodSeconds, actions, actionCount,         \
                             onNonCrashFailures);                                           \
  }                                                                                         \
  DWORD SetServiceDelayedAutoStart##suffix(const Char *serviceName, int delayed) {          \
    return SetDelayedAutoStart(serviceName, delayed);                                       \
  }

extern "C" {
OPTIONAL_SETTINGS_EXPORTS(char, )
OPTIONAL_SETTINGS_EXPORTS(wchar_t, W)
}  // extern "C"
