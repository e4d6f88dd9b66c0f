// The open-act-close sequence of every operation, and the two exits that turn
// what came of it into the operation's result: a code, or a stage with its
// code. Both leave a failure's code as the thread's last error.
#ifndef SCM_SESSION_H
#define SCM_SESSION_H

#include <windows.h>

#include "owned.h"
#include "scm_api.h"
#include "service_control.h"
#include "text.h"

namespace service_control {

// The step of an operation: where a failure is reported, for the operations
// that report a stage.
enum Stage : DWORD {
  kNoStage = 0,  // for the operations that report only a code
  kOpenManager = SERVICE_STAGE_OPEN_MANAGER,
  kOpenService = SERVICE_STAGE_OPEN_SERVICE,
  kCreateService = SERVICE_STAGE_CREATE_SERVICE,
  kReadConfig = SERVICE_STAGE_READ_CONFIG,
  kAllocate = SERVICE_STAGE_ALLOCATE,
  kChangeConfig = SERVICE_STAGE_CHANGE_CONFIG,
};

// What an operation came to: code 0, or the step that failed and its code.
struct Outcome {
  Stage stage;
  DWORD code;
};

// The rights that an operation asks of the manager and of the service.
struct Access {
  DWORD manager;
  DWORD service;
};

const Access kFullAccess = {SC_MANAGER_ALL_ACCESS, SERVICE_ALL_ACCESS};

// The exit of the operations that report a code: returns code, and leaves
// it as the last error when it is not 0.
DWORD CodeResult(DWORD code);

// The exit of the operations that report a stage: returns 0, or the stage
// of the failure with its code in *error and as the last error. Without an
// error out-parameter, steps does not run: the result is
// SERVICE_STAGE_OPEN_MANAGER, with ERROR_INVALID_PARAMETER as the last error.
DWORD StageResult(Outcome outcome, DWORD *error);
template <typename Steps>
DWORD StageResult(DWORD *error, Steps steps) {
  return StageResult(error == NULL ? Outcome{kOpenManager, ERROR_INVALID_PARAMETER} : steps(),
                     error);
}

// True for a service name longer than any that a manager holds (256
// characters). Such a name is refused with ERROR_INVALID_NAME before anything
// is opened: Wine answers 1060 when it is opened and Windows refuses the name
// itself, and callers get one answer on both.
template <typename Char>
bool IsOverlongServiceName(const Char *serviceName) {
  return TextLength(serviceName) > 256;
}

// Opens the local manager, runs act(manager) and closes the manager. Returns
// act's outcome, or that of the failed open.
template <typename Char, typename Act>
Outcome WithManager(DWORD access, Act act) {
  const ServiceHandle manager(ScmApi<Char>::OpenManager(access));
  if (manager.get() == NULL) return {kOpenManager, GetLastError()};
  return act(manager.get());
}

// Opens the local manager and then the named service, runs
// act(service, manager) and closes the service, then the manager. Returns
// act's outcome, or that of the failed open. A null name is refused with
// ERROR_INVALID_PARAMETER (stage of the manager) and an overlong one with
// ERROR_INVALID_NAME (stage of the service), before anything is opened.
template <typename Char, typename Act>
Outcome WithServiceOf(const Char *serviceName, Access access, Act act) {
  if (serviceName == NULL) return {kOpenManager, ERROR_INVALID_PARAMETER};
  if (IsOverlongServiceName(serviceName)) return {kOpenService, ERROR_INVALID_NAME};
  return WithManager<Char>(access.manager, [&](SC_HANDLE manager) -> Outcome {
    const ServiceHandle service(ScmApi<Char>::OpenByName(manager, serviceName, access.service));
    if (service.get() == NULL) return {kOpenService, GetLastError()};
    return act(service.get(), manager);
  });
}

// WithServiceOf for an act(service) that needs nothing more of the manager.
template <typename Char, typename Act>
Outcome WithService(const Char *serviceName, Access access, Act act) {
  return WithServiceOf(serviceName, access,
                       [&](SC_HANDLE service, SC_HANDLE) { return act(service); });
}

// The code of body(service, arguments...) on the named service, opened with
// access, or that of the failed open.
template <typename Char, typename... Parameters, typename... Arguments>
DWORD CodeOnService(const Char *serviceName, Access access, DWORD (*body)(SC_HANDLE, Parameters...),
                    Arguments... arguments) {
  return WithService(serviceName, access,
                     [&](SC_HANDLE service) {
                       return Outcome{kNoStage, body(service, arguments...)};
                     })
      .code;
}

}  // namespace service_control

#endif
