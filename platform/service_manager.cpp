// The simulated Service Control Manager: services with a configuration and a
// status that follows a script over virtual time, and handles with their
// access masks. Access and control rules are those of the real manager, and
// so is its keeping of names and paths in UTF-16, with the ANSI calls
// converting through the ANSI code page.
#include <cstdint>
#include <cstring>
#include <map>

#include "internal.h"

namespace standin {
namespace {

// The texts of a service as the manager keeps them.
struct Texts {
  WideString name;
  WideString display_name;
  WideString binary_path;
  WideString load_order_group;
  WideString dependencies;  // each name with its zero
  WideString account;
  WideString password;
};

struct Service {
  ServiceSetup setup;  // its texts are not used once the service is added
  Texts text;
  std::vector<WideString> started_programs;
  bool started = false;
  unsigned long long started_at = 0;
  bool stopping = false;
  unsigned long long stop_at = 0;
  DWORD exit_code = 0;
  std::vector<DWORD> controls;
  bool marked_for_delete = false;
};

struct Handle {
  bool is_manager;
  DWORD access;
  WideString service;  // key name, for service handles
};

std::vector<Service> services;
std::map<std::uintptr_t, Handle> handles;
std::uintptr_t next_handle = 1;
bool close_overwrites_last_error = false;
DWORD close_last_error = 0;

// Names compare without regard to the case of ASCII letters.
WCHAR Folded(WCHAR c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; }

Service *FindService(const WideString &name) {
  for (Service &service : services) {
    const WideString &held = service.text.name;
    if (held.size() != name.size()) continue;
    size_t i = 0;
    while (i < name.size() && Folded(held[i]) == Folded(name[i])) ++i;
    if (i == name.size()) return &service;
  }
  return nullptr;
}

Service *FindService(const char *name) { return FindService(AnsiToWide(name)); }

SC_HANDLE NewHandle(bool is_manager, DWORD access, const WideString &service) {
  const std::uintptr_t id = next_handle++;
  handles[id] = Handle{is_manager, access, service};
  return reinterpret_cast<SC_HANDLE>(id);
}

const Handle *FindHandle(SC_HANDLE handle) {
  auto found = handles.find(reinterpret_cast<std::uintptr_t>(handle));
  return found == handles.end() ? nullptr : &found->second;
}

// The step of the start script that applies now; the script is never empty.
const StatusStep &CurrentStep(const Service &service) {
  const unsigned long long since_start = Now() - service.started_at;
  const StatusStep *current = &service.setup.start_script.front();
  for (const StatusStep &step : service.setup.start_script) {
    if (step.at_ms <= since_start) current = &step;
  }
  return *current;
}

// Brings the service's state up to the current virtual time.
void Settle(Service &service) {
  if (service.stopping && service.setup.stop_ms != INFINITE &&
      Now() - service.stop_at >= service.setup.stop_ms) {
    service.started = false;
    service.stopping = false;
    service.exit_code = 0;
  } else if (service.started && !service.stopping &&
             CurrentStep(service).state == SERVICE_STOPPED) {
    service.started = false;
    service.exit_code = service.setup.exit_code;
  }
}

SERVICE_STATUS_PROCESS StatusOf(Service &service) {
  Settle(service);
  SERVICE_STATUS_PROCESS status{};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  if (!service.started) {
    status.dwCurrentState = SERVICE_STOPPED;
    status.dwWin32ExitCode = service.exit_code;
    return status;
  }
  status.dwProcessId = 100 + static_cast<DWORD>(&service - services.data());
  if (service.stopping) {
    status.dwCurrentState = SERVICE_STOP_PENDING;
    return status;
  }
  const StatusStep &step = CurrentStep(service);
  status.dwCurrentState = step.state;
  status.dwCheckPoint = step.check_point;
  status.dwWaitHint = step.wait_hint;
  if (step.state == SERVICE_RUNNING) status.dwControlsAccepted = service.setup.controls_accepted;
  return status;
}

void CopyStatus(const SERVICE_STATUS_PROCESS &from, SERVICE_STATUS *to) {
  std::memcpy(to, &from, sizeof *to);
}

// Looks up the service behind a service handle that carries the needed right.
Service *ServiceFor(SC_HANDLE handle, DWORD needed_access) {
  const Handle *found = FindHandle(handle);
  if (found == nullptr || found->is_manager) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if ((found->access & needed_access) != needed_access) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  return FindService(found->service);
}

// Checks a manager handle for the needed right and a service name for its
// form, as the real manager does; false with the last error set otherwise.
bool CheckManagerAndName(SC_HANDLE manager, DWORD needed_access, const WCHAR *name) {
  const Handle *found = FindHandle(manager);
  DWORD refusal = 0;
  if (found == nullptr || !found->is_manager) {
    refusal = ERROR_INVALID_HANDLE;
  } else if ((found->access & needed_access) != needed_access) {
    refusal = ERROR_ACCESS_DENIED;
  } else if (name == nullptr) {
    refusal = ERROR_INVALID_ADDRESS;
  } else if (*name == 0 || WideString(name).find_first_of(L"/\\") != WideString::npos) {
    refusal = ERROR_INVALID_NAME;
  }
  if (refusal != 0) SetLastError(refusal);
  return refusal == 0;
}

// Boot and system start are for drivers; a program service may start
// automatically, on demand, or not at all.
bool IsProgramStartType(DWORD start_type) {
  return start_type >= SERVICE_AUTO_START && start_type <= SERVICE_DISABLED;
}

// A service marked for deletion goes once no handle refers to it.
void RemoveIfDeletedAndUnused(const WideString &name) {
  for (const auto &entry : handles) {
    if (entry.second.service == name) return;
  }
  for (size_t i = 0; i < services.size(); ++i) {
    if (services[i].text.name == name && services[i].marked_for_delete) {
      services.erase(services.begin() + static_cast<std::ptrdiff_t>(i));
      return;
    }
  }
}

// The dependency list's names, each with its zero, without the closing zero.
template <typename Char>
std::basic_string<Char> DependencyNames(const Char *list) {
  std::basic_string<Char> names;
  if (list == nullptr) return names;
  while (*list != 0) {
    const std::basic_string<Char> name(list);
    names += name;
    names += Char(0);
    list += name.size() + 1;
  }
  return names;
}

// A string argument of a call, as the manager takes it: converted from the
// ANSI code page, or as it is; null stays null.
struct Text {
  bool null;
  WideString value;
  const WCHAR *get() const { return null ? nullptr : value.c_str(); }
};

Text Argument(const char *text) {
  return text == nullptr ? Text{true, {}} : Text{false, AnsiToWide(text)};
}

Text Argument(const WCHAR *text) { return text == nullptr ? Text{true, {}} : Text{false, text}; }

// A dependency list argument: its names, each with its zero.
Text DependencyList(const char *list) {
  return list == nullptr ? Text{true, {}} : Text{false, AnsiToWide(DependencyNames(list))};
}

Text DependencyList(const WCHAR *list) {
  return list == nullptr ? Text{true, {}} : Text{false, DependencyNames(list)};
}

bool IsUserDefined(DWORD control) { return control >= 128 && control <= 255; }

// The right a control code needs, or 0 for a code the manager refuses outright.
DWORD AccessForControl(DWORD control) {
  if (IsUserDefined(control)) return SERVICE_USER_DEFINED_CONTROL;
  switch (control) {
    case SERVICE_CONTROL_STOP:
      return SERVICE_STOP;
    case SERVICE_CONTROL_INTERROGATE:
      return SERVICE_INTERROGATE;
    case SERVICE_CONTROL_PAUSE:
    case SERVICE_CONTROL_CONTINUE:
    case SERVICE_CONTROL_PARAMCHANGE:
      return SERVICE_PAUSE_CONTINUE;
    default:
      if (control >= SERVICE_CONTROL_NETBINDADD && control <= SERVICE_CONTROL_NETBINDDISABLE) {
        return SERVICE_PAUSE_CONTINUE;
      }
      return 0;
  }
}

// Whether a running service takes the control, by what it said it accepts.
bool RunningServiceAccepts(const Service &service, DWORD control) {
  const DWORD accepted = service.setup.controls_accepted;
  if (IsUserDefined(control) || control == SERVICE_CONTROL_INTERROGATE) return true;
  switch (control) {
    case SERVICE_CONTROL_STOP:
      return accepted & SERVICE_ACCEPT_STOP;
    case SERVICE_CONTROL_PAUSE:
    case SERVICE_CONTROL_CONTINUE:
      return accepted & SERVICE_ACCEPT_PAUSE_CONTINUE;
    case SERVICE_CONTROL_PARAMCHANGE:
      return accepted & SERVICE_ACCEPT_PARAMCHANGE;
    default:
      return accepted & SERVICE_ACCEPT_NETBINDCHANGE;
  }
}

// Refusal code for a valid control in the service's state, or 0 when it is taken.
DWORD RefusalFor(const Service &service, DWORD state, DWORD control) {
  switch (state) {
    case SERVICE_STOPPED:
      return ERROR_SERVICE_NOT_ACTIVE;
    case SERVICE_START_PENDING:
      return control == SERVICE_CONTROL_STOP ? 0 : ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
    case SERVICE_RUNNING:
      return RunningServiceAccepts(service, control) ? 0 : ERROR_INVALID_SERVICE_CONTROL;
    default:
      return ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
  }
}

}  // namespace

void Reset() {
  ResetCallLog();
  ResetKernel();
  ResetConsole();
  services.clear();
  handles.clear();
  next_handle = 1;
  close_overwrites_last_error = false;
}

void AddService(const ServiceSetup &setup) {
  Service service;
  service.setup = setup;
  const auto wide = [](const WideString &given, const std::string &ansi) {
    return given.empty() ? AnsiToWide(ansi) : given;
  };
  service.text = Texts{AnsiToWide(setup.name),
                       wide(setup.wide_display_name, setup.display_name),
                       wide(setup.wide_binary_path, setup.binary_path),
                       wide(setup.wide_load_order_group, setup.load_order_group),
                       wide(setup.wide_dependencies, setup.dependencies),
                       AnsiToWide(setup.account),
                       AnsiToWide(setup.password)};
  if (service.setup.start_script.empty()) {
    service.setup.start_script.push_back(StatusStep{0, SERVICE_RUNNING, 0, 0});
  }
  service.started = setup.started;
  service.started_at = Now();
  services.push_back(service);
}

DWORD ServiceState(const char *name) {
  Service *service = FindService(name);
  return service == nullptr ? 0 : StatusOf(*service).dwCurrentState;
}

std::vector<DWORD> ControlsReceived(const char *name) {
  Service *service = FindService(name);
  return service == nullptr ? std::vector<DWORD>() : service->controls;
}

std::vector<WideString> StartedPrograms(const char *name) {
  Service *service = FindService(name);
  return service == nullptr ? std::vector<WideString>() : service->started_programs;
}

void SetCloseOverwritesLastError(bool enabled, DWORD value) {
  close_overwrites_last_error = enabled;
  close_last_error = value;
}

int OpenHandleCount() { return static_cast<int>(handles.size()); }

bool ServiceConfig(const char *name, ServiceSetup *config) {
  const Service *service = FindService(name);
  if (service == nullptr) return false;
  *config = service->setup;
  const Texts &text = service->text;
  config->name = WideToAnsi(text.name);
  config->display_name = WideToAnsi(text.display_name);
  config->binary_path = WideToAnsi(text.binary_path);
  config->load_order_group = WideToAnsi(text.load_order_group);
  config->dependencies = WideToAnsi(text.dependencies);
  config->account = WideToAnsi(text.account);
  config->password = WideToAnsi(text.password);
  config->wide_display_name = text.display_name;
  config->wide_binary_path = text.binary_path;
  config->wide_load_order_group = text.load_order_group;
  config->wide_dependencies = text.dependencies;
  return true;
}

}  // namespace standin

namespace standin {
namespace {

SC_HANDLE OpenManager(const char *function, const std::string &arguments, DWORD desiredAccess) {
  if (EnterCall(function, arguments + ", " + HexText(desiredAccess))) return nullptr;
  return NewHandle(true, desiredAccess, WideString());
}

SC_HANDLE OpenNamedService(SC_HANDLE manager, const Text &name, DWORD desiredAccess) {
  if (!CheckManagerAndName(manager, 0, name.get())) return nullptr;
  const Service *service = FindService(name.value);
  if (service == nullptr) {
    SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
    return nullptr;
  }
  return NewHandle(false, desiredAccess, service->text.name);
}

BOOL Start(SC_HANDLE service) {
  Service *found = ServiceFor(service, SERVICE_START);
  if (found == nullptr) return FALSE;
  if (found->setup.start_type == SERVICE_DISABLED) {
    SetLastError(ERROR_SERVICE_DISABLED);
    return FALSE;
  }
  if (StatusOf(*found).dwCurrentState != SERVICE_STOPPED) {
    SetLastError(ERROR_SERVICE_ALREADY_RUNNING);
    return FALSE;
  }
  // A process that ends before it reports any status never started.
  if (found->setup.start_script.front().state == SERVICE_STOPPED &&
      found->setup.start_script.front().at_ms == 0) {
    SetLastError(ERROR_SERVICE_REQUEST_TIMEOUT);
    return FALSE;
  }
  found->started = true;
  found->stopping = false;
  found->started_at = Now();
  found->started_programs.push_back(found->text.binary_path);
  return TRUE;
}

// The texts of a new service or of a change; a null text is no text (or no change).
struct ConfigTexts {
  Text name;
  Text display_name;
  Text binary_path;
  Text load_order_group;
  Text dependencies;
  Text account;
  Text password;
};

SC_HANDLE Create(SC_HANDLE manager, const ConfigTexts &text, DWORD desiredAccess, DWORD serviceType,
                 DWORD startType, DWORD errorControl) {
  if (!CheckManagerAndName(manager, SC_MANAGER_CREATE_SERVICE, text.name.get())) return nullptr;
  if (text.binary_path.null || text.binary_path.value.empty() || !IsProgramStartType(startType)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (const Service *existing = FindService(text.name.value)) {
    SetLastError(existing->marked_for_delete ? ERROR_SERVICE_MARKED_FOR_DELETE
                                             : ERROR_SERVICE_EXISTS);
    return nullptr;
  }
  ServiceSetup setup;
  setup.service_type = serviceType;
  setup.start_type = startType;
  setup.error_control = errorControl;
  AddService(setup);
  services.back().text = Texts{
      text.name.value,         text.display_name.null ? text.name.value : text.display_name.value,
      text.binary_path.value,  text.load_order_group.value,
      text.dependencies.value, text.account.null ? AnsiToWide("LocalSystem") : text.account.value,
      text.password.value};
  return NewHandle(false, desiredAccess, text.name.value);
}

BOOL ChangeConfig(SC_HANDLE service, const ConfigTexts &text, DWORD serviceType, DWORD startType,
                  DWORD errorControl) {
  Service *found = ServiceFor(service, SERVICE_CHANGE_CONFIG);
  if (found == nullptr) return FALSE;
  if (found->marked_for_delete) {
    SetLastError(ERROR_SERVICE_MARKED_FOR_DELETE);
    return FALSE;
  }
  if (startType != SERVICE_NO_CHANGE && !IsProgramStartType(startType)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  ServiceSetup &setup = found->setup;
  if (serviceType != SERVICE_NO_CHANGE) setup.service_type = serviceType;
  if (startType != SERVICE_NO_CHANGE) setup.start_type = startType;
  if (errorControl != SERVICE_NO_CHANGE) setup.error_control = errorControl;
  Texts &held = found->text;
  const std::pair<const Text *, WideString *> changes[] = {
      {&text.binary_path, &held.binary_path},   {&text.load_order_group, &held.load_order_group},
      {&text.dependencies, &held.dependencies}, {&text.account, &held.account},
      {&text.password, &held.password},         {&text.display_name, &held.display_name}};
  for (const auto &change : changes) {
    if (!change.first->null) *change.second = change.first->value;
  }
  return TRUE;
}

// The configuration record with its texts in Char: UTF-16 as the manager
// keeps them, or converted to the ANSI code page.
template <typename Char, typename Config>
BOOL QueryConfig(const char *function, SC_HANDLE service, Config *config, DWORD bufferSize,
                 LPDWORD bytesNeeded, std::basic_string<Char> (*convert)(const WideString &)) {
  if (EnterCall(function, HandleText(service) + ", " + PointerText(config) + ", " +
                              std::to_string(bufferSize) + ", " + PointerText(bytesNeeded))) {
    return FALSE;
  }
  Service *found = ServiceFor(service, SERVICE_QUERY_CONFIG);
  if (found == nullptr) return FALSE;
  if (bytesNeeded == nullptr) {
    SetLastError(ERROR_INVALID_ADDRESS);
    return FALSE;
  }
  const ServiceSetup &setup = found->setup;
  Texts &text = found->text;
  typedef std::basic_string<Char> String;
  const Char zero = 0;
  // The strings follow the record in one buffer; an empty dependency list is
  // a single zero, with the account name right after it.
  const String strings[] = {
      convert(text.binary_path) + zero, convert(text.load_order_group) + zero,
      text.dependencies.empty() ? String(1, zero) : convert(text.dependencies) + zero,
      convert(text.account) + zero, convert(text.display_name) + zero};
  DWORD needed = sizeof(Config);
  for (const String &string : strings) needed += static_cast<DWORD>(string.size() * sizeof(Char));
  *bytesNeeded = setup.reported_size != 0 ? setup.reported_size : needed;
  if (config == nullptr || bufferSize < needed) {
    text.display_name.append(setup.grows_after_size_query, '+');
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  Char *next = reinterpret_cast<Char *>(config + 1);
  Char **fields[] = {&config->lpBinaryPathName, &config->lpLoadOrderGroup, &config->lpDependencies,
                     &config->lpServiceStartName, &config->lpDisplayName};
  for (size_t i = 0; i < 5; ++i) {
    std::memcpy(next, strings[i].data(), strings[i].size() * sizeof(Char));
    *fields[i] = next;
    next += strings[i].size();
  }
  if (setup.null_dependencies) config->lpDependencies = nullptr;
  config->dwServiceType = setup.service_type;
  config->dwStartType = setup.start_type;
  config->dwErrorControl = setup.error_control;
  config->dwTagId = setup.tag;
  return TRUE;
}

WideString AsWide(const WideString &text) { return text; }

// A change of one optional setting, with the platform's checks on its value.
template <typename Char, typename Description, typename FailureActions>
BOOL ChangeOptional(const char *function, SC_HANDLE service, DWORD level, LPVOID info) {
  if (EnterCall(function,
                HandleText(service) + ", " + std::to_string(level) + ", " + PointerText(info))) {
    return FALSE;
  }
  Service *found = ServiceFor(service, SERVICE_CHANGE_CONFIG);
  if (found == nullptr) return FALSE;
  if (found->marked_for_delete) {
    SetLastError(ERROR_SERVICE_MARKED_FOR_DELETE);
    return FALSE;
  }
  if (level < SERVICE_CONFIG_DESCRIPTION || level > SERVICE_CONFIG_FAILURE_ACTIONS_FLAG) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  // No information leaves the setting as it is.
  if (info == nullptr) return TRUE;
  ServiceSetup &settings = found->setup;
  if (level == SERVICE_CONFIG_DESCRIPTION) {
    const Char *text = static_cast<Description *>(info)->lpDescription;
    if (text != nullptr) settings.description = Argument(text).value;
  } else if (level == SERVICE_CONFIG_FAILURE_ACTIONS) {
    const FailureActions &given = *static_cast<FailureActions *>(info);
    // Without actions, the actions and the reset period stay as they are.
    if (given.lpsaActions != nullptr) {
      bool restarts = false;
      for (DWORD i = 0; i < given.cActions; ++i) {
        // A caller may pass any value, which the enumeration cannot hold.
        DWORD type;
        std::memcpy(&type, &given.lpsaActions[i].Type, sizeof type);
        if (type > SC_ACTION_RUN_COMMAND) {
          SetLastError(ERROR_INVALID_PARAMETER);
          return FALSE;
        }
        restarts = restarts || type == SC_ACTION_RESTART;
      }
      // Restarting the service takes the right to start it.
      if (restarts && ServiceFor(service, SERVICE_START) == nullptr) return FALSE;
      settings.failure_actions.assign(given.lpsaActions, given.lpsaActions + given.cActions);
      settings.reset_period = given.dwResetPeriod;
    }
    if (given.lpRebootMsg != nullptr) settings.reboot_message = Argument(given.lpRebootMsg).value;
    if (given.lpCommand != nullptr) settings.command = Argument(given.lpCommand).value;
  } else if (level == SERVICE_CONFIG_DELAYED_AUTO_START_INFO) {
    settings.delayed_auto_start =
        static_cast<SERVICE_DELAYED_AUTO_START_INFO *>(info)->fDelayedAutostart != FALSE;
  } else {
    settings.on_non_crash_failures =
        static_cast<SERVICE_FAILURE_ACTIONS_FLAG *>(info)->fFailureActionsOnNonCrashFailures !=
        FALSE;
  }
  return TRUE;
}

// One optional setting in the platform's record, its texts after it in the
// buffer (an empty text is a null pointer).
template <typename Char, typename Description, typename FailureActions>
BOOL QueryOptional(const char *function, SC_HANDLE service, DWORD level, LPBYTE buffer,
                   DWORD bufferSize, LPDWORD bytesNeeded,
                   std::basic_string<Char> (*convert)(const WideString &)) {
  if (EnterCall(function, HandleText(service) + ", " + std::to_string(level) + ", " +
                              PointerText(buffer) + ", " + std::to_string(bufferSize) + ", " +
                              PointerText(bytesNeeded))) {
    return FALSE;
  }
  Service *found = ServiceFor(service, SERVICE_QUERY_CONFIG);
  if (found == nullptr) return FALSE;
  if (level < SERVICE_CONFIG_DESCRIPTION || level > SERVICE_CONFIG_FAILURE_ACTIONS_FLAG) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  if (bytesNeeded == nullptr) {
    SetLastError(ERROR_INVALID_ADDRESS);
    return FALSE;
  }
  const ServiceSetup &settings = found->setup;
  typedef std::basic_string<Char> String;
  const auto text_size = [](const String &text) {
    return text.empty() ? 0 : static_cast<DWORD>((text.size() + 1) * sizeof(Char));
  };
  const String description = convert(settings.description);
  const String reboot_message = convert(settings.reboot_message);
  const String command = convert(settings.command);
  const DWORD actions_size =
      static_cast<DWORD>(settings.failure_actions.size() * sizeof(SC_ACTION));
  const DWORD sizes[] = {0, static_cast<DWORD>(sizeof(Description)) + text_size(description),
                         static_cast<DWORD>(sizeof(FailureActions)) + actions_size +
                             text_size(reboot_message) + text_size(command),
                         sizeof(SERVICE_DELAYED_AUTO_START_INFO),
                         sizeof(SERVICE_FAILURE_ACTIONS_FLAG)};
  *bytesNeeded = sizes[level];
  if (buffer == nullptr || bufferSize < sizes[level]) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memset(buffer, 0, sizes[level]);
  // Places a text after the record and returns where it went, or null for none.
  BYTE *next = buffer;
  const auto place = [&next](const String &text) -> Char * {
    if (text.empty()) return nullptr;
    Char *at = reinterpret_cast<Char *>(next);
    std::memcpy(at, text.c_str(), (text.size() + 1) * sizeof(Char));
    next += (text.size() + 1) * sizeof(Char);
    return at;
  };
  if (level == SERVICE_CONFIG_DESCRIPTION) {
    next += sizeof(Description);
    reinterpret_cast<Description *>(buffer)->lpDescription = place(description);
  } else if (level == SERVICE_CONFIG_FAILURE_ACTIONS) {
    FailureActions *record = reinterpret_cast<FailureActions *>(buffer);
    next += sizeof(FailureActions);
    record->dwResetPeriod = settings.reset_period;
    record->cActions = static_cast<DWORD>(settings.failure_actions.size());
    record->lpsaActions = nullptr;
    if (!settings.failure_actions.empty()) {
      record->lpsaActions = reinterpret_cast<SC_ACTION *>(next);
      std::memcpy(next, settings.failure_actions.data(), actions_size);
      next += actions_size;
    }
    record->lpRebootMsg = place(reboot_message);
    record->lpCommand = place(command);
  } else if (level == SERVICE_CONFIG_DELAYED_AUTO_START_INFO) {
    reinterpret_cast<SERVICE_DELAYED_AUTO_START_INFO *>(buffer)->fDelayedAutostart =
        settings.delayed_auto_start;
  } else {
    reinterpret_cast<SERVICE_FAILURE_ACTIONS_FLAG *>(buffer)->fFailureActionsOnNonCrashFailures =
        settings.on_non_crash_failures;
  }
  return TRUE;
}

// The string arguments of a call's A and W forms, as the log shows them.
std::string ArgumentText(const char *text) { return StringText(text); }
std::string ArgumentText(const WCHAR *text) { return WideStringText(text); }

template <typename Char>
SC_HANDLE OpenManagerLogged(const char *function, const Char *machineName, const Char *databaseName,
                            DWORD desiredAccess) {
  return OpenManager(function, ArgumentText(machineName) + ", " + ArgumentText(databaseName),
                     desiredAccess);
}

template <typename Char>
SC_HANDLE OpenServiceLogged(const char *function, SC_HANDLE manager, const Char *serviceName,
                            DWORD desiredAccess) {
  if (EnterCall(function, HandleText(manager) + ", " + ArgumentText(serviceName) + ", " +
                              HexText(desiredAccess))) {
    return nullptr;
  }
  return OpenNamedService(manager, Argument(serviceName), desiredAccess);
}

template <typename Char>
BOOL StartLogged(const char *function, SC_HANDLE service, DWORD argc, const Char **argv) {
  if (EnterCall(function,
                HandleText(service) + ", " + std::to_string(argc) + ", " + PointerText(argv))) {
    return FALSE;
  }
  return Start(service);
}

template <typename Char>
SC_HANDLE CreateLogged(const char *function, SC_HANDLE manager, const Char *serviceName,
                       const Char *displayName, DWORD desiredAccess, DWORD serviceType,
                       DWORD startType, DWORD errorControl, const Char *binaryPathName,
                       const Char *loadOrderGroup, LPDWORD tagId, const Char *dependencies,
                       const Char *serviceStartName, const Char *password) {
  if (EnterCall(function, HandleText(manager) + ", " + ArgumentText(serviceName) + ", " +
                              ArgumentText(displayName) + ", " + HexText(desiredAccess) + ", " +
                              HexText(serviceType) + ", " + std::to_string(startType) + ", " +
                              std::to_string(errorControl) + ", " + ArgumentText(binaryPathName) +
                              ", " + ArgumentText(loadOrderGroup) + ", " + PointerText(tagId) +
                              ", " + ArgumentText(dependencies) + ", " +
                              ArgumentText(serviceStartName) + ", " + ArgumentText(password))) {
    return nullptr;
  }
  return Create(manager,
                ConfigTexts{Argument(serviceName), Argument(displayName), Argument(binaryPathName),
                            Argument(loadOrderGroup), DependencyList(dependencies),
                            Argument(serviceStartName), Argument(password)},
                desiredAccess, serviceType, startType, errorControl);
}

template <typename Char>
BOOL ChangeLogged(const char *function, SC_HANDLE service, DWORD serviceType, DWORD startType,
                  DWORD errorControl, const Char *binaryPathName, const Char *loadOrderGroup,
                  LPDWORD tagId, const Char *dependencies, const Char *serviceStartName,
                  const Char *password, const Char *displayName) {
  if (EnterCall(function, HandleText(service) + ", " + HexText(serviceType) + ", " +
                              HexText(startType) + ", " + HexText(errorControl) + ", " +
                              ArgumentText(binaryPathName) + ", " + ArgumentText(loadOrderGroup) +
                              ", " + PointerText(tagId) + ", " + ArgumentText(dependencies) + ", " +
                              ArgumentText(serviceStartName) + ", " + ArgumentText(password) +
                              ", " + ArgumentText(displayName))) {
    return FALSE;
  }
  return ChangeConfig(service,
                      ConfigTexts{Text{true, {}}, Argument(displayName), Argument(binaryPathName),
                                  Argument(loadOrderGroup), DependencyList(dependencies),
                                  Argument(serviceStartName), Argument(password)},
                      serviceType, startType, errorControl);
}

}  // namespace
}  // namespace standin

using namespace standin;

extern "C" {

SC_HANDLE WINAPI OpenSCManagerA(LPCSTR machineName, LPCSTR databaseName, DWORD desiredAccess) {
  return OpenManagerLogged("OpenSCManagerA", machineName, databaseName, desiredAccess);
}

SC_HANDLE WINAPI OpenSCManagerW(LPCWSTR machineName, LPCWSTR databaseName, DWORD desiredAccess) {
  return OpenManagerLogged("OpenSCManagerW", machineName, databaseName, desiredAccess);
}

SC_HANDLE WINAPI OpenServiceA(SC_HANDLE manager, LPCSTR serviceName, DWORD desiredAccess) {
  return OpenServiceLogged("OpenServiceA", manager, serviceName, desiredAccess);
}

SC_HANDLE WINAPI OpenServiceW(SC_HANDLE manager, LPCWSTR serviceName, DWORD desiredAccess) {
  return OpenServiceLogged("OpenServiceW", manager, serviceName, desiredAccess);
}

BOOL WINAPI CloseServiceHandle(SC_HANDLE handle) {
  // An injected failure still releases the handle: the caller cannot do more
  // than call, and a test then sees only what the caller did.
  const bool fail = EnterCall("CloseServiceHandle", HandleText(handle));
  const Handle *closing = FindHandle(handle);
  const WideString service = closing == nullptr ? WideString() : closing->service;
  const bool known = handles.erase(reinterpret_cast<std::uintptr_t>(handle)) != 0;
  RemoveIfDeletedAndUnused(service);
  if (fail) return FALSE;
  if (!known) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (close_overwrites_last_error) SetLastError(close_last_error);
  return TRUE;
}

BOOL WINAPI StartServiceA(SC_HANDLE service, DWORD argc, LPCSTR *argv) {
  return StartLogged("StartServiceA", service, argc, argv);
}

BOOL WINAPI StartServiceW(SC_HANDLE service, DWORD argc, LPCWSTR *argv) {
  return StartLogged("StartServiceW", service, argc, argv);
}
BOOL WINAPI QueryServiceStatus(SC_HANDLE service, LPSERVICE_STATUS status) {
  if (EnterCall("QueryServiceStatus", HandleText(service) + ", " + PointerText(status))) {
    return FALSE;
  }
  Service *found = ServiceFor(service, SERVICE_QUERY_STATUS);
  if (found == nullptr) return FALSE;
  if (status == nullptr) {
    SetLastError(ERROR_INVALID_ADDRESS);
    return FALSE;
  }
  CopyStatus(StatusOf(*found), status);
  return TRUE;
}

BOOL WINAPI QueryServiceStatusEx(SC_HANDLE service, SC_STATUS_TYPE infoLevel, LPBYTE buffer,
                                 DWORD bufferSize, LPDWORD bytesNeeded) {
  if (EnterCall("QueryServiceStatusEx", HandleText(service) + ", " + std::to_string(infoLevel) +
                                            ", " + PointerText(buffer) + ", " +
                                            std::to_string(bufferSize) + ", " +
                                            PointerText(bytesNeeded))) {
    return FALSE;
  }
  Service *found = ServiceFor(service, SERVICE_QUERY_STATUS);
  if (found == nullptr) return FALSE;
  if (infoLevel != SC_STATUS_PROCESS_INFO) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  if (bytesNeeded == nullptr) {
    SetLastError(ERROR_INVALID_ADDRESS);
    return FALSE;
  }
  *bytesNeeded = sizeof(SERVICE_STATUS_PROCESS);
  if (bufferSize < sizeof(SERVICE_STATUS_PROCESS)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  const SERVICE_STATUS_PROCESS status = StatusOf(*found);
  std::memcpy(buffer, &status, sizeof status);
  return TRUE;
}

BOOL WINAPI ControlService(SC_HANDLE service, DWORD control, LPSERVICE_STATUS status) {
  if (EnterCall("ControlService", HandleText(service) + ", " + std::to_string(control) + ", " +
                                      PointerText(status))) {
    return FALSE;
  }
  const Handle *handle = FindHandle(service);
  if (handle == nullptr || handle->is_manager) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  // The code is checked before the rights, as the real manager does.
  const DWORD needed = AccessForControl(control);
  if (needed == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Service *found = ServiceFor(service, needed);
  if (found == nullptr) return FALSE;
  if (status == nullptr) {
    SetLastError(ERROR_INVALID_ADDRESS);
    return FALSE;
  }
  const DWORD refusal = RefusalFor(*found, StatusOf(*found).dwCurrentState, control);
  if (refusal == 0) {
    found->controls.push_back(control);
    if (control == SERVICE_CONTROL_STOP) {
      found->stopping = true;
      found->stop_at = Now();
    }
  }
  CopyStatus(StatusOf(*found), status);
  if (refusal != 0) {
    SetLastError(refusal);
    return FALSE;
  }
  return TRUE;
}

BOOL WINAPI DeleteService(SC_HANDLE service) {
  if (EnterCall("DeleteService", HandleText(service))) return FALSE;
  Service *found = ServiceFor(service, DELETE);
  if (found == nullptr) return FALSE;
  if (found->marked_for_delete) {
    SetLastError(ERROR_SERVICE_MARKED_FOR_DELETE);
    return FALSE;
  }
  found->marked_for_delete = true;
  return TRUE;
}

SC_HANDLE WINAPI CreateServiceA(SC_HANDLE manager, LPCSTR serviceName, LPCSTR displayName,
                                DWORD desiredAccess, DWORD serviceType, DWORD startType,
                                DWORD errorControl, LPCSTR binaryPathName, LPCSTR loadOrderGroup,
                                LPDWORD tagId, LPCSTR dependencies, LPCSTR serviceStartName,
                                LPCSTR password) {
  return CreateLogged("CreateServiceA", manager, serviceName, displayName, desiredAccess,
                      serviceType, startType, errorControl, binaryPathName, loadOrderGroup, tagId,
                      dependencies, serviceStartName, password);
}

SC_HANDLE WINAPI CreateServiceW(SC_HANDLE manager, LPCWSTR serviceName, LPCWSTR displayName,
                                DWORD desiredAccess, DWORD serviceType, DWORD startType,
                                DWORD errorControl, LPCWSTR binaryPathName, LPCWSTR loadOrderGroup,
                                LPDWORD tagId, LPCWSTR dependencies, LPCWSTR serviceStartName,
                                LPCWSTR password) {
  return CreateLogged("CreateServiceW", manager, serviceName, displayName, desiredAccess,
                      serviceType, startType, errorControl, binaryPathName, loadOrderGroup, tagId,
                      dependencies, serviceStartName, password);
}

BOOL WINAPI ChangeServiceConfigA(SC_HANDLE service, DWORD serviceType, DWORD startType,
                                 DWORD errorControl, LPCSTR binaryPathName, LPCSTR loadOrderGroup,
                                 LPDWORD tagId, LPCSTR dependencies, LPCSTR serviceStartName,
                                 LPCSTR password, LPCSTR displayName) {
  return ChangeLogged("ChangeServiceConfigA", service, serviceType, startType, errorControl,
                      binaryPathName, loadOrderGroup, tagId, dependencies, serviceStartName,
                      password, displayName);
}

BOOL WINAPI ChangeServiceConfigW(SC_HANDLE service, DWORD serviceType, DWORD startType,
                                 DWORD errorControl, LPCWSTR binaryPathName, LPCWSTR loadOrderGroup,
                                 LPDWORD tagId, LPCWSTR dependencies, LPCWSTR serviceStartName,
                                 LPCWSTR password, LPCWSTR displayName) {
  return ChangeLogged("ChangeServiceConfigW", service, serviceType, startType, errorControl,
                      binaryPathName, loadOrderGroup, tagId, dependencies, serviceStartName,
                      password, displayName);
}

BOOL WINAPI QueryServiceConfigA(SC_HANDLE service, LPQUERY_SERVICE_CONFIGA config, DWORD bufferSize,
                                LPDWORD bytesNeeded) {
  return QueryConfig<char>("QueryServiceConfigA", service, config, bufferSize, bytesNeeded,
                           WideToAnsi);
}

BOOL WINAPI QueryServiceConfigW(SC_HANDLE service, LPQUERY_SERVICE_CONFIGW config, DWORD bufferSize,
                                LPDWORD bytesNeeded) {
  return QueryConfig<WCHAR>("QueryServiceConfigW", service, config, bufferSize, bytesNeeded,
                            AsWide);
}

BOOL WINAPI ChangeServiceConfig2A(SC_HANDLE service, DWORD infoLevel, LPVOID info) {
  return ChangeOptional<char, SERVICE_DESCRIPTIONA, SERVICE_FAILURE_ACTIONSA>(
      "ChangeServiceConfig2A", service, infoLevel, info);
}

BOOL WINAPI ChangeServiceConfig2W(SC_HANDLE service, DWORD infoLevel, LPVOID info) {
  return ChangeOptional<WCHAR, SERVICE_DESCRIPTIONW, SERVICE_FAILURE_ACTIONSW>(
      "ChangeServiceConfig2W", service, infoLevel, info);
}

BOOL WINAPI QueryServiceConfig2A(SC_HANDLE service, DWORD infoLevel, LPBYTE buffer,
                                 DWORD bufferSize, LPDWORD bytesNeeded) {
  return QueryOptional<char, SERVICE_DESCRIPTIONA, SERVICE_FAILURE_ACTIONSA>(
      "QueryServiceConfig2A", service, infoLevel, buffer, bufferSize, bytesNeeded, WideToAnsi);
}

BOOL WINAPI QueryServiceConfig2W(SC_HANDLE service, DWORD infoLevel, LPBYTE buffer,
                                 DWORD bufferSize, LPDWORD bytesNeeded) {
  return QueryOptional<WCHAR, SERVICE_DESCRIPTIONW, SERVICE_FAILURE_ACTIONSW>(
      "QueryServiceConfig2W", service, infoLevel, buffer, bufferSize, bytesNeeded, AsWide);
}

}  // extern "C"
