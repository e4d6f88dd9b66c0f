// What install and reconfigure hand the manager, in the order of its calls.
#ifndef SERVICE_SETTINGS_H
#define SERVICE_SETTINGS_H

#include <windows.h>

namespace service_control {

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

}  // namespace service_control

#endif
