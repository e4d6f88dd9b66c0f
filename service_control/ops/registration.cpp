// Registering, removing and reconfiguring a service.
#include "core/scm_session.h"
#include "core/service_settings.h"
#include "ops/config_reading.h"
#include "service_control.h"

namespace service_control {
namespace {

template <typename Char>
const Char *NullIfEmpty(const Char *text) {
  return text == NULL || *text == 0 ? NULL : text;
}

// The longest path that the configuration read hands back whole: its
// buffer holds MAX_PATH characters with the terminator.
const size_t kLongestPath = MAX_PATH - 1;

// A path's length, and whether each of its ends is a double quote.
struct PathEnds {
  size_t length;
  bool front;
  bool back;
};

template <typename Char>
PathEnds EndsOf(const Char *path) {
  const size_t length = TextLength(path);
  return {length, length != 0 && path[0] == '"', length != 0 && path[length - 1] == '"'};
}

// Why the module will not quote this path: 0 if it will. ERROR_INVALID_NAME
// for a double quote before the last character of a path that it would
// wrap (no file name holds one), since that quote would close the added one
// early and leave the rest to be split at a space, and for a quoted program
// with arguments that ends in a backslash, which would escape the quote
// added behind it and change the last argument; ERROR_FILENAME_EXCED_RANGE
// for a quoted form that the read could not hand back whole.
template <typename Char>
DWORD QuotingRefusal(const Char *path) {
  const PathEnds ends = EndsOf(path);
  if (ends.front && !ends.back && path[ends.length - 1] == '\\') return ERROR_INVALID_NAME;
  if (!ends.front) {
    // Its first character is no quote; its last one may be.
    for (size_t i = 1; i + 1 < ends.length; ++i) {
      if (path[i] == '"') return ERROR_INVALID_NAME;
    }
  }
  const size_t added = ends.front && ends.back ? 0 : !ends.front + !ends.back;
  return ends.length + added > kLongestPath ? ERROR_FILENAME_EXCED_RANGE : ERROR_SUCCESS;
}

// Wraps a path that QuotingRefusal accepts in quotes where an end lacks one.
template <typename Char>
void QuotePath(Char *path) {
  const PathEnds ends = EndsOf(path);
  if (ends.length == 0 || (ends.front && ends.back)) return;
  Char work[MAX_PATH];
  CopyBounded(work, path, MAX_PATH);
  Char *end = path;
  if (!ends.front) *end++ = '"';
  for (const Char *from = work; *from != 0;) *end++ = *from++;
  if (!ends.back) *end++ = '"';
  *end = 0;
}

// The settings with their empty optional texts as null, which the platform
// takes as none; a reconfiguration takes every empty text so, as "leave it".
template <typename Char>
ServiceSettings<Char> EmptyAsNull(ServiceSettings<Char> settings, bool everyText) {
  settings.loadOrderGroup = NullIfEmpty(settings.loadOrderGroup);
  settings.dependencies = NullIfEmpty(settings.dependencies);
  settings.account = NullIfEmpty(settings.account);
  settings.password = NullIfEmpty(settings.password);
  if (everyText) {
    settings.displayName = NullIfEmpty(settings.displayName);
    settings.path = NullIfEmpty(settings.path);
  }
  return settings;
}

// Creates the service; quotable, when not null, is the path's buffer, quoted
// once the manager is open.
template <typename Char>
DWORD Install(Char *quotable, const ServiceSettings<Char> &settings, DWORD *error) {
  return StageResult(error, [&]() -> Outcome {
    if (settings.path == NULL || settings.name == NULL || settings.displayName == NULL) {
      return {kOpenManager, ERROR_INVALID_PARAMETER};
    }
    if (IsOverlongServiceName(settings.name)) return {kCreateService, ERROR_INVALID_NAME};
    if (quotable != NULL) {
      const DWORD refused = QuotingRefusal(quotable);
      if (refused != ERROR_SUCCESS) return {kCreateService, refused};
    }
    return WithManager<Char>(SC_MANAGER_ALL_ACCESS, [&](SC_HANDLE manager) -> Outcome {
      if (quotable != NULL) QuotePath(quotable);
      const ServiceHandle service(ScmApi<Char>::Create(manager, EmptyAsNull(settings, false)));
      return {kCreateService, service.get() == NULL ? GetLastError() : ERROR_SUCCESS};
    });
  });
}

// Changes the service in place; a path given is quoted in its buffer once the
// service is open.
template <typename Char>
DWORD Reconfigure(Char *path, const ServiceSettings<Char> &settings, DWORD *error) {
  return StageResult(error, [&]() -> Outcome {
    if (settings.name == NULL) return {kOpenManager, ERROR_INVALID_PARAMETER};
    // The install's refusals, so that an updater gets one answer from both.
    if (IsOverlongServiceName(settings.name)) return {kCreateService, ERROR_INVALID_NAME};
    const DWORD refused = path != NULL ? QuotingRefusal(path) : ERROR_SUCCESS;
    if (refused != ERROR_SUCCESS) return {kCreateService, refused};
    const Access access = {SC_MANAGER_CONNECT, SERVICE_CHANGE_CONFIG};
    return WithService(settings.name, access, [&](SC_HANDLE service) -> Outcome {
      if (path != NULL) QuotePath(path);
      const BOOL changed = ScmApi<Char>::Change(service, EmptyAsNull(settings, true));
      return {kChangeConfig, changed ? ERROR_SUCCESS : GetLastError()};
    });
  });
}

DWORD DeleteIfStopped(SC_HANDLE service, int stoppedOnly) {
  if (stoppedOnly == 1) {
    SERVICE_STATUS status;
    if (!QueryServiceStatus(service, &status)) return GetLastError();
    if (status.dwCurrentState != SERVICE_STOPPED) return ERROR_DEPENDENT_SERVICES_RUNNING;
  }
  return DeleteService(service) ? ERROR_SUCCESS : GetLastError();
}

template <typename Char>
DWORD SetStartType(const Char *serviceName, DWORD startType) {
  // The platform takes this value as "leave it", which would report a change
  // that was never made.
  if (startType == SERVICE_NO_CHANGE) return CodeResult(ERROR_INVALID_PARAMETER);
  return CodeResult(CodeOnService(serviceName, kFullAccess, ChangeStartType<Char>, startType));
}

}  // namespace
}  // namespace service_control

using namespace service_control;

extern "C" {

DWORD InstallServiceQuoted(char *path, const char *serviceName, const char *displayName,
                           DWORD serviceType, DWORD startType, const char *dependencies,
                           DWORD errorControl, const char *loadOrderGroup, const char *account,
                           const char *password, DWORD *error) {
  return Install(path,
                 {serviceName, displayName, serviceType, startType, errorControl, path,
                  loadOrderGroup, dependencies, account, password},
                 error);
}
DWORD InstallServiceQuotedW(wchar_t *path, const wchar_t *serviceName, const wchar_t *displayName,
                            DWORD serviceType, DWORD startType, const wchar_t *dependencies,
                            DWORD errorControl, const wchar_t *loadOrderGroup,
                            const wchar_t *account, const wchar_t *password, DWORD *error) {
  return Install(path,
                 {serviceName, displayName, serviceType, startType, errorControl, path,
                  loadOrderGroup, dependencies, account, password},
                 error);
}

DWORD InstallServiceUnquoted(const char *path, const char *serviceName, const char *displayName,
                             DWORD serviceType, DWORD startType, const char *dependencies,
                             DWORD errorControl, const char *loadOrderGroup, const char *account,
                             const char *password, DWORD *error) {
  return Install<char>(NULL,
                       {serviceName, displayName, serviceType, startType, errorControl, path,
                        loadOrderGroup, dependencies, account, password},
                       error);
}
DWORD InstallServiceUnquotedW(const wchar_t *path, const wchar_t *serviceName,
                              const wchar_t *displayName, DWORD serviceType, DWORD startType,
                              const wchar_t *dependencies, DWORD errorControl,
                              const wchar_t *loadOrderGroup, const wchar_t *account,
                              const wchar_t *password, DWORD *error) {
  return Install<wchar_t>(NULL,
                          {serviceName, displayName, serviceType, startType, errorControl, path,
                           loadOrderGroup, dependencies, account, password},
                          error);
}

DWORD ReconfigureServiceQuoted(char *path, const char *serviceName, const char *displayName,
                               DWORD serviceType, DWORD startType, const char *dependencies,
                               DWORD errorControl, const char *loadOrderGroup, const char *account,
                               const char *password, DWORD *error) {
  return Reconfigure(path,
                     {serviceName, displayName, serviceType, startType, errorControl, path,
                      loadOrderGroup, dependencies, account, password},
                     error);
}
DWORD ReconfigureServiceQuotedW(wchar_t *path, const wchar_t *serviceName,
                                const wchar_t *displayName, DWORD serviceType, DWORD startType,
                                const wchar_t *dependencies, DWORD errorControl,
                                const wchar_t *loadOrderGroup, const wchar_t *account,
                                const wchar_t *password, DWORD *error) {
  return Reconfigure(path,
                     {serviceName, displayName, serviceType, startType, errorControl, path,
                      loadOrderGroup, dependencies, account, password},
                     error);
}

DWORD DeleteServiceIfStopped(const char *serviceName, int stoppedOnly) {
  return CodeResult(CodeOnService(serviceName, kFullAccess, DeleteIfStopped, stoppedOnly));
}
DWORD DeleteServiceIfStoppedW(const wchar_t *serviceName, int stoppedOnly) {
  return CodeResult(CodeOnService(serviceName, kFullAccess, DeleteIfStopped, stoppedOnly));
}

DWORD DeleteServiceByName(const char *serviceName) {
  return CodeResult(CodeOnService(serviceName, kFullAccess, DeleteIfStopped, 0));
}
DWORD DeleteServiceByNameW(const wchar_t *serviceName) {
  return CodeResult(CodeOnService(serviceName, kFullAccess, DeleteIfStopped, 0));
}

DWORD SetServiceStartType(const char *serviceName, DWORD startType) {
  return SetStartType(serviceName, startType);
}
DWORD SetServiceStartTypeW(const wchar_t *serviceName, DWORD startType) {
  return SetStartType(serviceName, startType);
}

}  // extern "C"
