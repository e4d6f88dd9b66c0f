// Reading a service's configuration into the caller's fixed buffers.
#include <stdlib.h>
#include <string.h>

#include "scm_session.h"
#include "service_control.h"

namespace {

const size_t kPathChars = MAX_PATH;
const size_t kNameChars = 100;
const DWORD kSpareBytes = 4;

// Copies the dependency list as whole names, each with its zero, as many as
// fit before the list's closing zero within 100 characters, and closes it
// with that zero (an empty list is two zeros); nothing behind the closing
// zero is written, and nothing past the record is read. A name cut would
// be another service's name, and a list without its closing pair would lead
// a caller that walks it past the buffer.
template <typename Char>
void CopyDependencies(Char *to, const Char *list, const Char *recordEnd) {
  if (list == NULL) {
    // The platform's null list, told apart from an empty one by the 1.
    to[0] = 0;
    to[1] = 1;
    return;
  }
  size_t kept = 0;
  for (const Char *name = list; name < recordEnd && *name != 0;) {
    const Char *end = name;
    while (end < recordEnd && *end != 0) ++end;
    const size_t through = static_cast<size_t>(end - list) + 1;
    if (end == recordEnd || through >= kNameChars) break;
    kept = through;
    name = end + 1;
  }
  memcpy(to, list, kept * sizeof(Char));
  to[kept] = 0;
  if (kept == 0) to[1] = 0;
}

// Reads the configuration record through an open service handle and copies
// it out. Returns 0 or a code, with *stage set to the stage of the failure.
template <typename Char>
DWORD ReadAndCopy(SC_HANDLE service, Stage *stage, DWORD *serviceType, DWORD *startType,
                  DWORD *errorControl, DWORD *tag, Char *path, Char *loadOrderGroup,
                  Char *dependencies, Char *displayName) {
  typedef ScmApi<Char> Api;
  DWORD needed = 0;
  if (!Api::QueryConfig(service, NULL, 0, &needed)) {
    const DWORD code = GetLastError();
    if (code != ERROR_INSUFFICIENT_BUFFER) return AtStage(stage, SERVICE_STAGE_READ_CONFIG, code);
  }
  // malloc does not set the last error, so the code is the module's own; a
  // size that cannot take the spare bytes cannot be allocated either.
  if (needed > 0xFFFFFFFFu - kSpareBytes) {
    return AtStage(stage, SERVICE_STAGE_ALLOCATE, ERROR_NOT_ENOUGH_MEMORY);
  }
  const DWORD size = needed + kSpareBytes;
  typename Api::Config *config = static_cast<typename Api::Config *>(malloc(size));
  if (config == NULL) return AtStage(stage, SERVICE_STAGE_ALLOCATE, ERROR_NOT_ENOUGH_MEMORY);
  // The dependency scan may run to the end of the buffer: the spare bytes
  // and any gaps the platform leaves must not carry old heap contents out.
  memset(config, 0, size);
  if (!Api::QueryConfig(service, config, size, &needed)) {
    const DWORD code = GetLastError();
    free(config);
    return AtStage(stage, SERVICE_STAGE_READ_CONFIG, code);
  }
  *serviceType = config->dwServiceType;
  *startType = config->dwStartType;
  *errorControl = config->dwErrorControl;
  *tag = config->dwTagId;
  Api::CopyBounded(path, config->lpBinaryPathName, kPathChars);
  Api::CopyBounded(loadOrderGroup, config->lpLoadOrderGroup, kNameChars);
  CopyDependencies<Char>(dependencies, config->lpDependencies,
                         reinterpret_cast<Char *>(config) + size / sizeof(Char));
  Api::CopyBounded(displayName, config->lpDisplayName, kNameChars);
  free(config);
  return ERROR_SUCCESS;
}

template <typename Char>
DWORD ReadConfig(const Char *serviceName, DWORD *serviceType, DWORD *startType, DWORD *errorControl,
                 DWORD *tag, Char *path, Char *loadOrderGroup, Char *dependencies,
                 Char *displayName, DWORD *error) {
  if (error == NULL) {
    FailWith(ERROR_INVALID_PARAMETER);
    return SERVICE_STAGE_OPEN_MANAGER;
  }
  Stage stage = {SERVICE_STAGE_OPEN_MANAGER};
  DWORD code = ERROR_INVALID_PARAMETER;
  if (serviceName != NULL && serviceType != NULL && startType != NULL && errorControl != NULL &&
      tag != NULL && path != NULL && loadOrderGroup != NULL && dependencies != NULL &&
      displayName != NULL) {
    code = WithService(serviceName, SC_MANAGER_CONNECT, SERVICE_QUERY_CONFIG, &stage,
                       [&](SC_HANDLE service) {
                         return ReadAndCopy(service, &stage, serviceType, startType, errorControl,
                                            tag, path, loadOrderGroup, dependencies, displayName);
                       });
  }
  return StageResult(stage, code, error);
}

}  // namespace

extern "C" {

DWORD ReadServiceConfig(const char *serviceName, DWORD *serviceType, DWORD *startType,
                        DWORD *errorControl, DWORD *tag, char *path, char *loadOrderGroup,
                        char *dependencies, char *displayName, DWORD *error) {
  return ReadConfig(serviceName, serviceType, startType, errorControl, tag, path, loadOrderGroup,
                    dependencies, displayName, error);
}
DWORD ReadServiceConfigW(const wchar_t *serviceName, DWORD *serviceType, DWORD *startType,
                         DWORD *errorControl, DWORD *tag, wchar_t *path, wchar_t *loadOrderGroup,
                         wchar_t *dependencies, wchar_t *displayName, DWORD *error) {
  return ReadConfig(serviceName, serviceType, startType, errorControl, tag, path, loadOrderGroup,
                    dependencies, displayName, error);
}

}  // extern "C"
