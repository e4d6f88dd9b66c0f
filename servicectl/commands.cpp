#include "commands.h"

#include <service_control.h>
#include <stdio.h>

#include <algorithm>
#include <vector>

#include "core/multi_string.h"
#include "servicectl.h"

namespace {

// The longest record that a file holds for restore.
const size_t kLongestRecord = 1 << 16;

void Add(Report *report, const char *key, const std::wstring &value) {
  report->data.emplace_back(key, value);
}

// The dependency list of "A,B".
std::vector<wchar_t> DependencyList(const std::wstring &commas) {
  std::vector<wchar_t> list(commas.size() + 2);
  service_control::ClearList(list.data());
  size_t used = 0;
  for (size_t at = 0; at <= commas.size();) {
    const size_t end = std::min(commas.find(L',', at), commas.size());
    if (end > at) used = service_control::AppendName(list.data(), used, &commas[at], end - at);
    at = end + 1;
  }
  return list;
}

// The module's stage results give the code in their error out-parameter.
DWORD StageCode(DWORD stage, DWORD error) { return stage == 0 ? 0 : error; }

DWORD Start(const Options &o, Report *r) {
  Progress *progress = BeginProgress(o.name.c_str(), o.timeoutMs);
  r->result = StartServiceWithDependentsW(o.name.c_str(), NULL, o.timeoutMs);
  EndProgress(progress);
  r->line = o.name + L" is running";
  return r->result;
}

// Opens a file to read by its UTF-16 name; elsewhere than on Windows, by
// its UTF-8 one.
FILE *OpenToRead(const std::wstring &file) {
#if defined(_WIN32)
  return _wfopen(file.c_str(), L"rb");
#else
  std::string name(file.size() * 4, '\0');
  name.resize(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, file.c_str(),
                                                      static_cast<int>(file.size()), &name[0],
                                                      static_cast<int>(name.size()), NULL, NULL)));
  return fopen(name.c_str(), "rb");
#endif
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
  DWORD written = 0;
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
DWORD StopForUpdate(const Options &o, Report *r) {
  std::wstring record(kLongestRecord, L'\0');
  DWORD size = static_cast<DWORD>(record.size());
  const DWORD flags = (o.kill ? SERVICE_UPDATE_KILL_AT_DEADLINE : SERVICE_UPDATE_HOLD_STOPPED) |
                      (o.waitForFolder ? SERVICE_UPDATE_WAIT_FOR_FOLDER : 0);
  r->result = RecordServicesForUpdateW(o.name.c_str(), flags, &record[0], &size);
  if (r->result == ERROR_SUCCESS) r->result = KeepRecordFile(o.record, record.c_str());
  if (r->result != ERROR_SUCCESS) return r->result;
  Progress *progress = BeginProgress(o.name.c_str(), o.timeoutMs);
  r->result = StopServicesAsRecordedW(&record[0], o.timeoutMs);
  EndProgress(progress);
  const DWORD kept = KeepRecordFile(o.record, record.c_str());
  if (r->result == ERROR_SUCCESS) r->result = kept;
  Add(r, "record", Quoted(record.c_str()));
  r->line = o.name + L" stopped for an update, its processes gone; the record is in " + o.record;
  return r->result;
}

// Stops the service until its process has exited, and with --with-dependents
// the services that depend on it first, whose names go into list.
DWORD StopWithDependentsIfAsked(const Options &o, std::wstring *list) {
  if (!o.withDependents) return StopServiceAndWaitForExitW(o.name.c_str(), o.timeoutMs);
  list->assign(kLongestRecord, L'\0');
  return StopServiceWithDependentsW(o.name.c_str(), o.timeoutMs, &(*list)[0],
                                    static_cast<DWORD>(list->size()));
}

DWORD Stop(const Options &o, Report *r) {
  if (o.forUpdate) return StopForUpdate(o, r);
  Progress *progress = BeginProgress(o.name.c_str(), o.timeoutMs);
  std::wstring list;
  r->result = StopWithDependentsIfAsked(o, &list);
  EndProgress(progress);
  r->line =
      o.name + (o.withDependents
                    ? L" stopped, and the services that depend on it; their processes have exited"
                    : L" stopped; its process has exited");
  return r->result;
}

std::wstring CheckStop(Options *o) {
  if (o->forUpdate && o->record.empty()) return L"--for-update needs --record FILE";
  if (!o->forUpdate && (o->kill || o->waitForFolder || !o->record.empty())) {
    return L"--record, --kill-at-deadline and --wait-for-folder go with --for-update";
  }
  return std::wstring();
}

DWORD Restart(const Options &o, Report *r) {
  Progress *progress = BeginProgress(o.name.c_str(), o.timeoutMs);
  std::wstring list;
  r->result = StopWithDependentsIfAsked(o, &list);
  if (r->result == ERROR_SUCCESS) {
    r->result = StartServiceWithDependentsW(o.name.c_str(), o.withDependents ? list.c_str() : NULL,
                                            o.timeoutMs);
  }
  EndProgress(progress);
  r->line = o.name + L" restarted";
  return r->result;
}

DWORD Restore(const Options &o, Report *r) {
  FILE *in = OpenToRead(o.record);
  if (in == NULL) return r->result = ERROR_FILE_NOT_FOUND;
  std::string bytes(kLongestRecord, '\0');
  const size_t read = fread(&bytes[0], 1, bytes.size() - 1, in);
  fclose(in);
  bytes.resize(read);
  // One line of printable characters: what follows it is no record's.
  std::wstring record(bytes.begin(), bytes.begin() + std::min(bytes.find_first_of("\r\n"), read));
  r->result = RestoreServicesAfterUpdateW(record.c_str(), o.timeoutMs);
  r->line = L"restored what " + o.record + L" says ran";
  return r->result;
}

std::wstring CheckRestore(Options *o) {
  return o->record.empty() ? L"restore needs --record FILE" : std::wstring();
}

DWORD Query(const Options &o, Report *r) {
  SERVICE_STATUS_PROCESS status = {};
  r->result = QueryServiceStateExW(o.name.c_str(), &status);
  if (r->result != ERROR_SUCCESS) return r->result;
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
  return r->result;
}

DWORD Holders(const Options &o, Report *r) {
  std::vector<SERVICE_FOLDER_PROCESSW> processes(16);
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
  return r->result;
}

DWORD Config(const Options &o, Report *r) {
  DWORD type, start, errorControl, tag, error;
  wchar_t path[MAX_PATH], group[100], dependencies[100], display[100];
  const DWORD stage = ReadServiceConfigW(o.name.c_str(), &type, &start, &errorControl, &tag, path,
                                         group, dependencies, display, &error);
  r->result = StageCode(stage, error);
  if (r->result != ERROR_SUCCESS) return r->result;
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
  return r->result;
}

// What install and reconfigure set besides the configuration itself: the
// delayed start where it is asked for (or, reconfigured to auto, taken
// back), and the description.
DWORD SetExtras(const Options &o, bool reconfigured) {
  DWORD code = ERROR_SUCCESS;
  if (o.startType == SERVICE_AUTO_START && (o.delayed || reconfigured)) {
    code = SetServiceDelayedAutoStartW(o.name.c_str(), o.delayed);
  }
  if (code == ERROR_SUCCESS && !o.description.empty()) {
    code = SetServiceDescriptionW(o.name.c_str(), o.description.c_str());
  }
  return code;
}

DWORD Install(const Options &o, Report *r) {
  std::wstring path = o.argument + std::wstring(3, L'\0');
  const std::vector<wchar_t> list = DependencyList(o.depends);
  const std::wstring display = o.display.empty() ? o.name : o.display;
  const DWORD start = o.startType == SERVICE_NO_CHANGE ? SERVICE_DEMAND_START : o.startType;
  const DWORD errorControl =
      o.errorControl == SERVICE_NO_CHANGE ? SERVICE_ERROR_NORMAL : o.errorControl;
  DWORD error;
  const DWORD stage =
      o.unquoted
          ? InstallServiceUnquotedW(path.c_str(), o.name.c_str(), display.c_str(),
                                    SERVICE_WIN32_OWN_PROCESS, start, list.data(), errorControl,
                                    o.group.c_str(), o.account.c_str(), o.password.c_str(), &error)
          : InstallServiceQuotedW(&path[0], o.name.c_str(), display.c_str(),
                                  SERVICE_WIN32_OWN_PROCESS, start, list.data(), errorControl,
                                  o.group.c_str(), o.account.c_str(), o.password.c_str(), &error);
  r->result = StageCode(stage, error);
  if (r->result == ERROR_SUCCESS) r->result = SetExtras(o, false);
  Add(r, "path", Quoted(path.c_str()));
  r->line = o.name + L" installed to run " + path.c_str();
  return r->result;
}

DWORD Reconfigure(const Options &o, Report *r) {
  std::wstring path = o.argument + std::wstring(3, L'\0');
  const std::vector<wchar_t> list = DependencyList(o.depends);
  DWORD error;
  const DWORD stage = ReconfigureServiceQuotedW(
      &path[0], o.name.c_str(), o.display.c_str(), SERVICE_NO_CHANGE, o.startType, list.data(),
      o.errorControl, o.group.c_str(), o.account.c_str(), o.password.c_str(), &error);
  r->result = StageCode(stage, error);
  if (r->result == ERROR_SUCCESS) r->result = SetExtras(o, true);
  r->line = o.name + L" reconfigured";
  return r->result;
}

DWORD Delete(const Options &o, Report *r) {
  r->result = o.ifStopped ? DeleteServiceIfStoppedW(o.name.c_str(), 1)
                          : DeleteServiceByNameW(o.name.c_str());
  if (o.wait && (r->result == ERROR_SUCCESS || r->result == ERROR_SERVICE_MARKED_FOR_DELETE)) {
    r->result = DeleteServiceAndWaitGoneW(o.name.c_str(), o.timeoutMs);
  }
  r->line = o.name + (o.wait ? L" deleted, and gone" : L" deleted");
  return r->result;
}

DWORD SetRecovery(const Options &o, Report *r) {
  r->result = SetServiceFailureActionsW(o.name.c_str(), o.resetSeconds,
                                        o.actions.empty() ? NULL : o.actions.data(),
                                        static_cast<DWORD>(o.actions.size()), o.onNonCrash);
  r->line = o.name + L": recovery set";
  return r->result;
}

std::wstring CheckSetRecovery(Options *o) {
  return o->resetGiven ? std::wstring() : L"set-recovery needs --reset SECONDS";
}

DWORD SetDescription(const Options &o, Report *r) {
  r->result = SetServiceDescriptionW(o.name.c_str(), o.argument.c_str());
  r->line = o.name + L": description set";
  return r->result;
}

DWORD SetStart(const Options &o, Report *r) {
  r->result = SetServiceStartTypeW(o.name.c_str(), o.startType);
  if (r->result == ERROR_SUCCESS && o.startType == SERVICE_AUTO_START) {
    r->result = SetServiceDelayedAutoStartW(o.name.c_str(), o.delayed);
  }
  r->line = o.name + L": start type set to " + o.argument;
  return r->result;
}

std::wstring CheckSetStart(Options *o) {
  return ParseStartType(o->argument, o)
             ? std::wstring()
             : L"the start type is auto, delayed-auto, demand or disabled";
}

DWORD Control(const Options &o, Report *r) {
  r->result = SendServiceControlW(o.name.c_str(), o.control);
  r->line = o.name + L": control " + o.argument + L" sent";
  return r->result;
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
const size_t kCommandCount = sizeof kCommands / sizeof kCommands[0];
