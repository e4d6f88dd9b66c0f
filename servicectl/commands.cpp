// The commands of servicectl: their arguments, the module's call that each
// makes, and what each says on standard output (one line, or a JSON object
// with --json) and on standard error (the system's text of a failure).
#include <service_control.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "console_text.h"
#include "servicectl.h"

namespace {

const DWORD kDefaultTimeoutMs = 30000;
// The longest record that a file holds for restore.
const size_t kLongestRecord = 1 << 16;

struct Options {
  std::wstring name;
  std::wstring second;  // PATH, TEXT, a start type or a control code
  std::wstring display, group, account, password, description, record, depends;
  DWORD timeoutMs = kDefaultTimeoutMs;
  DWORD startType = SERVICE_NO_CHANGE;
  bool delayed = false;
  DWORD errorControl = SERVICE_NO_CHANGE;
  DWORD resetSeconds = 0;
  DWORD control = 0;
  std::vector<SC_ACTION> actions;
  bool unquoted = false, json = false, withDependents = false, forUpdate = false, kill = false;
  bool waitForFolder = false;
  bool ifStopped = false, wait = false, onNonCrash = false, reset = false;
};

// What a command came to: its result code, its one line, and its data.
struct Report {
  DWORD result = 0;
  std::wstring line;
  std::vector<std::pair<std::string, std::wstring>> data;  // JSON values, written out
};

std::wstring Quoted(const std::wstring &text) {
  std::wstring json = L"\"";
  for (wchar_t c : text) {
    if (c == L'"' || c == L'\\') {
      json += L'\\';
      json += c;
    } else if (c < 0x20) {
      wchar_t escaped[8];
      swprintf(escaped, 8, L"\\u%04x", static_cast<unsigned>(c));
      json += escaped;
    } else {
      json += c;
    }
  }
  return json + L"\"";
}

std::wstring Number(unsigned long long value) { return std::to_wstring(value); }

// Milliseconds as people read them: 1,240 ms.
std::wstring Milliseconds(DWORD ms) {
  std::wstring digits = std::to_wstring(ms);
  for (size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, L",");
  return digits + L" ms";
}

void Add(Report *report, const char *key, const std::wstring &value) {
  report->data.emplace_back(key, value);
}

const wchar_t *StateName(DWORD state) {
  static const wchar_t *const kNames[] = {L"UNKNOWN",       L"STOPPED", L"START_PENDING",
                                          L"STOP_PENDING",  L"RUNNING", L"CONTINUE_PENDING",
                                          L"PAUSE_PENDING", L"PAUSED"};
  return state < 8 ? kNames[state] : kNames[0];
}

const wchar_t *const kStartTypes[] = {L"boot", L"system", L"auto", L"demand", L"disabled"};
const wchar_t *const kErrorControls[] = {L"ignore", L"normal", L"severe", L"critical"};

// Which of names the text is; -1 for none.
int IndexOf(const std::wstring &text, const wchar_t *const *names, int count) {
  for (int i = 0; i < count; ++i) {
    if (text == names[i]) return i;
  }
  return -1;
}

bool ParseNumber(const std::wstring &text, unsigned long long most, DWORD *value) {
  if (text.empty() || text.size() > 10) return false;
  unsigned long long number = 0;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') return false;
    number = number * 10 + static_cast<unsigned>(c - L'0');
  }
  if (number > most) return false;
  *value = static_cast<DWORD>(number);
  return true;
}

// "auto", "delayed-auto", "demand" or "disabled".
bool ParseStartType(const std::wstring &text, Options *options) {
  options->delayed = text == L"delayed-auto";
  const int type = options->delayed ? SERVICE_AUTO_START : IndexOf(text, kStartTypes, 5);
  if (type < static_cast<int>(SERVICE_AUTO_START)) return false;
  options->startType = static_cast<DWORD>(type);
  return true;
}

// TYPE:MS, TYPE restart, reboot, run or none.
bool ParseAction(const std::wstring &text, Options *options) {
  static const wchar_t *const kTypes[] = {L"none", L"restart", L"reboot", L"run"};
  const size_t colon = text.find(L':');
  const int type = IndexOf(text.substr(0, colon), kTypes, 4);
  DWORD delay;
  if (colon == std::wstring::npos || type < 0 ||
      !ParseNumber(text.substr(colon + 1), 0xFFFFFFFFu, &delay)) {
    return false;
  }
  options->actions.push_back({static_cast<SC_ACTION_TYPE>(type), delay});
  return true;
}

// Text in the ANSI code page, as UTF-16.
std::wstring Widened(const std::string &ansi) {
  const int length = MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, NULL, 0);
  std::wstring wide(length > 0 ? static_cast<size_t>(length) : 1, L'\0');
  if (length > 0) MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, &wide[0], length);
  return wide.c_str();
}

// Reads one line from standard input, without its line break.
std::wstring ReadPasswordLine() {
  char line[1024];
  if (fgets(line, sizeof line, stdin) == NULL) return std::wstring();
  std::string text(line);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return Widened(text);
}

// The dependency list of "A,B": each name with its zero, and one more.
std::wstring DependencyList(const std::wstring &commas) {
  std::wstring list;
  for (size_t at = 0; at <= commas.size();) {
    const size_t end = std::min(commas.find(L',', at), commas.size());
    if (end > at) list += commas.substr(at, end - at) + L'\0';
    at = end + 1;
  }
  return list + L'\0';
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

// Opens a file by its UTF-16 name; elsewhere than on Windows, by its UTF-8 one.
FILE *OpenFile(const std::wstring &file, const wchar_t *mode) {
#if defined(_WIN32)
  return _wfopen(file.c_str(), mode);
#else
  std::string name(file.size() * 4, '\0');
  name.resize(static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, file.c_str(),
                                                      static_cast<int>(file.size()), &name[0],
                                                      static_cast<int>(name.size()), NULL, NULL)));
  return fopen(name.c_str(), mode[0] == L'w' ? "wb" : "rb");
#endif
}

// Writes the record as one line and closes the file.
DWORD WriteRecordFile(FILE *out, const wchar_t *record) {
  std::string bytes;
  for (const wchar_t *at = record; *at != 0; ++at) bytes += static_cast<char>(*at);
  bytes += "\r\n";
  const bool written = fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  return fclose(out) == 0 && written ? ERROR_SUCCESS : ERROR_WRITE_FAULT;
}

DWORD StopForUpdate(const Options &o, Report *r) {
  // The file is made before anything stops: a record that could not be kept
  // would leave the services held disabled with nothing to restore.
  FILE *out = OpenFile(o.record, L"wb");
  if (out == NULL) return r->result = ERROR_CANNOT_MAKE;
  Progress *progress = BeginProgress(o.name.c_str(), o.timeoutMs);
  std::wstring record(kLongestRecord, L'\0');
  DWORD size = static_cast<DWORD>(record.size());
  const DWORD flags = (o.kill ? SERVICE_UPDATE_KILL_AT_DEADLINE : SERVICE_UPDATE_HOLD_STOPPED) |
                      (o.waitForFolder ? SERVICE_UPDATE_WAIT_FOR_FOLDER : 0);
  r->result = StopServicesForUpdateW(o.name.c_str(), o.timeoutMs, flags, &record[0], &size);
  EndProgress(progress);
  // Whatever the stop came to, the record is what a restore needs.
  const DWORD saved = WriteRecordFile(out, size <= record.size() ? record.c_str() : L"");
  if (r->result == ERROR_SUCCESS) r->result = saved;
  Add(r, "record", Quoted(record.c_str()));
  r->line = o.name + L" stopped for an update, its processes gone; the record is in " + o.record;
  return r->result;
}

// Stops the service until its process has exited, and with --with-dependents
// the services that depend on it first, whose names go into list.
DWORD StopAsAsked(const Options &o, std::wstring *list) {
  if (!o.withDependents) return StopServiceAndWaitForExitW(o.name.c_str(), o.timeoutMs);
  list->assign(kLongestRecord, L'\0');
  return StopServiceWithDependentsW(o.name.c_str(), o.timeoutMs, &(*list)[0],
                                    static_cast<DWORD>(list->size()));
}

DWORD Stop(const Options &o, Report *r) {
  if (o.forUpdate) return StopForUpdate(o, r);
  Progress *progress = BeginProgress(o.name.c_str(), o.timeoutMs);
  std::wstring list;
  r->result = StopAsAsked(o, &list);
  EndProgress(progress);
  r->line =
      o.name + (o.withDependents
                    ? L" stopped, and the services that depend on it; their processes have exited"
                    : L" stopped; its process has exited");
  return r->result;
}

DWORD Restart(const Options &o, Report *r) {
  Progress *progress = BeginProgress(o.name.c_str(), o.timeoutMs);
  std::wstring list;
  r->result = StopAsAsked(o, &list);
  if (r->result == ERROR_SUCCESS) {
    r->result = StartServiceWithDependentsW(o.name.c_str(), o.withDependents ? list.c_str() : NULL,
                                            o.timeoutMs);
  }
  EndProgress(progress);
  r->line = o.name + L" restarted";
  return r->result;
}

DWORD Restore(const Options &o, Report *r) {
  FILE *in = OpenFile(o.record, L"rb");
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

// The process id that the module's state query does not hand back.
DWORD ProcessIdOf(const std::wstring &name) {
  SC_HANDLE manager = OpenSCManagerW(NULL, NULL, SC_MANAGER_CONNECT);
  SC_HANDLE service =
      manager == NULL ? NULL : OpenServiceW(manager, name.c_str(), SERVICE_QUERY_STATUS);
  SERVICE_STATUS_PROCESS status = {};
  DWORD needed;
  if (service != NULL) {
    QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<LPBYTE>(&status),
                         sizeof status, &needed);
    CloseServiceHandle(service);
  }
  if (manager != NULL) CloseServiceHandle(manager);
  return status.dwProcessId;
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

DWORD Query(const Options &o, Report *r) {
  SERVICE_STATUS status = {};
  r->result = QueryServiceStateW(o.name.c_str(), &status);
  if (r->result != ERROR_SUCCESS) return r->result;
  const DWORD process = ProcessIdOf(o.name);
  Add(r, "state", Quoted(StateName(status.dwCurrentState)));
  Add(r, "processId", Number(process));
  Add(r, "exitCode", Number(status.dwWin32ExitCode));
  Add(r, "serviceExitCode", Number(status.dwServiceSpecificExitCode));
  Add(r, "checkPoint", Number(status.dwCheckPoint));
  Add(r, "waitHint", Number(status.dwWaitHint));
  r->line = o.name + L": " + StateName(status.dwCurrentState) + L", process " + Number(process) +
            L", exit code " + Number(status.dwWin32ExitCode) + L", service exit code " +
            Number(status.dwServiceSpecificExitCode) + L", check point " +
            Number(status.dwCheckPoint) + L", wait hint " + Number(status.dwWaitHint);
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
  for (const wchar_t *name = dependencies; *name != 0; name += wcslen(name) + 1) {
    names += (names.empty() ? L"" : L",") + std::wstring(name);
  }
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
  std::wstring path = o.second + std::wstring(3, L'\0');
  const std::wstring list = DependencyList(o.depends);
  const std::wstring display = o.display.empty() ? o.name : o.display;
  const DWORD start = o.startType == SERVICE_NO_CHANGE ? SERVICE_DEMAND_START : o.startType;
  const DWORD errorControl =
      o.errorControl == SERVICE_NO_CHANGE ? SERVICE_ERROR_NORMAL : o.errorControl;
  DWORD error;
  const DWORD stage =
      o.unquoted
          ? InstallServiceUnquotedW(path.c_str(), o.name.c_str(), display.c_str(),
                                    SERVICE_WIN32_OWN_PROCESS, start, list.c_str(), errorControl,
                                    o.group.c_str(), o.account.c_str(), o.password.c_str(), &error)
          : InstallServiceQuotedW(&path[0], o.name.c_str(), display.c_str(),
                                  SERVICE_WIN32_OWN_PROCESS, start, list.c_str(), errorControl,
                                  o.group.c_str(), o.account.c_str(), o.password.c_str(), &error);
  r->result = StageCode(stage, error);
  if (r->result == ERROR_SUCCESS) r->result = SetExtras(o, false);
  Add(r, "path", Quoted(path.c_str()));
  r->line = o.name + L" installed to run " + path.c_str();
  return r->result;
}

DWORD Reconfigure(const Options &o, Report *r) {
  std::wstring path = o.second + std::wstring(3, L'\0');
  const std::wstring list = o.depends.empty() ? std::wstring(2, L'\0') : DependencyList(o.depends);
  DWORD error;
  const DWORD stage = ReconfigureServiceQuotedW(
      &path[0], o.name.c_str(), o.display.c_str(), SERVICE_NO_CHANGE, o.startType, list.c_str(),
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

DWORD SetDescription(const Options &o, Report *r) {
  r->result = SetServiceDescriptionW(o.name.c_str(), o.second.c_str());
  r->line = o.name + L": description set";
  return r->result;
}

DWORD SetStart(const Options &o, Report *r) {
  r->result = SetServiceStartTypeW(o.name.c_str(), o.startType);
  if (r->result == ERROR_SUCCESS && o.startType == SERVICE_AUTO_START) {
    r->result = SetServiceDelayedAutoStartW(o.name.c_str(), o.delayed);
  }
  r->line = o.name + L": start type set to " + o.second;
  return r->result;
}

DWORD Control(const Options &o, Report *r) {
  r->result = SendServiceControlW(o.name.c_str(), o.control);
  r->line = o.name + L": control " + o.second + L" sent";
  return r->result;
}

struct Command {
  const wchar_t *name;
  const wchar_t *arguments;  // what follows the command before its options, as usage shows it
  int positionals;
  const wchar_t *options;  // those it takes, each followed by a space
  DWORD (*run)(const Options &, Report *);
};

// The options of install and reconfigure.
#define CONFIG_OPTIONS \
  L"--display --start --error --depends --group --account --password-stdin --description "

const Command kCommands[] = {
    {L"start", L"NAME", 1, L"--timeout ", Start},
    {L"stop", L"NAME", 1,
     L"--timeout --with-dependents --for-update --record --kill-at-deadline --wait-for-folder ",
     Stop},
    {L"restart", L"NAME", 1, L"--timeout --with-dependents ", Restart},
    {L"restore", L"", 0, L"--record --timeout ", Restore},
    {L"query", L"NAME", 1, L"", Query},
    {L"holders", L"FOLDER", 1, L"", Holders},
    {L"config", L"NAME", 1, L"", Config},
    {L"install", L"NAME PATH", 2, CONFIG_OPTIONS L"--unquoted ", Install},
    {L"reconfigure", L"NAME", 1, L"--path " CONFIG_OPTIONS, Reconfigure},
    {L"delete", L"NAME", 1, L"--if-stopped --wait --timeout ", Delete},
    {L"set-recovery", L"NAME", 1, L"--reset --action --on-non-crash-failures ", SetRecovery},
    {L"set-description", L"NAME TEXT", 2, L"", SetDescription},
    {L"set-start", L"NAME auto|delayed-auto|demand|disabled", 2, L"", SetStart},
    {L"control", L"NAME CODE", 2, L"", Control},
};

// Options that take a value; the others are switches.
bool TakesValue(const std::wstring &option) {
  static const wchar_t *const kValued[] = {
      L"--timeout", L"--record",  L"--display",     L"--start", L"--error", L"--depends",
      L"--group",   L"--account", L"--description", L"--path",  L"--reset", L"--action"};
  return IndexOf(option, kValued, 12) >= 0;
}

// Takes one option of the command. Returns false for a malformed value.
bool TakeOption(const std::wstring &option, const std::wstring &value, Options *o) {
  if (option == L"--timeout") {
    if (value == L"infinite") {
      o->timeoutMs = INFINITE;
      return true;
    }
    return ParseNumber(value, INFINITE - 1, &o->timeoutMs);
  }
  if (option == L"--start") return ParseStartType(value, o);
  if (option == L"--error") {
    const int control = IndexOf(value, kErrorControls, 4);
    o->errorControl = static_cast<DWORD>(control);
    return control >= 0;
  }
  if (option == L"--reset") return o->reset = ParseNumber(value, 0xFFFFFFFFu, &o->resetSeconds);
  if (option == L"--action") return ParseAction(value, o);
  std::wstring *const texts[] = {&o->record,  &o->display,     &o->depends, &o->group,
                                 &o->account, &o->description, &o->second};
  static const wchar_t *const kTexts[] = {L"--record",  L"--display",     L"--depends", L"--group",
                                          L"--account", L"--description", L"--path"};
  const int text = IndexOf(option, kTexts, 7);
  if (text >= 0) {
    *texts[text] = value;
    return !value.empty();
  }
  bool *const switches[] = {&o->withDependents, &o->forUpdate, &o->kill,       &o->unquoted,
                            &o->ifStopped,      &o->wait,      &o->onNonCrash, &o->waitForFolder};
  static const wchar_t *const kSwitches[] = {
      L"--with-dependents", L"--for-update", L"--kill-at-deadline",      L"--unquoted",
      L"--if-stopped",      L"--wait",       L"--on-non-crash-failures", L"--wait-for-folder"};
  const int flag = IndexOf(option, kSwitches, 8);
  if (flag >= 0) *switches[flag] = true;
  return true;
}

// Reads what the command's second argument holds (a start type, a control
// code) and says why the parsed command cannot run; empty when it can.
std::wstring WhyNotRunnable(const Command &command, Options *options) {
  const Options &o = *options;
  const std::wstring name = command.name;
  if (name == L"restore" && o.record.empty()) return L"restore needs --record FILE";
  if (name == L"stop" && o.forUpdate && o.record.empty())
    return L"--for-update needs --record FILE";
  if (name == L"stop" && !o.forUpdate && (o.kill || o.waitForFolder || !o.record.empty())) {
    return L"--record, --kill-at-deadline and --wait-for-folder go with --for-update";
  }
  if (name == L"control" && (!ParseNumber(o.second, 255, &options->control) || o.control < 128)) {
    return L"CODE is a user-defined control, 128 to 255";
  }
  if (name == L"set-start" && !ParseStartType(o.second, options)) {
    return L"the start type is auto, delayed-auto, demand or disabled";
  }
  if (name == L"set-recovery" && !o.reset) return L"set-recovery needs --reset SECONDS";
  return std::wstring();
}

void WriteOut(const std::wstring &text) {
  WriteWideText(stdout, STD_OUTPUT_HANDLE, text.c_str(), text.size());
}

void WriteError(const std::wstring &text) {
  WriteWideText(stderr, STD_ERROR_HANDLE, text.c_str(), text.size());
}

std::wstring UsageOf(const Command &command) {
  std::wstring usage = std::wstring(L"usage: servicectl [--json] ") + command.name;
  if (*command.arguments != 0) usage += std::wstring(L" ") + command.arguments;
  const std::wstring options = command.options;
  for (size_t at = 0; at < options.size();) {
    const size_t end = options.find(L' ', at);
    const std::wstring option = options.substr(at, end - at);
    usage += L" [" + option + (TakesValue(option) ? L" VALUE]" : L"]");
    at = end + 1;
  }
  return usage + L"\n";
}

std::wstring AllUsages() {
  std::wstring usage;
  for (const Command &command : kCommands) usage += UsageOf(command);
  return usage + L"       servicectl --version | --help\n";
}

int UsageError(const Command *command, const std::wstring &why) {
  WriteError(L"servicectl: " + why + L"\n" + (command != NULL ? UsageOf(*command) : AllUsages()));
  return static_cast<int>(kUsageError);
}

// The system's text for code, as FormatMessageA gives it; empty for none.
std::string SystemText(DWORD code) {
  char *text = NULL;
  if (FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                         FORMAT_MESSAGE_FROM_SYSTEM,
                     NULL, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                     reinterpret_cast<LPSTR>(&text), 0, NULL) == 0) {
    return std::string();
  }
  const std::string copy = text;
  LocalFree(text);
  return copy;
}

void Print(const Command &command, const Options &o, const Report &report, DWORD elapsedMs) {
  const std::string text = SystemText(report.result);
  if (o.json) {
    std::wstring said = Widened(text);
    while (!said.empty() && (said.back() == L'\n' || said.back() == L'\r')) said.pop_back();
    std::wstring json = L"{\"command\":" + Quoted(command.name) + L",\"service\":" +
                        Quoted(o.name) + L",\"result\":" + Number(report.result) + L",\"text\":" +
                        Quoted(said) + L",\"elapsedMs\":" + Number(elapsedMs) + L",\"data\":{";
    for (size_t i = 0; i < report.data.size(); ++i) {
      json += (i == 0 ? L"" : L",") +
              Quoted(std::wstring(report.data[i].first.begin(), report.data[i].first.end())) +
              L":" + report.data[i].second;
    }
    WriteOut(json + L"}}\n");
    return;
  }
  if (report.result == ERROR_SUCCESS) {
    WriteOut(report.line + L" (" + Milliseconds(elapsedMs) + L")\n");
    return;
  }
  WriteError(L"servicectl " + std::wstring(command.name) + (o.name.empty() ? L"" : L" ") + o.name +
             L": error " + Number(report.result) + L": ");
  if (text.empty()) {
    WriteError(L"the system has no text for it\n");
  } else {
    WriteSystemText(stderr, STD_ERROR_HANDLE, text.c_str());
  }
}

}  // namespace

int RunServicectl(int argc, const wchar_t *const *argv) {
  std::vector<std::wstring> words;
  Options o;
  bool help = false;
  for (int i = 1; i < argc; ++i) {
    const std::wstring word = argv[i];
    if (word == L"--json") {
      o.json = true;
    } else if (word == L"--help" || word == L"-h" || word == L"/?") {
      help = true;
    } else {
      words.push_back(word);
    }
  }
  if (words.empty()) {
    if (help) {
      WriteOut(AllUsages());
      return 0;
    }
    return UsageError(NULL, L"no command");
  }
  if (words[0] == L"--version") {
    WriteOut(L"servicectl " TESSERA_VERSION_WIDE L"\n");
    return 0;
  }
  const Command *command = NULL;
  for (const Command &known : kCommands) {
    if (words[0] == known.name) command = &known;
  }
  if (command == NULL) return UsageError(NULL, L"unknown command '" + words[0] + L"'");
  if (help) {
    WriteOut(UsageOf(*command));
    return 0;
  }
  int positionals = 0;
  for (size_t i = 1; i < words.size(); ++i) {
    const std::wstring &word = words[i];
    if (word.compare(0, 2, L"--") != 0) {
      if (positionals == command->positionals) return UsageError(command, L"too many arguments");
      (positionals++ == 0 && command->positionals > 0 ? o.name : o.second) = word;
      continue;
    }
    if (std::wstring(command->options).find(word + L" ") == std::wstring::npos) {
      return UsageError(command, L"unknown option " + word);
    }
    const bool valued = TakesValue(word);
    if (valued && i + 1 == words.size()) return UsageError(command, word + L" needs a value");
    if (!TakeOption(word, valued ? words[++i] : std::wstring(), &o)) {
      return UsageError(command, L"bad value for " + word + L": " + words[i]);
    }
    if (word == L"--password-stdin") o.password = ReadPasswordLine();
  }
  if (positionals < command->positionals) {
    return UsageError(command, std::wstring(L"missing ") + command->arguments);
  }
  const std::wstring why = WhyNotRunnable(*command, &o);
  if (!why.empty()) return UsageError(command, why);
  Report report;
  const DWORD started = GetTickCount();
  command->run(o, &report);
  Print(*command, o, report, GetTickCount() - started);
  fflush(stdout);
  fflush(stderr);
  return static_cast<int>(report.result);
}
