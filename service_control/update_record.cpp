// Stopping for an update what runs, and putting back after it exactly what
// ran, through a record that the updater keeps: a service and its running
// dependents, each stopped until its whole process tree has exited, ended at
// the deadline on request, and held disabled meanwhile.
//
// The record is one line of printable characters closed by a zero:
//   SCU1/<count>;<entry>;<entry>...
// with an entry for the service first, then one for each dependent in the
// order of their stop: <R or S: ran or not><K or -: its processes were
// ended><start type>=<name>. A name's characters outside the printable
// ASCII ones, and '%', ';' and '=', are written %XX (a byte, or a
// UTF-16 unit below 0x100) or %uXXXX (a unit above).
#include "config_reading.h"
#include "process_tree.h"
#include "service_control.h"
#include "update_steps.h"

namespace service_control {
namespace {

const char kRecordTag[] = "SCU1/";
const size_t kLongestName = 256;

// What the stop asks of each service, and of the service itself besides;
// SERVICE_CHANGE_CONFIG too where it holds them disabled.
const DWORD kStopForUpdateRights = SERVICE_QUERY_STATUS | SERVICE_QUERY_CONFIG | SERVICE_STOP;
const DWORD kRestoreRights = SERVICE_CHANGE_CONFIG | SERVICE_START | SERVICE_QUERY_STATUS;

template <typename Char>
struct RecordedService {
  Char name[kLongestName + 1];
  bool ran;
  bool ended;
  DWORD startType;
  WCHAR folder[MAX_PATH];  // whose programs its stop waits for; empty for none
};

// Writes the record into out while it has room; counts every character.
template <typename Char>
struct RecordWriter {
  Char *out;
  size_t room;
  size_t length;
  void Put(unsigned unit) {
    if (length < room) out[length] = static_cast<Char>(unit);
    ++length;
  }
  void Put(const char *text) {
    while (*text != 0) Put(static_cast<unsigned char>(*text++));
  }
  void PutNumber(unsigned long value) {
    if (value >= 10) PutNumber(value / 10);
    Put('0' + static_cast<unsigned>(value % 10));
  }
  void PutHex(unsigned value, int digits) {
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) {
      Put("0123456789ABCDEF"[(value >> shift) & 0xF]);
    }
  }
};

bool IsPlain(unsigned unit) {
  return unit > 0x20 && unit < 0x7F && unit != '%' && unit != ';' && unit != '=';
}

template <typename Char>
unsigned UnitOf(Char c) {
  return sizeof(Char) == 1 ? static_cast<unsigned char>(c) : static_cast<unsigned>(c);
}

// The record's length with its zero; written into record, as much as fits
// in size characters.
template <typename Char>
size_t WriteRecord(const RecordedService<Char> *services, DWORD count, Char *record, size_t size) {
  RecordWriter<Char> writer = {record, size, 0};
  writer.Put(kRecordTag);
  writer.PutNumber(count);
  for (DWORD i = 0; i < count; ++i) {
    const RecordedService<Char> &service = services[i];
    writer.Put(';');
    writer.Put(service.ran ? 'R' : 'S');
    writer.Put(service.ended ? 'K' : '-');
    writer.PutNumber(service.startType);
    writer.Put('=');
    for (const Char *at = service.name; *at != 0; ++at) {
      const unsigned unit = UnitOf(*at);
      if (IsPlain(unit)) {
        writer.Put(unit);
      } else if (unit < 0x100) {
        writer.Put('%');
        writer.PutHex(unit, 2);
      } else {
        writer.Put("%u");
        writer.PutHex(unit, 4);
      }
    }
  }
  writer.Put(0u);
  return writer.length;
}

// Reads a record back; every malformed or cut one is refused.
template <typename Char>
struct RecordReader {
  const Char *at;
  bool Take(unsigned unit) {
    if (UnitOf(*at) != unit) return false;
    ++at;
    return true;
  }
  // The value of the digit at, in hexadecimal (upper case); 16 for none.
  unsigned Digit() const {
    const unsigned unit = UnitOf(*at);
    return unit >= '0' && unit <= '9'   ? unit - '0'
           : unit >= 'A' && unit <= 'F' ? unit - 'A' + 10
                                        : 16;
  }
  bool TakeNumber(unsigned long most, unsigned long *value) {
    if (Digit() >= 10) return false;
    *value = 0;
    for (; Digit() < 10; ++at) {
      *value = *value * 10 + Digit();
      if (*value > most) return false;
    }
    return true;
  }
  bool TakeHex(int digits, unsigned *value) {
    *value = 0;
    for (int i = 0; i < digits; ++i, ++at) {
      if (Digit() == 16) return false;
      *value = *value * 16 + Digit();
    }
    return true;
  }
  bool TakeName(Char *name) {
    size_t length = 0;
    while (*at != 0 && UnitOf(*at) != ';') {
      unsigned unit = UnitOf(*at);
      if (unit == '%') {
        ++at;
        const bool wide = sizeof(Char) > 1 && Take('u');
        if (!TakeHex(wide ? 4 : 2, &unit) || (wide && unit < 0x100)) return false;
      } else if (!IsPlain(unit)) {
        return false;
      } else {
        ++at;
      }
      if (unit == 0 || length == kLongestName) return false;
      name[length++] = static_cast<Char>(unit);
    }
    name[length] = 0;
    return length != 0;
  }
};

// Reads the record into services, of *count entries. Returns 0,
// ERROR_INVALID_DATA for a record that is not of this form, or
// ERROR_NOT_ENOUGH_MEMORY.
template <typename Char>
DWORD ReadRecord(const Char *record, HeapBuffer<RecordedService<Char>> *services, DWORD *count) {
  RecordReader<Char> reader = {record};
  for (const char *tag = kRecordTag; *tag != 0; ++tag) {
    if (!reader.Take(static_cast<unsigned char>(*tag))) return ERROR_INVALID_DATA;
  }
  unsigned long entries;
  // Each entry takes at least six characters.
  if (!reader.TakeNumber(TextLength(record) / 6, &entries) || entries == 0) {
    return ERROR_INVALID_DATA;
  }
  services->reset(malloc(entries * sizeof(RecordedService<Char>)));
  if (services->get() == NULL) return ERROR_NOT_ENOUGH_MEMORY;
  for (unsigned long i = 0; i < entries; ++i) {
    RecordedService<Char> *service = &services->records()[i];
    unsigned long startType;
    if (!reader.Take(';')) return ERROR_INVALID_DATA;
    service->ran = reader.Take('R');
    if (!service->ran && !reader.Take('S')) return ERROR_INVALID_DATA;
    service->ended = reader.Take('K');
    if ((!service->ended && !reader.Take('-')) ||
        !reader.TakeNumber(SERVICE_DISABLED, &startType) || !reader.Take('=') ||
        !reader.TakeName(service->name)) {
      return ERROR_INVALID_DATA;
    }
    service->startType = startType;
  }
  *count = static_cast<DWORD>(entries);
  return *reader.at == 0 ? ERROR_SUCCESS : ERROR_INVALID_DATA;
}

// Stops the service until its process and every process that belongs to
// it (with a folder, also those whose program lies there) have exited;
// with kill, ends at the deadline those that have not, and waits the grace
// for them, ending again at each round what runs. *ended says whether it
// ended any. Returns 0, ERROR_SERVICE_REQUEST_TIMEOUT, WAIT_TIMEOUT or the
// code of the failure.
DWORD StopTreeForUpdate(SC_HANDLE service, StatusWatch *watch, const Deadline *deadline, bool kill,
                        const WCHAR *folder, bool *ended) {
  ProcessTree tree({true, folder});
  DWORD code = StopWatchingTree(service, watch, &tree, deadline);
  if (code != ERROR_SUCCESS && code != ERROR_SERVICE_REQUEST_TIMEOUT) return code;
  const bool stopped = code == ERROR_SUCCESS;
  if (!stopped && !kill) return ERROR_SERVICE_REQUEST_TIMEOUT;
  code = stopped ? WaitForTreeExit(&tree, *deadline, false) : WAIT_TIMEOUT;
  if (code != WAIT_TIMEOUT || !kill) return code;
  // What belongs to it as the list shows it now.
  code = TakeRound(&tree);
  if (code != ERROR_SUCCESS) return code;
  *ended = EndTree(&tree);
  // Nothing that it may end: a process that others share, or no right on it.
  if (!*ended) return stopped ? WAIT_TIMEOUT : ERROR_SERVICE_REQUEST_TIMEOUT;
  return WaitForTreeExit(&tree, DeadlineIn(SERVICE_UPDATE_KILL_GRACE_MS), true);
}

// The folder whose programs an update of the service waits for: its
// program's. Returns 0, the code of the failed read, or
// ERROR_INVALID_PARAMETER where no folder may be waited for: the service
// shares its process, or its program lies at a drive's root or under the
// Windows folder.
DWORD UpdateFolderOf(SC_HANDLE service, WCHAR *folder) {
  HeapBuffer<QUERY_SERVICE_CONFIGW> record;
  DWORD size = 0;
  const Outcome read = ReadConfigRecord<wchar_t>(service, &record, &size);
  if (read.code != ERROR_SUCCESS) return read.code;
  const QUERY_SERVICE_CONFIGW *config = record.records();
  const bool own = (config->dwServiceType & SERVICE_WIN32_SHARE_PROCESS) == 0;
  if (!own || config->lpBinaryPathName == NULL ||
      !ProgramFolderOf(config->lpBinaryPathName, folder) || IsSystemFolder(folder)) {
    return ERROR_INVALID_PARAMETER;
  }
  return ERROR_SUCCESS;
}

DWORD StopRightsFor(DWORD flags) {
  return kStopForUpdateRights |
         ((flags & SERVICE_UPDATE_HOLD_STOPPED) != 0 ? SERVICE_CHANGE_CONFIG : 0);
}

// Reads what the record and the stop need of a service: its start type and,
// where the stop waits for its program's folder, that folder.
template <typename Char>
DWORD ReadForRecord(SC_HANDLE service, DWORD flags, RecordedService<Char> *recorded) {
  recorded->ended = false;
  recorded->folder[0] = 0;
  const DWORD code = StartTypeOf<Char>(service, &recorded->startType);
  if (code != ERROR_SUCCESS || (flags & SERVICE_UPDATE_WAIT_FOR_FOLDER) == 0) return code;
  return UpdateFolderOf(service, recorded->folder);
}

template <typename Char>
DWORD StopRecorded(SC_HANDLE manager, SC_HANDLE service, const Char *serviceName,
                   const Deadline *deadline, DWORD flags, Char *record, DWORD *recordSize) {
  const DWORD rights = StopRightsFor(flags);
  // What ran, in the order of the stops: the dependents, then the service.
  HeapBuffer<typename ScmApi<Char>::Dependent> dependents;
  DWORD count = 0;
  DWORD code = ActiveDependents<Char>(service, &dependents, &count);
  if (code != ERROR_SUCCESS) return code;
  HeapBuffer<RecordedService<Char>> services((count + 1) * sizeof(RecordedService<Char>));
  if (services.get() == NULL) return ERROR_NOT_ENOUGH_MEMORY;
  RecordedService<Char> *recorded = services.records();
  SERVICE_STATUS_PROCESS status;
  if (!QueryStatusProcess(service, &status)) return GetLastError();
  CopyBounded(recorded[0].name, serviceName, kLongestName + 1);
  recorded[0].ran = status.dwCurrentState != SERVICE_STOPPED;
  code = ReadForRecord(service, flags, &recorded[0]);
  for (DWORD i = 0; code == ERROR_SUCCESS && i < count; ++i) {
    RecordedService<Char> *dependent = &recorded[i + 1];
    CopyBounded(dependent->name, dependents.records()[i].lpServiceName, kLongestName + 1);
    dependent->ran = true;
    const ServiceHandle handle(ScmApi<Char>::OpenByName(manager, dependent->name, rights));
    code = handle.get() == NULL ? GetLastError() : ReadForRecord(handle.get(), flags, dependent);
  }
  if (code != ERROR_SUCCESS) return code;
  const size_t needed = WriteRecord<Char>(recorded, count + 1, NULL, 0);
  if (needed > *recordSize) {
    *recordSize = static_cast<DWORD>(needed);
    return ERROR_INSUFFICIENT_BUFFER;
  }
  WriteRecord(recorded, count + 1, record, *recordSize);
  *recordSize = static_cast<DWORD>(needed);
  // Held disabled before anything stops, so that nothing starts them again.
  for (DWORD i = 0; (flags & SERVICE_UPDATE_HOLD_STOPPED) != 0 && i <= count; ++i) {
    const ServiceHandle handle(
        i == 0 ? NULL : ScmApi<Char>::OpenByName(manager, recorded[i].name, rights));
    if (i != 0 && handle.get() == NULL) return GetLastError();
    code = ChangeStartType<Char>(i == 0 ? service : handle.get(), SERVICE_DISABLED);
    if (code != ERROR_SUCCESS) return code;
  }
  const bool kill = (flags & SERVICE_UPDATE_KILL_AT_DEADLINE) != 0;
  for (DWORD n = 1; n <= count + 1; ++n) {
    const DWORD i = n % (count + 1);  // the dependents first, then the service
    const WCHAR *folder = recorded[i].folder[0] != 0 ? recorded[i].folder : NULL;
    code = CodeOnWatchedService(recorded[i].name, {SC_MANAGER_CONNECT, rights}, StopTreeForUpdate,
                                deadline, kill, folder, &recorded[i].ended);
    if (recorded[i].ended) WriteRecord(recorded, count + 1, record, *recordSize);
    if (code != ERROR_SUCCESS) return code;
  }
  return ERROR_SUCCESS;
}

template <typename Char>
DWORD StopForUpdate(const Char *serviceName, DWORD timeoutMs, DWORD flags, Char *record,
                    DWORD *recordSize) {
  const DWORD known = SERVICE_UPDATE_HOLD_STOPPED | SERVICE_UPDATE_KILL_AT_DEADLINE |
                      SERVICE_UPDATE_WAIT_FOR_FOLDER;
  if (serviceName == NULL || recordSize == NULL || (record == NULL && *recordSize != 0) ||
      (flags & ~known) != 0) {
    return CodeResult(ERROR_INVALID_PARAMETER);
  }
  if ((flags & SERVICE_UPDATE_KILL_AT_DEADLINE) != 0) flags |= SERVICE_UPDATE_HOLD_STOPPED;
  const Deadline deadline = DeadlineIn(timeoutMs);
  const Access access = {SC_MANAGER_CONNECT, StopRightsFor(flags) | SERVICE_ENUMERATE_DEPENDENTS};
  return CodeResult(WithServiceOf(serviceName, access, [&](SC_HANDLE service, SC_HANDLE manager) {
                      return Outcome{kNoStage, StopRecorded(manager, service, serviceName,
                                                            &deadline, flags, record, recordSize)};
                    }).code);
}

// Starts a recorded service until it runs. One that ran although disabled
// (an administrator's way to keep it from starting again) cannot be started
// while disabled: it has a demand start for its start only.
template <typename Char>
DWORD StartRecorded(SC_HANDLE service, StatusWatch *watch, const Deadline *deadline,
                    DWORD startType) {
  if (startType != SERVICE_DISABLED) {
    return StartUntilRunning(service, watch, ScmApi<Char>::Start, deadline, true);
  }
  DWORD code = ChangeStartType<Char>(service, SERVICE_DEMAND_START);
  if (code == ERROR_SUCCESS) {
    code = StartUntilRunning(service, watch, ScmApi<Char>::Start, deadline, true);
  }
  const DWORD disabled = ChangeStartType<Char>(service, SERVICE_DISABLED);
  return code != ERROR_SUCCESS ? code : disabled;
}

template <typename Char>
DWORD RestoreRecorded(SC_HANDLE manager, const RecordedService<Char> *services, DWORD count,
                      const Deadline *deadline) {
  for (DWORD i = 0; i < count; ++i) {
    const ServiceHandle handle(
        ScmApi<Char>::OpenByName(manager, services[i].name, SERVICE_CHANGE_CONFIG));
    if (handle.get() == NULL) return GetLastError();
    const DWORD code = ChangeStartType<Char>(handle.get(), services[i].startType);
    if (code != ERROR_SUCCESS) return code;
  }
  // The service first, then its dependents in the reverse of their stop.
  for (DWORD n = 0; n < count; ++n) {
    const DWORD i = n == 0 ? 0 : count - n;
    if (!services[i].ran) continue;
    const DWORD code = CodeOnWatchedService(services[i].name, {SC_MANAGER_CONNECT, kRestoreRights},
                                            StartRecorded<Char>, deadline, services[i].startType);
    if (code != ERROR_SUCCESS) return code;
  }
  return ERROR_SUCCESS;
}

template <typename Char>
DWORD RestoreAfterUpdate(const Char *record, DWORD timeoutMs) {
  if (record == NULL) return CodeResult(ERROR_INVALID_PARAMETER);
  HeapBuffer<RecordedService<Char>> services;
  DWORD count = 0;
  const DWORD code = ReadRecord(record, &services, &count);
  if (code != ERROR_SUCCESS) return CodeResult(code);
  const Deadline deadline = DeadlineIn(timeoutMs);
  return CodeResult(
      WithManager<Char>(SC_MANAGER_CONNECT, [&](SC_HANDLE manager) {
        return Outcome{kNoStage, RestoreRecorded(manager, services.records(), count, &deadline)};
      }).code);
}

}  // namespace
}  // namespace service_control

using namespace service_control;

extern "C" {

DWORD StopServicesForUpdate(const char *serviceName, DWORD timeoutMs, DWORD flags, char *record,
                            DWORD *recordSize) {
  return StopForUpdate(serviceName, timeoutMs, flags, record, recordSize);
}
DWORD StopServicesForUpdateW(const wchar_t *serviceName, DWORD timeoutMs, DWORD flags,
                             wchar_t *record, DWORD *recordSize) {
  return StopForUpdate(serviceName, timeoutMs, flags, record, recordSize);
}

DWORD RestoreServicesAfterUpdate(const char *record, DWORD timeoutMs) {
  return RestoreAfterUpdate(record, timeoutMs);
}
DWORD RestoreServicesAfterUpdateW(const wchar_t *record, DWORD timeoutMs) {
  return RestoreAfterUpdate(record, timeoutMs);
}

}  // extern "C"
