// The simulated Service Control Manager: services with a configuration and a
// status that follows a script over virtual time, and handles with their
// access masks. Access and control rules are those of the real manager.
#include <strings.h>

#include <cstdint>
#include <cstring>
#include <map>

#include "internal.h"

namespace standin {
namespace {

struct Service {
  ServiceSetup setup;
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
  std::string service;  // key name, for service handles
};

std::vector<Service> services;
std::map<std::uintptr_t, Handle> handles;
std::uintptr_t next_handle = 1;
bool close_overwrites_last_error = false;
DWORD close_last_error = 0;

Service *FindService(const char *name) {
  for (Service &service : services) {
    if (strcasecmp(service.setup.name.c_str(), name) == 0) return &service;
  }
  return nullptr;
}

SC_HANDLE NewHandle(bool is_manager, DWORD access, const std::string &service) {
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
  return FindService(found->service.c_str());
}

// Checks a manager handle for the needed right and a service name for its
// form, as the real manager does; false with the last error set otherwise.
bool CheckManagerAndName(SC_HANDLE manager, DWORD needed_access, const char *name) {
  const Handle *found = FindHandle(manager);
  DWORD refusal = 0;
  if (found == nullptr || !found->is_manager) {
    refusal = ERROR_INVALID_HANDLE;
  } else if ((found->access & needed_access) != needed_access) {
    refusal = ERROR_ACCESS_DENIED;
  } else if (name == nullptr) {
    refusal = ERROR_INVALID_ADDRESS;
  } else if (*name == '\0' || std::strpbrk(name, "/\\") != nullptr) {
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
void RemoveIfDeletedAndUnused(const std::string &name) {
  for (const auto &entry : handles) {
    if (entry.second.service == name) return;
  }
  for (size_t i = 0; i < services.size(); ++i) {
    if (services[i].setup.name == name && services[i].marked_for_delete) {
      services.erase(services.begin() + static_cast<std::ptrdiff_t>(i));
      return;
    }
  }
}

// The dependency list's names, each with its zero, without the closing zero.
std::string DependencyNames(const char *list) {
  std::string names;
  if (list == nullptr) return names;
  while (*list != '\0') {
    const std::string name(list);
    names += name + '\0';
    list += name.size() + 1;
  }
  return names;
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

void SetCloseOverwritesLastError(bool enabled, DWORD value) {
  close_overwrites_last_error = enabled;
  close_last_error = value;
}

int OpenHandleCount() { return static_cast<int>(handles.size()); }

bool ServiceConfig(const char *name, ServiceSetup *config) {
  const Service *service = FindService(name);
  if (service != nullptr) *config = service->setup;
  return service != nullptr;
}

}  // namespace standin

using namespace standin;

extern "C" {

SC_HANDLE WINAPI OpenSCManagerA(LPCSTR machineName, LPCSTR databaseName, DWORD desiredAccess) {
  if (EnterCall("OpenSCManagerA", StringText(machineName) + ", " + StringText(databaseName) + ", " +
                                      HexText(desiredAccess))) {
    return nullptr;
  }
  return NewHandle(true, desiredAccess, "");
}

SC_HANDLE WINAPI OpenServiceA(SC_HANDLE manager, LPCSTR serviceName, DWORD desiredAccess) {
  if (EnterCall("OpenServiceA", HandleText(manager) + ", " + StringText(serviceName) + ", " +
                                    HexText(desiredAccess))) {
    return nullptr;
  }
  if (!CheckManagerAndName(manager, 0, serviceName)) return nullptr;
  const Service *service = FindService(serviceName);
  if (service == nullptr) {
    SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
    return nullptr;
  }
  return NewHandle(false, desiredAccess, service->setup.name);
}

BOOL WINAPI CloseServiceHandle(SC_HANDLE handle) {
  // An injected failure still releases the handle: the caller cannot do more
  // than call, and a test then sees only what the caller did.
  const bool fail = EnterCall("CloseServiceHandle", HandleText(handle));
  const Handle *closing = FindHandle(handle);
  const std::string service = closing == nullptr ? "" : closing->service;
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
  if (EnterCall("StartServiceA",
                HandleText(service) + ", " + std::to_string(argc) + ", " + PointerText(argv))) {
    return FALSE;
  }
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
  return TRUE;
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

SC_HANDLE WINAPI CreateServiceA(SC_HANDLE manager, LPCSTR serviceName, LPCSTR displayName,
                                DWORD desiredAccess, DWORD serviceType, DWORD startType,
                                DWORD errorControl, LPCSTR binaryPathName, LPCSTR loadOrderGroup,
                                LPDWORD tagId, LPCSTR dependencies, LPCSTR serviceStartName,
                                LPCSTR password) {
  if (EnterCall("CreateServiceA",
                HandleText(manager) + ", " + StringText(serviceName) + ", " +
                    StringText(displayName) + ", " + HexText(desiredAccess) + ", " +
                    HexText(serviceType) + ", " + std::to_string(startType) + ", " +
                    std::to_string(errorControl) + ", " + StringText(binaryPathName) + ", " +
                    StringText(loadOrderGroup) + ", " + PointerText(tagId) + ", " +
                    StringText(dependencies) + ", " + StringText(serviceStartName) + ", " +
                    StringText(password))) {
    return nullptr;
  }
  if (!CheckManagerAndName(manager, SC_MANAGER_CREATE_SERVICE, serviceName)) return nullptr;
  if (binaryPathName == nullptr || *binaryPathName == '\0' || !IsProgramStartType(startType)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (const Service *existing = FindService(serviceName)) {
    SetLastError(existing->marked_for_delete ? ERROR_SERVICE_MARKED_FOR_DELETE
                                             : ERROR_SERVICE_EXISTS);
    return nullptr;
  }
  ServiceSetup setup;
  setup.name = serviceName;
  setup.display_name = displayName == nullptr ? serviceName : displayName;
  setup.service_type = serviceType;
  setup.start_type = startType;
  setup.error_control = errorControl;
  setup.binary_path = binaryPathName;
  setup.load_order_group = loadOrderGroup == nullptr ? "" : loadOrderGroup;
  setup.dependencies = DependencyNames(dependencies);
  setup.account = serviceStartName == nullptr ? "LocalSystem" : serviceStartName;
  setup.password = password == nullptr ? "" : password;
  AddService(setup);
  return NewHandle(false, desiredAccess, setup.name);
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

BOOL WINAPI ChangeServiceConfigA(SC_HANDLE service, DWORD serviceType, DWORD startType,
                                 DWORD errorControl, LPCSTR binaryPathName, LPCSTR loadOrderGroup,
                                 LPDWORD tagId, LPCSTR dependencies, LPCSTR serviceStartName,
                                 LPCSTR password, LPCSTR displayName) {
  if (EnterCall("ChangeServiceConfigA",
                HandleText(service) + ", " + HexText(serviceType) + ", " + HexText(startType) +
                    ", " + HexText(errorControl) + ", " + StringText(binaryPathName) + ", " +
                    StringText(loadOrderGroup) + ", " + PointerText(tagId) + ", " +
                    StringText(dependencies) + ", " + StringText(serviceStartName) + ", " +
                    StringText(password) + ", " + StringText(displayName))) {
    return FALSE;
  }
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
  if (binaryPathName != nullptr) setup.binary_path = binaryPathName;
  if (loadOrderGroup != nullptr) setup.load_order_group = loadOrderGroup;
  if (dependencies != nullptr) setup.dependencies = DependencyNames(dependencies);
  if (serviceStartName != nullptr) setup.account = serviceStartName;
  if (password != nullptr) setup.password = password;
  if (displayName != nullptr) setup.display_name = displayName;
  return TRUE;
}

BOOL WINAPI QueryServiceConfigA(SC_HANDLE service, LPQUERY_SERVICE_CONFIGA config, DWORD bufferSize,
                                LPDWORD bytesNeeded) {
  if (EnterCall("QueryServiceConfigA", HandleText(service) + ", " + PointerText(config) + ", " +
                                           std::to_string(bufferSize) + ", " +
                                           PointerText(bytesNeeded))) {
    return FALSE;
  }
  Service *found = ServiceFor(service, SERVICE_QUERY_CONFIG);
  if (found == nullptr) return FALSE;
  if (bytesNeeded == nullptr) {
    SetLastError(ERROR_INVALID_ADDRESS);
    return FALSE;
  }
  ServiceSetup &setup = found->setup;
  // The strings follow the record in one buffer; an empty dependency list is
  // a single zero byte, with the account name right after it.
  const std::string dependencies =
      setup.dependencies.empty() ? std::string(1, '\0') : setup.dependencies + '\0';
  const std::string strings[] = {setup.binary_path + '\0', setup.load_order_group + '\0',
                                 dependencies, setup.account + '\0', setup.display_name + '\0'};
  DWORD needed = sizeof(QUERY_SERVICE_CONFIGA);
  for (const std::string &text : strings) needed += static_cast<DWORD>(text.size());
  *bytesNeeded = setup.reported_size != 0 ? setup.reported_size : needed;
  if (config == nullptr || bufferSize < needed) {
    setup.display_name.append(setup.grows_after_size_query, '+');
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  char *next = reinterpret_cast<char *>(config + 1);
  LPSTR *fields[] = {&config->lpBinaryPathName, &config->lpLoadOrderGroup, &config->lpDependencies,
                     &config->lpServiceStartName, &config->lpDisplayName};
  for (size_t i = 0; i < 5; ++i) {
    std::memcpy(next, strings[i].data(), strings[i].size());
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

}  // extern "C"
