#include "commands.h"

#include <service_control.h>
#include <stdio.h>

#include <algorithm>
#include <iterator>
#include <vector>

#include "core/multi_string.h"
#include "servicectl.h"

namespace {

// The room for the dependents that a stop with them lists: the platform
// says nothing of the size that they need.
const size_t kLongestList = 1 << 16;

void Add(Report *report, const char *key, const std::wstring &value) {
  report->data.emplace_back(key, value);
}

// The dependency list of "A,B".
std::vector<wchar_t> DependencyList(const std::wstring &commas) {
  std::vector<wchar_t> list(commas.size() + 2);  // zeros: an empty list, then room for the names
  size_t used = 0;
  for (const std::wstring &name : Split(commas, L',')) {
    if (!name.empty()) {
      used = service_control::AppendName(list.data(), used, name.c_str(), name.size());
    }
  }
  return list;
}

void Start(const Options &o, Report *r) {
  Progress *progress = BeginProgress(o.name.c_str(), o.timeoutMs);
  r->result = StartServiceWithDependentsW(o.name.c_str(), NULL, o.timeoutMs);
  EndProgress(progress);
  r->line = o.name + L" is running";
}

// Reads the first line of the record file. Returns 0 or the code of the
// failed call: ERROR_FILE_NOT_FOUND for none.
DWORD ReadRecordFile(const std::wstring &file, std::wstring *record) {
  const HANDLE in = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, NULL);
  if (in == INVALID_HANDLE_VALUE) return GetLastError();
  std::string bytes;
  char chunk[4096];
  DWORD read, code = ERROR_SUCCESS;
  for (;;) {
    if (!ReadFile(in, chunk, sizeof chunk, &read, NULL)) {
      code = GetLastError();
      break;
    }
    if (read == 0) break;
    bytes.append(chunk, read);
  }
  CloseHandle(in);
  // One line of printable characters: what follows it is no record's.
  record->assign(bytes.begin(),
                 bytes.begin() + std::min(bytes.find_first_of("\r\n"), bytes.size()));
  return code;
}

// Keeps the record in file whole: written to a new file beside it, flushed
// and moved over it, so that file holds at every moment what it held before
// or a whole record. Returns 0 or ERROR_CANNOT_MAKE.
DWORD KeepRecordFile(const std::wstring &file, const wchar_t *record) {
  std::string bytes;
  for (const wchar_t *at = record; *at != 0; ++at) bytes += static_cast<char>(*at);
  bytes += "\r\n";
  const std::wstring fresh = file + L".new";
  const HANDLE out = CreateFileW(fresh.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, NULL);
  if (out == INVALID_HANDLE_VALUE) return ERROR_CANNOT_MAKE;
  DWORD written;
  const bool kept =
      WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, NULL) &&
      written == bytes.size() && FlushFileBuffers(out);
  CloseHandle(out);
  if (kept && MoveFileExW(fresh.c_str(), file.c_str(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return ERROR_SUCCESS;
  }
  DeleteFileW(fresh.c_str());
  return ERROR_CANNOT_MAKE;
}

// Records what runs and keeps the record in its file before anything
// changes, then stops it, and keeps the record again with the marks of
// what was ended: an updater that dies at any moment leaves a whole record.
void StopForUpdate(const Options &o, Report *r) {
  DWORD flags = o.kill ? SERVICE_UPDATE_KILL_AT_DEADLINE : SERVICE_UPDATE_HOLD_STOPPED;
  if (o.waitForFolder) flags |= SERVICE_UPDATE_WAIT_FOR_FOLDER;
  // Asked with no room first, then in the room that the call says it needs.
  std::wstring record;
  DWORD size = 0;
  do {
    record.resize(size);
    r->result = RecordServicesForUpdateW(o.name.c_str(), flags, &record[0], &size);
  } while (r->result == ERROR_INSUFFICIENT_BUFFER);
  if (r->result == ERROR_SUCCESS) r->result = KeepRecordFile(o.record, record.c_str());
  if (r->result != ERROR_SUCCESS) return;
  Progress *progress = BeginProgress(o.name.c_str(), o.timeoutMs);
  r->result = StopServicesAsRecordedW(&record[0], o.timeoutMs);
  EndProgress(progress);
  const DWORD kept = KeepRecordFile(o.record, record.c_str());
  if (r->result == ERROR_SUCCESS) r->result = kept;
  Add(r, "record", Quoted(record.c_str()));
  r->line = o.name + L" stopped for an update, its processes gone; the record is in " + o.record;
}

// Stops the service until its process has exited, and with --with-dependents
// the services that depend on it first, whose names go into list.
DWORD StopWithDependentsIfAsked(const Options &o, std::wstring *list) {
  if (!o.withDependents) return StopServiceAndWaitForExitW(o.name.c_str(), o.timeoutMs);
  list->resize(kLongestList);
  return StopServiceWithDependentsW(o.name.c_str(), o.timeoutMs, &(*list)[0],
                                    static_cast<DWORD>(list->size()));
}

void Stop(const Options &o, Report *r) {
  if (o.forUpdate) {
    StopForUpdate(o, r);
    return;
  }
  Progress *progress = BeginProgress(o.name.c_str(), o.timeoutMs);
  std::wstring list;
  r->result = StopWithDependentsIfAsked(o, &list);
  EndProgress(progress);
  r->line =
      o.name + (o.withDependents
                    ? L" stopped, and the services that depend on it; their processes have exited"
                    : L" stopped; its process has exited");
}

std::wstring CheckStop(Options *o) {
  if (o->forUpdate && o->record.empty()) return L"--for-update needs --record FILE";
  if (!o->forUpdate && (o->kill || o->waitForFolder || !o->record.empty())) {
    return L"--record, --kill-at-deadline and --wait-for-folder go with --for-update";
  }
  return std::wstring();
}

void Restart(const Options &o, Report *r) {
  Progress *progress = BeginProgress(o.name.c_str(), o.timeoutMs);
  std::wstring list;
  r->result = StopWithDependentsIfAsked(o, &list);
  if (r->result == ERROR_SUCCESS) {
    r->result = StartServiceWithDependentsW(o.name.c_str(), o.withDependents ? list.c_str() : NULL,
                                            o.timeoutMs);
  }
  EndProgress(progress);
  r->line = o.name + L" restarted";
}

void Restore(const Options &o, Report *r) {
  std::wstring record;
  r->result = ReadRecordFile(o.record, &record);
  if (r->result == ERROR_SUCCESS) {
    r->result = RestoreServicesAfterUpdateW(record.c_str(), o.timeoutMs);
  }
  r->line = L"restored what " + o.record + L" says ran";
}

std::wstring CheckRestore(Options *o) {
  return o->record.empty() ? L"restore needs --record FILE" : std::wstring();
}

void Query(const Options &o, Report *r) {
  SERVICE_STATUS_PROCESS status = {};
  r->result = QueryServiceStateExW(o.name.c_str(), &status);
  if (r->result != ERROR_SUCCESS) return;
  Add(r, "state", Quoted(StateName(status.dwCurrentState)));
  Add(r, "processId", Number(status.dwProcessId));
  Add(r, "exitCode", Number(status.dwWin32ExitCode));
  Add(r, "serviceExitCode", Number(status.dwServiceSpecificExitCode));
  Add(r, "checkPoint", Number(status.dwCheckPoint));
  Add(r, "waitHint", Number(status.dwWaitHint));
  r->line = o.name + L": " + StateName(status.dwCurrentState) + L", process " +
            Number(status.dwProcessId) + L", exit code " + Number(status.dwWin32ExitCode) +
            L", service exit code " + Number(status.dwServiceSpecificExitCode) + L", check point " +
            Number(status.dwCheckPoint) + L", wait hint " + Number(status.dwWaitHint);
}

void Holders(const Options &o, Report *r) {
  // Asked with no room first, then in the room that the call says it needs.
  std::vector<SERVICE_FOLDER_PROCESSW> processes;
  for (;;) {
    DWORD count = static_cast<DWORD>(processes.size());
    r->result = ListFolderProcessesW(o.name.c_str(), processes.data(), &count);
    processes.resize(count);
    if (r->result != ERROR_INSUFFICIENT_BUFFER) break;
  }
  std::wstring list;
  for (const SERVICE_FOLDER_PROCESSW &process : processes) {
    list += std::wstring(list.empty() ? L"" : L",") + L"{\"id\":" + Number(process.processId) +
            L",\"parentId\":" + Number(process.parentProcessId) + L",\"program\":" +
            Quoted(process.program) + L"}";
    r->line += Number(process.processId) + L" " + Number(process.parentProcessId) + L" " +
               process.program + L"\n";
  }
  Add(r, "processes", L"[" + list + L"]");
  r->line += Number(processes.size()) + L" processes run programs of " + o.name;
}

void Config(const Options &o, Report *r) {
  DWORD type, start, errorControl, tag, error;
  wchar_t path[MAX_PATH], group[SERVICE_CONFIG_TEXT_CHARS], dependencies[SERVICE_CONFIG_TEXT_CHARS],
      display[SERVICE_CONFIG_TEXT_CHARS];
  ReadServiceConfigW(o.name.c_str(), &type, &start, &errorControl, &tag, path, group, dependencies,
                     display, &error);
  r->result = error;
  if (r->result != ERROR_SUCCESS) return;
  std::wstring names;
  service_control::VisitNames(dependencies, [&](const wchar_t *name) {
    names += (names.empty() ? L"" : L",") + std::wstring(name);
  });
  const std::wstring startName = start < 5 ? kStartTypes[start] : Number(start);
  const std::wstring errorName =
      errorControl < 4 ? kErrorControls[errorControl] : Number(errorControl);
  Add(r, "serviceType", Number(type));
  Add(r, "startType", Quoted(startName));
  Add(r, "errorControl", Quoted(errorName));
  Add(r, "tag", Number(tag));
  Add(r, "path", Quoted(path));
  Add(r, "group", Quoted(group));
  Add(r, "dependencies", Quoted(names));
  Add(r, "displayName", Quoted(display));
  r->line = o.name + L": type " + Number(type) + L", start " + startName + L", error control " +
            errorName + L", tag " + Number(tag) + L", path " + path + L", group " + group +
            L", dependencies " + names + L", display name " + display;
}

// What install, reconfigure and set-start set besides the configuration
// itself: the delayed start of one that starts automatically (set or taken
// back), and the description where one is given.
DWORD SetExtras(const Options &o) {
  DWORD code = ERROR_SUCCESS;
  if (o.startType == SERVICE_AUTO_START) {
    code = SetServiceDelayedAutoStartW(o.name.c_str(), o.delayed);
    // A platform without delayed starts (Wine's manager) has none to take back.
    if (!o.delayed && code == ERROR_INVALID_LEVEL) code = ERROR_SUCCESS;
  }
  if (code == ERROR_SUCCESS && !o.description.empty()) {
    code = SetServiceDescriptionW(o.name.c_str(), o.description.c_str());
  }
  return code;
}

// The path in a buffer that the quoted install and reconfigure may wrap in
// quotes: its length and 3.
std::vector<wchar_t> QuotablePath(const std::wstring &path) {
  std::vector<wchar_t> buffer(path.size() + 3, L'\0');
  std::copy(path.begin(), path.end(), buffer.begin());
  return buffer;
}

void Install(const Options &o, Report *r) {
  std::vector<wchar_t> path = QuotablePath(o.argument);
  const std::vector<wchar_t> list = DependencyList(o.depends);
  const std::wstring display = o.display.empty() ? o.name : o.display;
  const DWORD start = o.startType == SERVICE_NO_CHANGE ? SERVICE_DEMAND_START : o.startType;
  const DWORD errorControl =
      o.errorControl == SERVICE_NO_CHANGE ? SERVICE_ERROR_NORMAL : o.errorControl;
  // The stage is not the exit status: the code behind it, in error, is.
  DWORD error;
  if (o.unquoted) {
    InstallServiceUnquotedW(path.data(), o.name.c_str(), display.c_str(), SERVICE_WIN32_OWN_PROCESS,
                            start, list.data(), errorControl, o.group.c_str(), o.account.c_str(),
                            o.password.c_str(), &error);
  } else {
    InstallServiceQuotedW(path.data(), o.name.c_str(), display.c_str(), SERVICE_WIN32_OWN_PROCESS,
                          start, list.data(), errorControl, o.group.c_str(), o.account.c_str(),
                          o.password.c_str(), &error);
  }
  r->result = error;
  if (r->result == ERROR_SUCCESS) r->result = SetExtras(o);
  Add(r, "path", Quoted(path.data()));
  r->line = o.name + L" installed to run " + path.data();
}

void Reconfigure(const Options &o, Report *r) {
  std::vector<wchar_t> path = QuotablePath(o.argument);
  const std::vector<wchar_t> list = DependencyList(o.depends);
  DWORD error;
  ReconfigureServiceQuotedW(path.data(), o.name.c_str(), o.display.c_str(), SERVICE_NO_CHANGE,
                            o.startType, list.data(), o.errorControl, o.group.c_str(),
                            o.account.c_str(), o.password.c_str(), &error);
  r->result = error;
  if (r->result == ERROR_SUCCESS) r->result = SetExtras(o);
  r->line = o.name + L" reconfigured";
}

void Delete(const Options &o, Report *r) {
  r->result = o.ifStopped ? DeleteServiceIfStoppedW(o.name.c_str(), 1)
                          : DeleteServiceByNameW(o.name.c_str());
  if (o.wait && (r->result == ERROR_SUCCESS || r->result == ERROR_SERVICE_MARKED_FOR_DELETE)) {
    r->result = DeleteServiceAndWaitGoneW(o.name.c_str(), o.timeoutMs);
  }
  r->line = o.name + (o.wait ? L" deleted, and gone" : L" deleted");
}

void SetRecovery(const Options &o, Report *r) {
  r->result = SetServiceFailureActionsW(o.name.c_str(), o.resetSeconds,
                                        o.actions.empty() ? NULL : o.actions.data(),
                                        static_cast<DWORD>(o.actions.size()), o.onNonCrash);
  r->line = o.name + L": recovery set";
}

std::wstring CheckSetRecovery(Options *o) {
  return o->resetGiven ? std::wstring() : L"set-recovery needs --reset SECONDS";
}

void SetDescription(const Options &o, Report *r) {
  r->result = SetServiceDescriptionW(o.name.c_str(), o.argument.c_str());
  r->line = o.name + L": description set";
}

void SetStart(const Options &o, Report *r) {
  r->result = SetServiceStartTypeW(o.name.c_str(), o.startType);
  if (r->result == ERROR_SUCCESS) r->result = SetExtras(o);
  r->line = o.name + L": start type set to " + o.argument;
}

std::wstring CheckSetStart(Options *o) {
  return ParseStartType(o->argument, o)
             ? std::wstring()
             : L"the start type is auto, delayed-auto, demand or disabled";
}

void Control(const Options &o, Report *r) {
  r->result = SendServiceControlW(o.name.c_str(), o.control);
  r->line = o.name + L": control " + o.argument + L" sent";
}

std::wstring CheckControl(Options *o) {
  return ParseNumber(o->argument, 255, &o->control) && o->control >= 128
             ? std::wstring()
             : L"CODE is a user-defined control, 128 to 255";
}

// The options of install and reconfigure.
#define CONFIG_OPTIONS \
  L"--display --start --error --depends --group --account --password-stdin --description "

}  // namespace

const Command kCommands[] = {
    {{L"start", L"NAME", 1, L"--timeout "}, NULL, Start},
    {{L"stop", L"NAME", 1,
      L"--timeout --with-dependents --for-update --record --kill-at-deadline --wait-for-folder "},
     CheckStop,
     Stop},
    {{L"restart", L"NAME", 1, L"--timeout --with-dependents "}, NULL, Restart},
    {{L"restore", L"", 0, L"--record --timeout "}, CheckRestore, Restore},
    {{L"query", L"NAME", 1, L""}, NULL, Query},
    {{L"holders", L"FOLDER", 1, L""}, NULL, Holders},
    {{L"config", L"NAME", 1, L""}, NULL, Config},
    {{L"install", L"NAME PATH", 2, CONFIG_OPTIONS L"--unquoted "}, NULL, Install},
    {{L"reconfigure", L"NAME", 1, L"--path " CONFIG_OPTIONS}, NULL, Reconfigure},
    {{L"delete", L"NAME", 1, L"--if-stopped --wait --timeout "}, NULL, Delete},
    {{L"set-recovery", L"NAME", 1, L"--reset --action --on-non-crash-failures "},
     CheckSetRecovery,
     SetRecovery},
    {{L"set-description", L"NAME TEXT", 2, L""}, NULL, SetDescription},
    {{L"set-start", L"NAME auto|delayed-auto|demand|disabled", 2, L""}, CheckSetStart, SetStart},
    {{L"control", L"NAME CODE", 2, L""}, CheckControl, Control},
};
const size_t kCommandCount = std::size(kCommands);
