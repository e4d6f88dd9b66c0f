#include "scm_session.h"

#include <stddef.h>
#include <string.h>

namespace {

const size_t kLongestServiceName = 256;

}  // namespace

DWORD FailWith(DWORD result) {
  SetLastError(result);
  return result;
}

bool IsOverlongServiceName(const char *serviceName) {
  return strlen(serviceName) > kLongestServiceName;
}

DWORD OpenManagerAndService(DWORD managerAccess, const char *serviceName, DWORD serviceAccess,
                            SC_HANDLE *manager, SC_HANDLE *service) {
  if (serviceName == NULL) return FailWith(ERROR_INVALID_PARAMETER);
  if (IsOverlongServiceName(serviceName)) return FailWith(ERROR_INVALID_NAME);
  *manager = OpenSCManagerA(NULL, NULL, managerAccess);
  if (*manager == NULL) return GetLastError();
  *service = OpenServiceA(*manager, serviceName, serviceAccess);
  if (*service == NULL) return CloseHandlesAndReturn(NULL, *manager, GetLastError());
  return ERROR_SUCCESS;
}

DWORD OpenWithFullAccess(const char *serviceName, SC_HANDLE *manager, SC_HANDLE *service) {
  return OpenManagerAndService(SC_MANAGER_ALL_ACCESS, serviceName, SERVICE_ALL_ACCESS, manager,
                               service);
}

DWORD CloseHandlesAndReturn(SC_HANDLE service, SC_HANDLE manager, DWORD result) {
  if (service != NULL) CloseServiceHandle(service);
  if (manager != NULL) CloseServiceHandle(manager);
  if (result != ERROR_SUCCESS) SetLastError(result);
  return result;
}
