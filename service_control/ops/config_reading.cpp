// Reading a service's configuration into the caller's fixed buffers.
#include "ops/config_reading.h"

#include <string.h>

#include "core/multi_string.h"
#include "core/scm_session.h"
#include "service_control.h"

namespace service_control {
namespace {

const size_t kPathChars = MAX_PATH;
const size_t kNameChars = SERVICE_CONFIG_TEXT_CHARS;

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
    const Char *end = NameEnd(name, recordEnd);
    const size_t through = static_cast<size_t>(end - list) + 1;
    if (end == recordEnd || through >= kNameChars) break;
    kept = through;
    name = end + 1;
  }
  if (kept == 0) ClearList(to);
  memcpy(to, list, kept * sizeof(Char));
  to[kept] = 0;
}

// Where the read puts what it found: the caller's values and buffers.
template <typename Char>
struct ConfigOutputs {
  DWORD *serviceType;
  DWORD *startType;
  DWORD *errorControl;
  DWORD *tag;
  Char *path;
  Char *loadOrderGroup;
  Char *dependencies;
  Char *displayName;
};

template <typename Char>
bool AllGiven(const ConfigOutputs<Char> &out) {
  return out.serviceType != NULL && out.startType != NULL && out.errorControl != NULL &&
         out.tag != NULL && out.path != NULL && out.loadOrderGroup != NULL &&
         out.dependencies != NULL && out.displayName != NULL;
}

// Reads the configuration record through an open service handle and copies
// it out.
template <typename Char>
Outcome ReadAndCopy(SC_HANDLE service, const ConfigOutputs<Char> &out) {
  HeapBuffer<typename ScmApi<Char>::Config> record;
  DWORD size = 0;
  const Outcome read = ReadConfigRecord<Char>(service, &record, &size);
  if (read.code != ERROR_SUCCESS) return read;
  const typename ScmApi<Char>::Config *config = record.records();
  *out.serviceType = config->dwServiceType;
  *out.startType = config->dwStartType;
  *out.errorControl = config->dwErrorControl;
  *out.tag = config->dwTagId;
  CopyBounded(out.path, config->lpBinaryPathName, kPathChars);
  CopyBounded(out.loadOrderGroup, config->lpLoadOrderGroup, kNameChars);
  CopyDependencies<Char>(out.dependencies, config->lpDependencies,
                         reinterpret_cast<const Char *>(config) + size / sizeof(Char));
  CopyBounded(out.displayName, config->lpDisplayName, kNameChars);
  return {kNoStage, ERROR_SUCCESS};
}

template <typename Char>
DWORD ReadConfig(const Char *serviceName, const ConfigOutputs<Char> &out, DWORD *error) {
  return StageResult(error, [&]() -> Outcome {
    if (!AllGiven(out)) return {kOpenManager, ERROR_INVALID_PARAMETER};
    const Access access = {SC_MANAGER_CONNECT, SERVICE_QUERY_CONFIG};
    return WithService(serviceName, access,
                       [&](SC_HANDLE service) { return ReadAndCopy(service, out); });
  });
}

}  // namespace
}  // namespace service_control

using namespace service_control;

extern "C" {

DWORD ReadServiceConfig(const char *serviceName, DWORD *serviceType, DWORD *startType,
                        DWORD *errorControl, DWORD *tag, char *path, char *loadOrderGroup,
                        char *dependencies, char *displayName, DWORD *error) {
  return ReadConfig(
      serviceName,
      {serviceType, startType, errorControl, tag, path, loadOrderGroup, dependencies, displayName},
      error);
}
DWORD ReadServiceConfigW(const wchar_t *serviceName, DWORD *serviceType, DWORD *startType,
                         DWORD *errorControl, DWORD *tag, wchar_t *path, wchar_t *loadOrderGroup,
                         wchar_t *dependencies, wchar_t *displayName, DWORD *error) {
  return ReadConfig(
      serviceName,
      {serviceType, startType, errorControl, tag, path, loadOrderGroup, dependencies, displayName},
      error);
}

}  // extern "C"
