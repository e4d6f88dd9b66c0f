// Registering, removing and reconfiguring a service, and reading its
// configuration back.
#include <mbstring.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "scm_session.h"
#include "service_control.h"

namespace {

const size_t kPathBytes = MAX_PATH;
const size_t kNameBytes = 100;
const DWORD kSpareBytes = 4;

// Records a stage failure: the code goes to the error out-parameter and stays
// the thread's last error once the handles are closed.
DWORD StageFailure(DWORD stage, DWORD code, DWORD *error, SC_HANDLE service, SC_HANDLE manager) {
  *error = code;
  CloseHandlesAndReturn(service, manager, ERROR_SUCCESS);
  SetLastError(code);
  return stage;
}

const char *NullIfEmpty(const char *text) { return text == NULL || *text == '\0' ? NULL : text; }

// Copies at most count - 1 bytes and terminates them: the bounded copy never
// splits a double-byte character, so one that does not fit whole before the
// terminator is left out rather than cut to a lone lead byte.
void CopyBounded(char *to, const char *from, size_t count) {
  _mbsnbcpy(reinterpret_cast<unsigned char *>(to),
            reinterpret_cast<const unsigned char *>(from == NULL ? "" : from), count - 1);
  to[count - 1] = '\0';
}

// Wraps the path in quotes where an end lacks one. Returns 0, or
// ERROR_FILENAME_EXCED_RANGE when the quoted form would not fit the 260-byte
// working copy; the buffer is then untouched.
DWORD QuotePath(char *path) {
  const size_t length = strlen(path);
  if (length == 0) return ERROR_SUCCESS;
  const bool front = path[0] == '"';
  const bool back = path[length - 1] == '"';
  if (front && back) return ERROR_SUCCESS;
  if (length + !front + !back > kPathBytes) return ERROR_FILENAME_EXCED_RANGE;
  unsigned char work[kPathBytes] = {0};
  _mbsnbcpy(work, reinterpret_cast<unsigned char *>(path), kPathBytes);
  if (!front) sprintf(path, "\"%s", reinterpret_cast<char *>(work));
  _mbsnbcpy(work, reinterpret_cast<unsigned char *>(path), kPathBytes);
  if (!back) sprintf(path, "%s\"", reinterpret_cast<char *>(work));
  return ERROR_SUCCESS;
}

DWORD Install(char *quotable, const char *path, const char *serviceName, const char *displayName,
              DWORD serviceType, DWORD startType, const char *dependencies, DWORD errorControl,
              const char *loadOrderGroup, const char *account, const char *password, DWORD *error) {
  if (error == NULL) {
    FailWith(ERROR_INVALID_PARAMETER);
    return SERVICE_STAGE_OPEN_MANAGER;
  }
  *error = ERROR_SUCCESS;
  if (path == NULL || serviceName == NULL || displayName == NULL) {
    return StageFailure(SERVICE_STAGE_OPEN_MANAGER, ERROR_INVALID_PARAMETER, error, NULL, NULL);
  }
  if (IsOverlongServiceName(serviceName)) {
    return StageFailure(SERVICE_STAGE_CREATE_SERVICE, ERROR_INVALID_NAME, error, NULL, NULL);
  }
  SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS);
  if (manager == NULL) {
    return StageFailure(SERVICE_STAGE_OPEN_MANAGER, GetLastError(), error, NULL, NULL);
  }
  if (quotable != NULL) {
    const DWORD refused = QuotePath(quotable);
    if (refused != ERROR_SUCCESS) {
      return StageFailure(SERVICE_STAGE_CREATE_SERVICE, refused, error, NULL, manager);
    }
  }
  SC_HANDLE service =
      CreateServiceA(manager, serviceName, displayName, SERVICE_ALL_ACCESS, serviceType, startType,
                     errorControl, path, NullIfEmpty(loadOrderGroup), NULL,
                     NullIfEmpty(dependencies), NullIfEmpty(account), NullIfEmpty(password));
  if (service == NULL) {
    return StageFailure(SERVICE_STAGE_CREATE_SERVICE, GetLastError(), error, NULL, manager);
  }
  return CloseHandlesAndReturn(service, manager, ERROR_SUCCESS);
}

// Copies the dependency list: the names up to the closing pair of zeros (its
// second zero not included), at most 100 bytes, never past the record.
void CopyDependencies(char *to, const char *list, const char *recordEnd) {
  if (list == NULL) {
    to[0] = '\0';
    to[1] = 1;
    return;
  }
  const size_t available = list < recordEnd ? static_cast<size_t>(recordEnd - list) : 1;
  size_t p = 0;
  // An empty list is a single zero byte: nothing follows it that belongs to it.
  if (list[0] != '\0') {
    while (p < kNameBytes - 1 && p + 1 < available && !(list[p] == '\0' && list[p + 1] == '\0')) {
      ++p;
    }
  }
  memcpy(to, list, p + 1);
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

DWORD InstallServiceUnquoted(const char *path, const char *serviceName, const char *displayName,
                             DWORD serviceType, DWORD startType, const char *dependencies,
                             DWORD errorControl, const char *loadOrderGroup, const char *account,
                             const char *password, DWORD *error) {
  return Install(NULL, path, serviceName, displayName, serviceType, startType, dependencies,
                 errorControl, loadOrderGroup, account, password, error);
}

DWORD DeleteServiceIfStopped(const char *serviceName, int stoppedOnly) {
  SC_HANDLE manager;
  SC_HANDLE service;
  DWORD result = OpenWithFullAccess(serviceName, &manager, &service);
  if (result != ERROR_SUCCESS) return result;
  if (stoppedOnly == 1) {
    SERVICE_STATUS status;
    if (!QueryServiceStatus(service, &status)) {
      return CloseHandlesAndReturn(service, manager, GetLastError());
    }
    if (status.dwCurrentState != SERVICE_STOPPED) {
      return CloseHandlesAndReturn(service, manager, ERROR_DEPENDENT_SERVICES_RUNNING);
    }
  }
  if (!DeleteService(service)) result = GetLastError();
  return CloseHandlesAndReturn(service, manager, result);
}

DWORD DeleteServiceByName(const char *serviceName) {
  return DeleteServiceIfStopped(serviceName, 0);
}

DWORD SetServiceStartType(const char *serviceName, DWORD startType) {
  // The platform takes this value as "leave it", which would report a change
  // that was never made.
  if (startType == SERVICE_NO_CHANGE) return FailWith(ERROR_INVALID_PARAMETER);
  SC_HANDLE manager;
  SC_HANDLE service;
  DWORD result = OpenWithFullAccess(serviceName, &manager, &service);
  if (result != ERROR_SUCCESS) return result;
  if (!ChangeServiceConfigA(service, SERVICE_NO_CHANGE, startType, SERVICE_NO_CHANGE, NULL, NULL,
                            NULL, NULL, NULL, NULL, NULL)) {
    result = GetLastError();
  }
  return CloseHandlesAndReturn(service, manager, result);
}

DWORD ReadServiceConfig(const char *serviceName, DWORD *serviceType, DWORD *startType,
                        DWORD *errorControl, DWORD *tag, char *path, char *loadOrderGroup,
                        char *dependencies, char *displayName, DWORD *error) {
  if (error == NULL) {
    FailWith(ERROR_INVALID_PARAMETER);
    return SERVICE_STAGE_OPEN_MANAGER;
  }
  *error = ERROR_SUCCESS;
  if (serviceName == NULL || serviceType == NULL || startType == NULL || errorControl == NULL ||
      tag == NULL || path == NULL || loadOrderGroup == NULL || dependencies == NULL ||
      displayName == NULL) {
    return StageFailure(SERVICE_STAGE_OPEN_MANAGER, ERROR_INVALID_PARAMETER, error, NULL, NULL);
  }
  if (IsOverlongServiceName(serviceName)) {
    return StageFailure(SERVICE_STAGE_OPEN_SERVICE, ERROR_INVALID_NAME, error, NULL, NULL);
  }
  SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT);
  if (manager == NULL) {
    return StageFailure(SERVICE_STAGE_OPEN_MANAGER, GetLastError(), error, NULL, NULL);
  }
  SC_HANDLE service = OpenServiceA(manager, serviceName, SERVICE_QUERY_CONFIG);
  if (service == NULL) {
    return StageFailure(SERVICE_STAGE_OPEN_SERVICE, GetLastError(), error, NULL, manager);
  }
  DWORD needed = 0;
  if (!QueryServiceConfigA(service, NULL, 0, &needed)) {
    const DWORD code = GetLastError();
    if (code != ERROR_INSUFFICIENT_BUFFER) {
      return StageFailure(SERVICE_STAGE_READ_CONFIG, code, error, service, manager);
    }
  }
  // malloc does not set the last error, so the code is the module's own; a
  // size that cannot take the spare bytes cannot be allocated either.
  if (needed > 0xFFFFFFFFu - kSpareBytes) {
    return StageFailure(SERVICE_STAGE_ALLOCATE, ERROR_NOT_ENOUGH_MEMORY, error, service, manager);
  }
  const DWORD size = needed + kSpareBytes;
  QUERY_SERVICE_CONFIGA *config = static_cast<QUERY_SERVICE_CONFIGA *>(malloc(size));
  if (config == NULL) {
    return StageFailure(SERVICE_STAGE_ALLOCATE, ERROR_NOT_ENOUGH_MEMORY, error, service, manager);
  }
  // The dependency scan may run to the end of the buffer: the spare bytes
  // and any gaps the platform leaves must not carry old heap contents out.
  memset(config, 0, size);
  if (!QueryServiceConfigA(service, config, size, &needed)) {
    const DWORD code = GetLastError();
    free(config);
    return StageFailure(SERVICE_STAGE_READ_CONFIG, code, error, service, manager);
  }
  *serviceType = config->dwServiceType;
  *startType = config->dwStartType;
  *errorControl = config->dwErrorControl;
  *tag = config->dwTagId;
  CopyBounded(path, config->lpBinaryPathName, kPathBytes);
  CopyBounded(loadOrderGroup, config->lpLoadOrderGroup, kNameBytes);
  CopyDependencies(dependencies, config->lpDependencies, reinterpret_cast<char *>(config) + size);
  CopyBounded(displayName, config->lpDisplayName, kNameBytes);
  free(config);
  return CloseHandlesAndReturn(service, manager, ERROR_SUCCESS);
}

}  // extern "C"
