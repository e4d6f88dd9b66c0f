// The platform's ANSI and wide calls and records behind one set of names, so
// that each operation is written once for both character types: the table
// of the calls that have two forms, and nothing else.
#ifndef SCM_API_H
#define SCM_API_H

#include <stddef.h>
#include <windows.h>

#include "core/service_settings.h"

namespace service_control {

template <typename Char>
struct ScmApi;

// The A calls and records.
template <>
struct ScmApi<char> {
  typedef ENUM_SERVICE_STATUSA Dependent;
  typedef QUERY_SERVICE_CONFIGA Config;
  typedef SERVICE_DESCRIPTIONA Description;
  typedef SERVICE_FAILURE_ACTIONSA FailureActions;
  static SC_HANDLE OpenManager(DWORD access) { return OpenSCManagerA(NULL, NULL, access); }
  static SC_HANDLE OpenByName(SC_HANDLE manager, const char *name, DWORD access) {
    return OpenServiceA(manager, name, access);
  }
  static BOOL Start(SC_HANDLE service) { return StartServiceA(service, 0, NULL); }
  static SC_HANDLE Create(SC_HANDLE manager, const ServiceSettings<char> &s) {
    return CreateServiceA(manager, s.name, s.displayName, SERVICE_ALL_ACCESS, s.serviceType,
                          s.startType, s.errorControl, s.path, s.loadOrderGroup, NULL,
                          s.dependencies, s.account, s.password);
  }
  static BOOL Change(SC_HANDLE service, const ServiceSettings<char> &s) {
    return ChangeServiceConfigA(service, s.serviceType, s.startType, s.errorControl, s.path,
                                s.loadOrderGroup, NULL, s.dependencies, s.account, s.password,
                                s.displayName);
  }
  static BOOL QueryConfig(SC_HANDLE service, Config *config, DWORD size, DWORD *needed) {
    return QueryServiceConfigA(service, config, size, needed);
  }
  static BOOL ChangeConfig2(SC_HANDLE service, DWORD level, void *info) {
    return ChangeServiceConfig2A(service, level, info);
  }
  static BOOL EnumDependents(SC_HANDLE service, Dependent *dependents, DWORD size, DWORD *needed,
                             DWORD *count) {
    return EnumDependentServicesA(service, SERVICE_ACTIVE, dependents, size, needed, count);
  }
};

// The W calls and records.
template <>
struct ScmApi<wchar_t> {
  typedef ENUM_SERVICE_STATUSW Dependent;
  typedef QUERY_SERVICE_CONFIGW Config;
  typedef SERVICE_DESCRIPTIONW Description;
  typedef SERVICE_FAILURE_ACTIONSW FailureActions;
  static SC_HANDLE OpenManager(DWORD access) { return OpenSCManagerW(NULL, NULL, access); }
  static SC_HANDLE OpenByName(SC_HANDLE manager, const wchar_t *name, DWORD access) {
    return OpenServiceW(manager, name, access);
  }
  static BOOL Start(SC_HANDLE service) { return StartServiceW(service, 0, NULL); }
  static SC_HANDLE Create(SC_HANDLE manager, const ServiceSettings<wchar_t> &s) {
    return CreateServiceW(manager, s.name, s.displayName, SERVICE_ALL_ACCESS, s.serviceType,
                          s.startType, s.errorControl, s.path, s.loadOrderGroup, NULL,
                          s.dependencies, s.account, s.password);
  }
  static BOOL Change(SC_HANDLE service, const ServiceSettings<wchar_t> &s) {
    return ChangeServiceConfigW(service, s.serviceType, s.startType, s.errorControl, s.path,
                                s.loadOrderGroup, NULL, s.dependencies, s.account, s.password,
                                s.displayName);
  }
  static BOOL QueryConfig(SC_HANDLE service, Config *config, DWORD size, DWORD *needed) {
    return QueryServiceConfigW(service, config, size, needed);
  }
  static BOOL ChangeConfig2(SC_HANDLE service, DWORD level, void *info) {
    return ChangeServiceConfig2W(service, level, info);
  }
  static BOOL EnumDependents(SC_HANDLE service, Dependent *dependents, DWORD size, DWORD *needed,
                             DWORD *count) {
    return EnumDependentServicesW(service, SERVICE_ACTIVE, dependents, size, needed, count);
  }
};

}  // namespace service_control

#endif
