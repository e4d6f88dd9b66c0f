// The platform's ANSI and wide calls and records behind one set of names, so
// that each operation is written once for both character types.
#ifndef SCM_API_H
#define SCM_API_H

#include <mbstring.h>
#include <stddef.h>
#include <windows.h>

#include <string>

template <typename Char>
struct ScmApi;

// The records and calls of one character type: suffix A for char, W for
// wchar_t, as the platform names them.
#define SCM_API_CALLS(Char, suffix)                                                                \
  typedef QUERY_SERVICE_CONFIG##suffix Config;                                                     \
  typedef SERVICE_DESCRIPTION##suffix Description;                                                 \
  typedef SERVICE_FAILURE_ACTIONS##suffix FailureActions;                                          \
  static SC_HANDLE OpenManager(DWORD access) { return OpenSCManager##suffix(NULL, NULL, access); } \
  static SC_HANDLE OpenByName(SC_HANDLE manager, const Char *name, DWORD access) {                 \
    return OpenService##suffix(manager, name, access);                                             \
  }                                                                                                \
  static BOOL Start(SC_HANDLE service) { return StartService##suffix(service, 0, NULL); }          \
  static SC_HANDLE Create(SC_HANDLE manager, const Char *name, const Char *displayName,            \
                          DWORD serviceType, DWORD startType, DWORD errorControl,                  \
                          const Char *path, const Char *loadOrderGroup, const Char *dependencies,  \
                          const Char *account, const Char *password) {                             \
    return CreateService##suffix(manager, name, displayName, SERVICE_ALL_ACCESS, serviceType,      \
                                 startType, errorControl, path, loadOrderGroup, NULL,              \
                                 dependencies, account, password);                                 \
  }                                                                                                \
  static BOOL QueryConfig(SC_HANDLE service, Config *config, DWORD size, DWORD *needed) {          \
    return QueryServiceConfig##suffix(service, config, size, needed);                              \
  }                                                                                                \
  static BOOL Change(SC_HANDLE service, DWORD serviceType, DWORD startType, DWORD errorControl,    \
                     const Char *path, const Char *loadOrderGroup, const Char *dependencies,       \
                     const Char *account, const Char *password, const Char *displayName) {         \
    return ChangeServiceConfig##suffix(service, serviceType, startType, errorControl, path,        \
                                       loadOrderGroup, NULL, dependencies, account, password,      \
                                       displayName);                                               \
  }                                                                                                \
  static BOOL ChangeOptional(SC_HANDLE service, DWORD level, void *info) {                         \
    return ChangeServiceConfig2##suffix(service, level, info);                                     \
  }

template <>
struct ScmApi<char> {
  SCM_API_CALLS(char, A)
  // Copies at most count - 1 bytes and terminates them. The copy never
  // splits a double-byte character: one that does not fit whole before the
  // terminator is left out rather than cut to a lone lead byte.
  static void CopyBounded(char *to, const char *from, size_t count) {
    _mbsnbcpy(reinterpret_cast<unsigned char *>(to),
              reinterpret_cast<const unsigned char *>(from == NULL ? "" : from), count - 1);
    to[count - 1] = '\0';
  }
};

template <>
struct ScmApi<wchar_t> {
  SCM_API_CALLS(wchar_t, W)
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

template <typename Char>
size_t TextLength(const Char *text) {
  return std::char_traits<Char>::length(text);
}

#endif
