// The simulated manager's store of services and handles, and its
// registration calls: open, create, delete and close.
#include <cstdint>
#include <map>

#include "service_manager.h"

namespace standin {
namespace {

struct Handle {
  bool is_manager;
  DWORD access;
  unsigned long service;  // the service's serial, for service handles
};

std::vector<Service> services;
std::map<std::uintptr_t, Handle> handles;
std::uintptr_t next_handle = 1;
unsigned long next_serial = 1;
bool close_overwrites_last_error = false;
bool manager_ignores_process_exit = false;
DWORD close_last_error = 0;

// Names compare without regard to the case of ASCII letters.
WCHAR Folded(WCHAR c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; }

Service *FindService(const char *name) { return standin::FindService(AnsiToWide(name)); }

SC_HANDLE NewHandle(bool is_manager, DWORD access, unsigned long service) {
  const std::uintptr_t id = next_handle++;
  handles[id] = Handle{is_manager, access, service};
  return reinterpret_cast<SC_HANDLE>(id);
}

const Handle *FindHandle(SC_HANDLE handle) {
  auto found = handles.find(reinterpret_cast<std::uintptr_t>(handle));
  return found == handles.end() ? nullptr : &found->second;
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

bool HasHandles(const Service &service) {
  for (const auto &entry : handles) {
    if (!entry.second.is_manager && entry.second.service == service.serial) return true;
  }
  return false;
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

}  // namespace

Text Argument(const char *text) {
  return text == nullptr ? Text{true, {}} : Text{false, AnsiToWide(text)};
}

Text Argument(const WCHAR *text) { return text == nullptr ? Text{true, {}} : Text{false, text}; }

Text DependencyList(const char *list) {
  return list == nullptr ? Text{true, {}} : Text{false, AnsiToWide(DependencyNames(list))};
}

Text DependencyList(const WCHAR *list) {
  return list == nullptr ? Text{true, {}} : Text{false, DependencyNames(list)};
}

// A service marked for deletion goes once it has stopped and no handle
// refers to it; the manager then knows its name no more.
bool IsGone(Service &service) {
  return service.marked_for_delete && !HasHandles(service) &&
         StatusOf(service).dwCurrentState == SERVICE_STOPPED;
}

Service *FindService(const WideString &name) {
  for (Service &service : services) {
    if (IsGone(service)) continue;
    const WideString &held = service.text.name;
    if (held.size() != name.size()) continue;
    size_t i = 0;
    while (i < name.size() && Folded(held[i]) == Folded(name[i])) ++i;
    if (i == name.size()) return &service;
  }
  return nullptr;
}

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
  return ServiceWithSerial(found->service);
}

Service *ServiceWithSerial(unsigned long serial) {
  for (Service &service : services) {
    if (serial != 0 && service.serial == serial) return &service;
  }
  return nullptr;
}

bool IsServiceHandle(SC_HANDLE handle) {
  const Handle *found = FindHandle(handle);
  return found != nullptr && !found->is_manager;
}

std::vector<Service> &Services() { return services; }

std::uintptr_t NewHandleId() { return next_handle++; }

bool ManagerIgnoresProcessExit() { return manager_ignores_process_exit; }

void SetManagerIgnoresProcessExit(bool ignores) { manager_ignores_process_exit = ignores; }

bool IsProgramStartType(DWORD start_type) {
  return start_type >= SERVICE_AUTO_START && start_type <= SERVICE_DISABLED;
}

void Reset() {
  ResetCallLog();
  ResetKernel();
  ResetConsole();
  services.clear();
  ResetProcesses();
  ResetSecurity();
  ResetNotifications();
  handles.clear();
  next_handle = 1;
  close_overwrites_last_error = false;
  manager_ignores_process_exit = false;
}

void AddService(const ServiceSetup &setup) {
  Service service;
  service.serial = next_serial++;
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
  services.push_back(service);
  if (setup.started) StartRun(services.back());
}

DWORD ServiceState(const char *name) { return ServiceStatus(name).dwCurrentState; }

SERVICE_STATUS_PROCESS ServiceStatus(const char *name) {
  Service *service = FindService(name);
  return service == nullptr ? SERVICE_STATUS_PROCESS{} : StatusOf(*service);
}

std::vector<DWORD> ControlsReceived(const char *name) {
  Service *service = FindService(name);
  return service == nullptr ? std::vector<DWORD>() : service->controls;
}

unsigned FailureCommandsRun(const char *name) {
  Service *service = FindService(name);
  return service == nullptr ? 0 : service->commands_run;
}

std::vector<WideString> StartedPrograms(const char *name) {
  Service *service = FindService(name);
  return service == nullptr ? std::vector<WideString>() : service->started_programs;
}

void SetCloseOverwritesLastError(bool enabled, DWORD value) {
  close_overwrites_last_error = enabled;
  close_last_error = value;
}

int OpenHandleCount() { return static_cast<int>(handles.size()) + OpenKernelHandleCount(); }

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

SC_HANDLE OpenManager(DWORD desired_access) { return NewHandle(true, desired_access, 0); }

SC_HANDLE OpenNamedService(SC_HANDLE manager, const Text &name, DWORD desired_access) {
  if (!CheckManagerAndName(manager, 0, name.get())) return nullptr;
  const Service *service = FindService(name.value);
  if (service == nullptr) {
    SetLastError(ERROR_SERVICE_DOES_NOT_EXIST);
    return nullptr;
  }
  return NewHandle(false, desired_access, service->serial);
}

SC_HANDLE Create(SC_HANDLE manager, const ConfigTexts &text, DWORD desired_access,
                 DWORD service_type, DWORD start_type, DWORD error_control) {
  if (!CheckManagerAndName(manager, SC_MANAGER_CREATE_SERVICE, text.name.get())) return nullptr;
  if (text.binary_path.null || text.binary_path.value.empty() || !IsProgramStartType(start_type)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (const Service *existing = FindService(text.name.value)) {
    SetLastError(existing->marked_for_delete ? ERROR_SERVICE_MARKED_FOR_DELETE
                                             : ERROR_SERVICE_EXISTS);
    return nullptr;
  }
  ServiceSetup setup;
  setup.service_type = service_type;
  setup.start_type = start_type;
  setup.error_control = error_control;
  AddService(setup);
  services.back().text = Texts{
      text.name.value,         text.display_name.null ? text.name.value : text.display_name.value,
      text.binary_path.value,  text.load_order_group.value,
      text.dependencies.value, text.account.null ? AnsiToWide("LocalSystem") : text.account.value,
      text.password.value};
  return NewHandle(false, desired_access, services.back().serial);
}

BOOL Delete(SC_HANDLE service) {
  Service *found = ServiceFor(service, DELETE);
  if (found == nullptr) return FALSE;
  if (found->marked_for_delete) {
    SetLastError(ERROR_SERVICE_MARKED_FOR_DELETE);
    return FALSE;
  }
  found->marked_for_delete = true;
  return TRUE;
}

BOOL Close(SC_HANDLE handle, bool failing) {
  ForgetNotifications(handle);
  const bool known = handles.erase(reinterpret_cast<std::uintptr_t>(handle)) != 0;
  if (failing) return FALSE;
  if (!known) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (close_overwrites_last_error) SetLastError(close_last_error);
  return TRUE;
}

}  // namespace standin
