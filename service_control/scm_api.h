// The platform's ANSI and wide calls and records behind one set of names, so
// that each operation is written once for both character types.
#ifndef SCM_API_H
#define SCM_API_H

#include <mbstring.h>
#include <stddef.h>
#include <windows.h>

namespace service_control {

// What install and reconfigure hand the manager, in the order of its calls.
template <typename Char>
struct ServiceSettings {
  const Char *name;
  const Char *displayName;
  DWORD serviceType;
  DWORD startType;
  DWORD errorControl;
  const Char *path;
  const Char *loadOrderGroup;
  const Char *dependencies;
  const Char *account;
  const Char *password;
};

template <typename Char>
size_t TextLength(const Char *text) {
  size_t length = 0;
  while (text[length] != 0) ++length;
  return length;
}

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
  static BOOL ChangeOptional(SC_HANDLE service, DWORD level, void *info) {
    return ChangeServiceConfig2A(service, level, info);
  }
  static BOOL EnumDependents(SC_HANDLE service, Dependent *dependents, DWORD size, DWORD *needed,
                             DWORD *count) {
    return EnumDependentServicesA(service, SERVICE_ACTIVE, dependents, size, needed, count);
  }
  // Copies at most count - 1 bytes and terminates them. The copy never
  // splits a double-byte character: one that does not fit whole before the
  // terminator is left out rather than cut to a lone lead byte.
  static void CopyBounded(char *to, const char *from, size_t count) {
    _mbsnbcpy(reinterpret_cast<unsigned char *>(to),
              reinterpret_cast<const unsigned char *>(from == NULL ? "" : from), count - 1);
    to[count - 1] = '\0';
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
  static BOOL ChangeOptional(SC_HANDLE service, DWORD level, void *info) {
    return ChangeServiceConfig2W(service, level, info);
  }
  static BOOL EnumDependents(SC_HANDLE service, Dependent *dependents, DWORD size, DWORD *needed,
                             DWORD *count) {
    return EnumDependentServicesW(service, SERVICE_ACTIVE, dependents, size, needed, count);
  }
  // Copies at most count - 1 UTF-16 units and terminates them. A surrogate
  // pair across the cut is left out rather than cut to a lone high surrogate.
  static void CopyBounded(wchar_t *to, const wchar_t *from, size_t count) {
    size_t copied = 0;
    if (from != NULL) {
      while (copied < count - 1 && from[copied] != L'\0') {
        to[copied] = from[copied];
        ++copied;
      }
      if (copied == count - 1 && IsHighSurrogate(to[copied - 1])) --copied;
    }
    to[copied] = L'\0';
  }
  static bool IsHighSurrogate(wchar_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
};

}  // namespace service_control

#endif
