// Opening and closing the manager and service handles that every operation
// of the module holds for the length of one call.
#ifndef SCM_SESSION_H
#define SCM_SESSION_H

#include <windows.h>

// True for a service name longer than any that a manager holds (256
// characters). Such a name is refused with ERROR_INVALID_NAME before anything
// is opened: Wine answers 1060 when it is opened and Windows refuses the name
// itself, and callers get one answer on both.
bool IsOverlongServiceName(const char *serviceName);

// Opens the local manager, then the service. On failure nothing is left open
// and the failed call's code is returned; on success 0, with both handles set.
// A null name is refused with ERROR_INVALID_PARAMETER and an overlong one with
// ERROR_INVALID_NAME, before anything is opened.
DWORD OpenManagerAndService(DWORD managerAccess, const char *serviceName, DWORD serviceAccess,
                            SC_HANDLE *manager, SC_HANDLE *service);

// OpenManagerAndService with full access to the manager and the service.
DWORD OpenWithFullAccess(const char *serviceName, SC_HANDLE *manager, SC_HANDLE *service);

// Closes the service handle, then the manager handle (either may be null), and
// returns result; a nonzero result is left as the thread's last error, since
// closing a handle may overwrite it.
DWORD CloseHandlesAndReturn(SC_HANDLE service, SC_HANDLE manager, DWORD result);

// Sets result as the thread's last error and returns it.
DWORD FailWith(DWORD result);

#endif
