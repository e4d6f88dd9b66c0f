// The open-act-close sequence of every operation, and the two exits that turn
// what came of it into the operation's result: a code, or a stage with its
// code. Both leave a failure's code as the thread's last error.
#ifndef SCM_SESSION_H
#define SCM_SESSION_H

#include <windows.h>

#include "core/owned.h"
#include "core/scm_api.h"
#include "core/text.h"
#include "service_control.h"

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
// of the failure with its code in *error and as the last error.
DWORD StageResult(DWORD *error, Outcome outcome);
// That of steps(); without an error out-parameter, steps does not run: the
// result is SERVICE_STAGE_OPEN_MANAGER, with ERROR_INVALID_PARAMETER as the
// last error.
template <typename Steps>
DWORD StageResult(DWORD *error, Steps steps) {
  return StageResult(error,
                     error == NULL ? Outcome{kOpenManager, ERROR_INVALID_PARAMETER} : steps());
}

// True for a service name longer than any that a manager holds (256
// characters). Such a name is refused with ERROR_INVALID_NAME before anything
// is opened: Wine answers 1060 when it is opened and Windows refuses the name
// itself, and callers get one answer on both.
template <typename Char>
bool IsOverlongServiceName(const Char *serviceName) {
  return TextLength(serviceName) > 256;
}

// Opens the local manager into manager. Returns the outcome: kNoStage with
// 0, or the failed open's.
template <typename Char>
Outcome OpenManager(DWORD access, ServiceHandle *manager) {
  manager->reset(ScmApi<Char>::OpenManager(access));
  if (manager->get() == NULL) return {kOpenManager, GetLastError()};
  return {kNoStage, ERROR_SUCCESS};
}

// The local manager and one service of it, opened in that order; the
// service is closed first when they go.
struct OpenedService {
  ServiceHandle manager;
  ServiceHandle service;
};

// Opens the local manager and then the named service into opened. Returns
// the outcome: kNoStage with 0, or the failed open's. A null name is
// refused with ERROR_INVALID_PARAMETER (stage of the manager) and an
// overlong one with ERROR_INVALID_NAME (stage of the service), before
// anything is opened.
template <typename Char>
Outcome OpenService(const Char *serviceName, Access access, OpenedService *opened) {
  if (serviceName == NULL) return {kOpenManager, ERROR_INVALID_PARAMETER};
  if (IsOverlongServiceName(serviceName)) return {kOpenService, ERROR_INVALID_NAME};
  const Outcome manager = OpenManager<Char>(access.manager, &opened->manager);
  if (manager.code != ERROR_SUCCESS) return manager;
  opened->service.reset(
      ScmApi<Char>::OpenByName(opened->manager.get(), serviceName, access.service));
  if (opened->service.get() == NULL) return {kOpenService, GetLastError()};
  return {kNoStage, ERROR_SUCCESS};
}

// Opens the local manager, runs act(manager) and closes the manager. Returns
// act's outcome, or that of the failed open.
template <typename Char, typename Act>
Outcome WithManager(DWORD access, Act act) {
  ServiceHandle manager;
  const Outcome opened = OpenManager<Char>(access, &manager);
  return opened.code != ERROR_SUCCESS ? opened : act(manager.get());
}

// Opens the local manager and then the named service as OpenService does,
// runs act(service, manager) and closes the service, then the manager.
// Returns act's outcome, or that of the failed open.
template <typename Char, typename Act>
Outcome WithServiceOf(const Char *serviceName, Access access, Act act) {
  OpenedService opened;
  const Outcome outcome = OpenService(serviceName, access, &opened);
  return outcome.code != ERROR_SUCCESS ? outcome : act(opened.service.get(), opened.manager.get());
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
