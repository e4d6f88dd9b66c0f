// The simulated manager's A and W entry points: each logs its call with its
// arguments, as the platform's own calls would be seen, converts its texts
// as the manager takes them, and hands the call on.
#include <string>

#include "service_manager.h"

namespace standin {
namespace {

// The string arguments of a call's A and W forms, as the log shows them.
std::string ArgumentText(const char *text) { return StringText(text); }
std::string ArgumentText(const WCHAR *text) { return WideStringText(text); }

template <typename Char>
SC_HANDLE OpenManagerLogged(const char *function, const Char *machineName, const Char *databaseName,
                            DWORD desiredAccess) {
  if (EnterCall(function, ArgumentText(machineName) + ", " + ArgumentText(databaseName) + ", " +
                              HexText(desiredAccess))) {
    return nullptr;
  }
  return HandedOut(OpenManager(desiredAccess));
}

template <typename Char>
SC_HANDLE OpenServiceLogged(const char *function, SC_HANDLE manager, const Char *serviceName,
                            DWORD desiredAccess) {
  if (EnterCall(function, HandleText(manager) + ", " + ArgumentText(serviceName) + ", " +
                              HexText(desiredAccess))) {
    return nullptr;
  }
  return HandedOut(OpenNamedService(manager, Argument(serviceName), desiredAccess));
}

template <typename Char>
BOOL StartLogged(const char *function, SC_HANDLE service, DWORD argc, const Char **argv) {
  if (EnterCall(function,
                HandleText(service) + ", " + std::to_string(argc) + ", " + PointerText(argv))) {
    return FALSE;
  }
  if (argc != 0 && argv == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
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
  return HandedOut(
      Create(manager,
             ConfigTexts{Argument(serviceName), Argument(displayName), Argument(binaryPathName),
                         Argument(loadOrderGroup), DependencyList(dependencies),
                         Argument(serviceStartName), Argument(password)},
             desiredAccess, serviceType, startType, errorControl));
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

template <typename Char>
BOOL QueryConfigLogged(const char *function, SC_HANDLE service,
                       typename Records<Char>::Config *config, DWORD bufferSize,
                       LPDWORD bytesNeeded) {
  if (EnterCall(function, HandleText(service) + ", " + PointerText(config) + ", " +
                              std::to_string(bufferSize) + ", " + PointerText(bytesNeeded))) {
    return FALSE;
  }
  return QueryConfig<Char>(service, config, bufferSize, bytesNeeded, FaultsOf(function));
}

template <typename Char>
BOOL ChangeOptionalLogged(const char *function, SC_HANDLE service, DWORD level, LPVOID info) {
  if (EnterCall(function,
                HandleText(service) + ", " + std::to_string(level) + ", " + PointerText(info))) {
    return FALSE;
  }
  return ChangeOptional<Char>(service, level, info);
}

template <typename Char>
BOOL QueryOptionalLogged(const char *function, SC_HANDLE service, DWORD level, LPBYTE buffer,
                         DWORD bufferSize, LPDWORD bytesNeeded) {
  if (EnterCall(function, HandleText(service) + ", " + std::to_string(level) + ", " +
                              PointerText(buffer) + ", " + std::to_string(bufferSize) + ", " +
                              PointerText(bytesNeeded))) {
    return FALSE;
  }
  return QueryOptional<Char>(service, level, buffer, bufferSize, bytesNeeded);
}

template <typename Char>
BOOL EnumDependentsLogged(const char *function, SC_HANDLE service, DWORD states,
                          typename Records<Char>::Dependent *records, DWORD size, LPDWORD needed,
                          LPDWORD returned) {
  if (EnterCall(function, HandleText(service) + ", " + std::to_string(states) + ", " +
                              PointerText(records) + ", " + std::to_string(size) + ", " +
                              PointerText(needed) + ", " + PointerText(returned))) {
    return FALSE;
  }
  const BOOL done = EnumDependents<Char>(service, states, records, size, needed, returned);
  const DWORD reported = FaultsOf(function).reported_size;
  if (!done && needed != nullptr && reported != 0) *needed = reported;
  return done;
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
  return Close(handle, EnterCall("CloseServiceHandle", HandleText(handle)));
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
  return QueryStatus(service, status);
}

BOOL WINAPI QueryServiceStatusEx(SC_HANDLE service, SC_STATUS_TYPE infoLevel, LPBYTE buffer,
                                 DWORD bufferSize, LPDWORD bytesNeeded) {
  if (EnterCall("QueryServiceStatusEx", HandleText(service) + ", " + std::to_string(infoLevel) +
                                            ", " + PointerText(buffer) + ", " +
                                            std::to_string(bufferSize) + ", " +
                                            PointerText(bytesNeeded))) {
    return FALSE;
  }
  return QueryStatusProcess(service, infoLevel, buffer, bufferSize, bytesNeeded);
}

BOOL WINAPI ControlService(SC_HANDLE service, DWORD control, LPSERVICE_STATUS status) {
  if (EnterCall("ControlService", HandleText(service) + ", " + std::to_string(control) + ", " +
                                      PointerText(status))) {
    return FALSE;
  }
  return Control(service, control, status);
}

BOOL WINAPI DeleteService(SC_HANDLE service) {
  if (EnterCall("DeleteService", HandleText(service))) return FALSE;
  return Delete(service);
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
  return QueryConfigLogged<char>("QueryServiceConfigA", service, config, bufferSize, bytesNeeded);
}

BOOL WINAPI QueryServiceConfigW(SC_HANDLE service, LPQUERY_SERVICE_CONFIGW config, DWORD bufferSize,
                                LPDWORD bytesNeeded) {
  return QueryConfigLogged<WCHAR>("QueryServiceConfigW", service, config, bufferSize, bytesNeeded);
}

BOOL WINAPI ChangeServiceConfig2A(SC_HANDLE service, DWORD infoLevel, LPVOID info) {
  return ChangeOptionalLogged<char>("ChangeServiceConfig2A", service, infoLevel, info);
}

BOOL WINAPI ChangeServiceConfig2W(SC_HANDLE service, DWORD infoLevel, LPVOID info) {
  return ChangeOptionalLogged<WCHAR>("ChangeServiceConfig2W", service, infoLevel, info);
}

BOOL WINAPI QueryServiceConfig2A(SC_HANDLE service, DWORD infoLevel, LPBYTE buffer,
                                 DWORD bufferSize, LPDWORD bytesNeeded) {
  return QueryOptionalLogged<char>("QueryServiceConfig2A", service, infoLevel, buffer, bufferSize,
                                   bytesNeeded);
}

BOOL WINAPI QueryServiceConfig2W(SC_HANDLE service, DWORD infoLevel, LPBYTE buffer,
                                 DWORD bufferSize, LPDWORD bytesNeeded) {
  return QueryOptionalLogged<WCHAR>("QueryServiceConfig2W", service, infoLevel, buffer, bufferSize,
                                    bytesNeeded);
}

BOOL WINAPI EnumDependentServicesA(SC_HANDLE service, DWORD serviceState,
                                   LPENUM_SERVICE_STATUSA services, DWORD bufferSize,
                                   LPDWORD bytesNeeded, LPDWORD servicesReturned) {
  return EnumDependentsLogged<char>("EnumDependentServicesA", service, serviceState, services,
                                    bufferSize, bytesNeeded, servicesReturned);
}

BOOL WINAPI EnumDependentServicesW(SC_HANDLE service, DWORD serviceState,
                                   LPENUM_SERVICE_STATUSW services, DWORD bufferSize,
                                   LPDWORD bytesNeeded, LPDWORD servicesReturned) {
  return EnumDependentsLogged<WCHAR>("EnumDependentServicesW", service, serviceState, services,
                                     bufferSize, bytesNeeded, servicesReturned);
}

}  // extern "C"
