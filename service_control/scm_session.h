// The open-act-close sequence of every operation: open the local manager and
// the service, act, close the service and then the manager, and leave a
// failure's code as the thread's last error.
#ifndef SCM_SESSION_H
#define SCM_SESSION_H

#include <windows.h>

#include "scm_api.h"
#include "service_control.h"

// Sets result as the thread's last error and returns it.
DWORD FailWith(DWORD result);

// Closes the service handle, then the manager handle (either may be null), and
// returns result; a nonzero result is left as the thread's last error, since
// closing a handle may overwrite it.
DWORD CloseHandlesAndReturn(SC_HANDLE service, SC_HANDLE manager, DWORD result);

// True for a service name longer than any that a manager holds (256
// characters). Such a name is refused with ERROR_INVALID_NAME before anything
// is opened: Wine answers 1060 when it is opened and Windows refuses the name
// itself, and callers get one answer on both.
template <typename Char>
bool IsOverlongServiceName(const Char *serviceName) {
  return TextLength(serviceName) > 256;
}

// Where an operation failed, for the operations that report a stage.
struct Stage {
  DWORD value;
};

// Records the stage of a failure (stage may be null) and returns its code.
inline DWORD AtStage(Stage *stage, DWORD value, DWORD code) {
  if (stage != NULL) stage->value = value;
  return code;
}

// The result of an operation that reports a stage: 0, or the stage of the
// failure, with code in *error and as the last error.
DWORD StageResult(Stage stage, DWORD code, DWORD *error);

// Opens the local manager, runs act(manager) and closes the manager. Returns
// act's result, or the code of the failed open with stage->value set to
// SERVICE_STAGE_OPEN_MANAGER (stage may be null); a nonzero result is the
// last error on return.
template <typename Char, typename Act>
DWORD WithManager(DWORD managerAccess, Stage *stage, Act act) {
  SC_HANDLE manager = ScmApi<Char>::OpenManager(managerAccess);
  if (manager == NULL) return AtStage(stage, SERVICE_STAGE_OPEN_MANAGER, GetLastError());
  return CloseHandlesAndReturn(NULL, manager, act(manager));
}

// Opens the local manager and then the named service, runs act(service) and
// closes the service, then the manager. Returns act's result or the code of
// the failed open, with stage->value set to the stage of the open (stage may
// be null); a nonzero result is the last error on return. A null name is
// refused with ERROR_INVALID_PARAMETER (stage of the manager) and an overlong
// one with ERROR_INVALID_NAME (stage of the service), before anything is opened.
template <typename Char, typename Act>
DWORD WithService(const Char *serviceName, DWORD managerAccess, DWORD serviceAccess, Stage *stage,
                  Act act) {
  if (serviceName == NULL) {
    return AtStage(stage, SERVICE_STAGE_OPEN_MANAGER, FailWith(ERROR_INVALID_PARAMETER));
  }
  if (IsOverlongServiceName(serviceName)) {
    return AtStage(stage, SERVICE_STAGE_OPEN_SERVICE, FailWith(ERROR_INVALID_NAME));
  }
  return WithManager<Char>(managerAccess, stage, [&](SC_HANDLE manager) -> DWORD {
    SC_HANDLE service = ScmApi<Char>::OpenByName(manager, serviceName, serviceAccess);
    if (service == NULL) return AtStage(stage, SERVICE_STAGE_OPEN_SERVICE, GetLastError());
    const DWORD result = act(service);
    CloseServiceHandle(service);
    return result;
  });
}

// WithService with full access to the manager and the service.
template <typename Char, typename Act>
DWORD WithFullAccess(const Char *serviceName, Act act) {
  return WithService(serviceName, SC_MANAGER_ALL_ACCESS, SERVICE_ALL_ACCESS, NULL, act);
}

#endif
