// A service's configuration record, read into a buffer of its own, and its
// start type alone, read from it and changed.
#ifndef CONFIG_READING_H
#define CONFIG_READING_H

#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include "core/scm_session.h"

namespace service_control {

// The record buffer is the size that the platform asked for plus these
// bytes: a configuration that grows by no more between the size query and
// the read still fits, and they stay zero, so that a dependency list that
// the platform does not close ends in them and not in what the heap held.
const DWORD kSpareRecordBytes = 4;

// Reads the service's configuration record into a buffer of record's own, of
// *size bytes, zeroed before the read. Returns kNoStage, or the step that
// failed (kReadConfig, kAllocate) with its code.
template <typename Char>
Outcome ReadConfigRecord(SC_HANDLE service, HeapBuffer<typename ScmApi<Char>::Config> *record,
                         DWORD *size) {
  DWORD needed = 0;
  if (!ScmApi<Char>::QueryConfig(service, NULL, 0, &needed)) {
    const DWORD code = GetLastError();
    if (code != ERROR_INSUFFICIENT_BUFFER) return {kReadConfig, code};
  }
  // malloc does not set the last error, so the code is the module's own; a
  // size that cannot take the spare bytes cannot be allocated either.
  if (needed > 0xFFFFFFFFu - kSpareRecordBytes) return {kAllocate, ERROR_NOT_ENOUGH_MEMORY};
  *size = needed + kSpareRecordBytes;
  record->reset(malloc(*size));
  if (record->get() == NULL) return {kAllocate, ERROR_NOT_ENOUGH_MEMORY};
  // The dependency scan may run to the end of the buffer: the spare bytes
  // and any gaps the platform leaves must not carry old heap contents out.
  memset(record->get(), 0, *size);
  if (!ScmApi<Char>::QueryConfig(service, record->records(), *size, &needed)) {
    return {kReadConfig, GetLastError()};
  }
  return {kNoStage, ERROR_SUCCESS};
}

// The service's start type, from its configuration record. Returns 0 or the
// code of the failure.
template <typename Char>
DWORD StartTypeOf(SC_HANDLE service, DWORD *startType) {
  HeapBuffer<typename ScmApi<Char>::Config> record;
  DWORD size = 0;
  const Outcome read = ReadConfigRecord<Char>(service, &record, &size);
  if (read.code == ERROR_SUCCESS) *startType = record.records()->dwStartType;
  return read.code;
}

// Changes the service's start type alone. Returns 0 or the code of the
// failed call.
template <typename Char>
DWORD ChangeStartType(SC_HANDLE service, DWORD startType) {
  const ServiceSettings<Char> onlyStartType = {
      NULL, NULL, SERVICE_NO_CHANGE, startType, SERVICE_NO_CHANGE, NULL, NULL, NULL, NULL, NULL};
  return ScmApi<Char>::Change(service, onlyStartType) ? ERROR_SUCCESS : GetLastError();
}

}  // namespace service_control

#endif
