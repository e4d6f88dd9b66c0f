// Registering, removing and reconfiguring a service.
#include "scm_session.h"
#include "service_control.h"

namespace {

template <typename Char>
const Char *NullIfEmpty(const Char *text) {
  return text == NULL || *text == 0 ? NULL : text;
}

// The longest path that the configuration read hands back whole: its
// buffer holds MAX_PATH characters with the terminator.
const size_t kLongestPath = MAX_PATH - 1;

// Why the module will not quote this path: 0 if it will. ERROR_INVALID_NAME
// for a double quote before the last character of a path that it would
// wrap (no file name holds one), since that quote would close the added one
// early and leave the rest to be split at a space; ERROR_FILENAME_EXCED_RANGE
// for a quoted form that the read could not hand back whole.
template <typename Char>
DWORD QuotingRefusal(const Char *path) {
  const Char quote = '"';
  const size_t length = TextLength(path);
  if (length == 0) return ERROR_SUCCESS;
  const bool front = path[0] == quote;
  const bool back = path[length - 1] == quote;
  if (!front) {
    for (size_t i = 0; i + 1 < length; ++i) {
      if (path[i] == quote) return ERROR_INVALID_NAME;
    }
  }
  const size_t added = front && back ? 0 : !front + !back;
  return length + added > kLongestPath ? ERROR_FILENAME_EXCED_RANGE : ERROR_SUCCESS;
}

// Wraps a path that QuotingRefusal accepts in quotes where an end lacks one.
template <typename Char>
void QuotePath(Char *path) {
  const Char quote = '"';
  const size_t length = TextLength(path);
  if (length == 0) return;
  const bool front = path[0] == quote;
  const bool back = path[length - 1] == quote;
  if (front && back) return;
  Char work[MAX_PATH];
  ScmApi<Char>::CopyBounded(work, path, MAX_PATH);
  Char *end = path;
  if (!front) *end++ = quote;
  for (const Char *from = work; *from != 0;) *end++ = *from++;
  if (!back) *end++ = quote;
  *end = 0;
}

template <typename Char>
DWORD Install(Char *quotable, const Char *path, const Char *serviceName, const Char *displayName,
              DWORD serviceType, DWORD startType, const Char *dependencies, DWORD errorControl,
              const Char *loadOrderGroup, const Char *account, const Char *password, DWORD *error) {
  if (error == NULL) {
    FailWith(ERROR_INVALID_PARAMETER);
    return SERVICE_STAGE_OPEN_MANAGER;
  }
  Stage stage = {SERVICE_STAGE_OPEN_MANAGER};
  if (path == NULL || serviceName == NULL || displayName == NULL) {
    return StageResult(stage, ERROR_INVALID_PARAMETER, error);
  }
  stage.value = SERVICE_STAGE_CREATE_SERVICE;
  if (IsOverlongServiceName(serviceName)) return StageResult(stage, ERROR_INVALID_NAME, error);
  const DWORD refused = quotable != NULL ? QuotingRefusal(path) : ERROR_SUCCESS;
  if (refused != ERROR_SUCCESS) return StageResult(stage, refused, error);
  stage.value = SERVICE_STAGE_OPEN_MANAGER;
  const DWORD code =
      WithManager<Char>(SC_MANAGER_ALL_ACCESS, &stage, [&](SC_HANDLE manager) -> DWORD {
        stage.value = SERVICE_STAGE_CREATE_SERVICE;
        if (quotable != NULL) QuotePath(quotable);
        SC_HANDLE service = ScmApi<Char>::Create(
            manager, serviceName, displayName, serviceType, startType, errorControl, path,
            NullIfEmpty(loadOrderGroup), NullIfEmpty(dependencies), NullIfEmpty(account),
            NullIfEmpty(password));
        if (service == NULL) return GetLastError();
        CloseServiceHandle(service);
        return ERROR_SUCCESS;
      });
  return StageResult(stage, code, error);
}

template <typename Char>
DWORD Reconfigure(Char *path, const Char *serviceName, const Char *displayName, DWORD serviceType,
                  DWORD startType, const Char *dependencies, DWORD errorControl,
                  const Char *loadOrderGroup, const Char *account, const Char *password,
                  DWORD *error) {
  if (error == NULL) {
    FailWith(ERROR_INVALID_PARAMETER);
    return SERVICE_STAGE_OPEN_MANAGER;
  }
  Stage stage = {SERVICE_STAGE_OPEN_MANAGER};
  if (serviceName == NULL) return StageResult(stage, ERROR_INVALID_PARAMETER, error);
  // The install's refusal, so that an updater gets one answer from both.
  stage.value = SERVICE_STAGE_CREATE_SERVICE;
  if (IsOverlongServiceName(serviceName)) return StageResult(stage, ERROR_INVALID_NAME, error);
  const DWORD refused = path != NULL ? QuotingRefusal(path) : ERROR_SUCCESS;
  if (refused != ERROR_SUCCESS) return StageResult(stage, refused, error);
  const DWORD code =
      WithService(serviceName, SC_MANAGER_CONNECT, SERVICE_CHANGE_CONFIG, &stage,
                  [&](SC_HANDLE service) -> DWORD {
                    if (path != NULL) QuotePath(path);
                    stage.value = SERVICE_STAGE_CHANGE_CONFIG;
                    return ScmApi<Char>::Change(service, serviceType, startType, errorControl,
                                                NullIfEmpty(path), NullIfEmpty(loadOrderGroup),
                                                NullIfEmpty(dependencies), NullIfEmpty(account),
                                                NullIfEmpty(password), NullIfEmpty(displayName))
                               ? ERROR_SUCCESS
                               : GetLastError();
                  });
  return StageResult(stage, code, error);
}

template <typename Char>
DWORD DeleteIfStopped(const Char *serviceName, int stoppedOnly) {
  return WithFullAccess(serviceName, [stoppedOnly](SC_HANDLE service) -> DWORD {
    if (stoppedOnly == 1) {
      SERVICE_STATUS status;
      if (!QueryServiceStatus(service, &status)) return GetLastError();
      if (status.dwCurrentState != SERVICE_STOPPED) return ERROR_DEPENDENT_SERVICES_RUNNING;
    }
    return DeleteService(service) ? ERROR_SUCCESS : GetLastError();
  });
}

template <typename Char>
DWORD SetStartType(const Char *serviceName, DWORD startType) {
  // The platform takes this value as "leave it", which would report a change
  // that was never made.
  if (startType == SERVICE_NO_CHANGE) return FailWith(ERROR_INVALID_PARAMETER);
  return WithFullAccess(serviceName, [startType](SC_HANDLE service) -> DWORD {
    return ScmApi<Char>::Change(service, SERVICE_NO_CHANGE, startType, SERVICE_NO_CHANGE, NULL,
                                NULL, NULL, NULL, NULL, NULL)
               ? ERROR_SUCCESS
               : GetLastError();
  });
}

}  // namespace

extern "C" {

DWORD InstallServiceQuoted(char *path, const char *serviceName, const char *displayName,
                           DWORD serviceType, DWORD startType, const char *dependencies,
                           DWORD errorControl, const char *loadOrderGroup, const char *account,
                           const char *password, DWORD *error) {
  return Install(path, path, serviceName, displayName, serviceType, startType, dependencies,
                 errorControl, loadOrderGroup, account, password, error);
}
DWORD InstallServiceQuotedW(wchar_t *path, const wchar_t *serviceName, const wchar_t *displayName,
                            DWORD serviceType, DWORD startType, const wchar_t *dependencies,
                            DWORD errorControl, const wchar_t *loadOrderGroup,
                            const wchar_t *account, const wchar_t *password, DWORD *error) {
  return Install(path, path, serviceName, displayName, serviceType, startType, dependencies,
                 errorControl, loadOrderGroup, account, password, error);
}

DWORD InstallServiceUnquoted(const char *path, const char *serviceName, const char *displayName,
                             DWORD serviceType, DWORD startType, const char *dependencies,
                             DWORD errorControl, const char *loadOrderGroup, const char *account,
                             const char *password, DWORD *error) {
  return Install<char>(NULL, path, serviceName, displayName, serviceType, startType, dependencies,
                       errorControl, loadOrderGroup, account, password, error);
}
DWORD InstallServiceUnquotedW(const wchar_t *path, const wchar_t *serviceName,
                              const wchar_t *displayName, DWORD serviceType, DWORD startType,
                              const wchar_t *dependencies, DWORD errorControl,
                              const wchar_t *loadOrderGroup, const wchar_t *account,
                              const wchar_t *password, DWORD *error) {
  return Install<wchar_t>(NULL, path, serviceName, displayName, serviceType, startType,
                          dependencies, errorControl, loadOrderGroup, account, password, error);
}

DWORD ReconfigureServiceQuoted(char *path, const char *serviceName, const char *displayName,
                               DWORD serviceType, DWORD startType, const char *dependencies,
                               DWORD errorControl, const char *loadOrderGroup, const char *account,
                               const char *password, DWORD *error) {
  return Reconfigure(path, serviceName, displayName, serviceType, startType, dependencies,
                     errorControl, loadOrderGroup, account, password, error);
}
DWORD ReconfigureServiceQuotedW(wchar_t *path, const wchar_t *serviceName,
                                const wchar_t *displayName, DWORD serviceType, DWORD startType,
                                const wchar_t *dependencies, DWORD errorControl,
                                const wchar_t *loadOrderGroup, const wchar_t *account,
                                const wchar_t *password, DWORD *error) {
  return Reconfigure(path, serviceName, displayName, serviceType, startType, dependencies,
                     errorControl, loadOrderGroup, account, password, error);
}

DWORD DeleteServiceIfStopped(const char *serviceName, int stoppedOnly) {
  return DeleteIfStopped(serviceName, stoppedOnly);
}
DWORD DeleteServiceIfStoppedW(const wchar_t *serviceName, int stoppedOnly) {
  return DeleteIfStopped(serviceName, stoppedOnly);
}

DWORD DeleteServiceByName(const char *serviceName) { return DeleteIfStopped(serviceName, 0); }
DWORD DeleteServiceByNameW(const wchar_t *serviceName) { return DeleteIfStopped(serviceName, 0); }

DWORD SetServiceStartType(const char *serviceName, DWORD startType) {
  return SetStartType(serviceName, startType);
}
DWORD SetServiceStartTypeW(const wchar_t *serviceName, DWORD startType) {
  return SetStartType(serviceName, startType);
}

}  // extern "C"
