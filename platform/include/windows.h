// The subset of the Win32 API that this project calls, declared with the
// platform's own names, types, records and constants. On hosts other than
// Windows this header stands in for the system's <windows.h>; the calls are
// served by the simulated platform in this folder.
#ifndef STANDIN_WINDOWS_H
#define STANDIN_WINDOWS_H

#include <stdarg.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define WINAPI
#define CALLBACK

typedef uint32_t DWORD;
typedef uint16_t WORD;
typedef unsigned int UINT;
typedef int BOOL;
typedef int32_t LONG;
typedef uint8_t BYTE;
typedef BYTE *LPBYTE;
typedef DWORD *LPDWORD;
typedef char *LPSTR;
typedef const char *LPCSTR;
typedef void *LPVOID;
typedef const void *LPCVOID;
typedef void *HLOCAL;
typedef void *HANDLE;
// One UTF-16 unit, as on Windows; surrogates are units of their own.
typedef wchar_t WCHAR;
typedef WCHAR *LPWSTR;
typedef const WCHAR *LPCWSTR;
typedef struct SC_HANDLE__ *SC_HANDLE;

#define TRUE 1
#define FALSE 0
#define INFINITE 0xFFFFFFFFu

#define ERROR_SUCCESS 0u
#define ERROR_FILE_NOT_FOUND 2u
#define ERROR_ACCESS_DENIED 5u
#define ERROR_SHARING_VIOLATION 32u
#define ERROR_INVALID_HANDLE 6u
#define ERROR_INVALID_DATA 13u
#define ERROR_NO_MORE_FILES 18u
#define ERROR_WRITE_FAULT 29u
#define ERROR_READ_FAULT 30u
#define ERROR_CANNOT_MAKE 82u
#define ERROR_NOT_ENOUGH_MEMORY 8u
#define ERROR_INVALID_PARAMETER 87u
#define ERROR_INSUFFICIENT_BUFFER 122u
#define ERROR_INVALID_NAME 123u
#define ERROR_INVALID_LEVEL 124u
#define ERROR_NOT_SUPPORTED 50u
#define ERROR_FILENAME_EXCED_RANGE 206u
#define ERROR_MORE_DATA 234u
#define ERROR_MR_MID_NOT_FOUND 317u
#define ERROR_INVALID_ADDRESS 487u
#define ERROR_DEPENDENT_SERVICES_RUNNING 1051u
#define ERROR_INVALID_SERVICE_CONTROL 1052u
#define ERROR_SERVICE_REQUEST_TIMEOUT 1053u
#define ERROR_SERVICE_ALREADY_RUNNING 1056u
#define ERROR_SERVICE_DISABLED 1058u
#define ERROR_SERVICE_DOES_NOT_EXIST 1060u
#define ERROR_SERVICE_CANNOT_ACCEPT_CTRL 1061u
#define ERROR_SERVICE_NOT_ACTIVE 1062u
#define ERROR_PROCESS_ABORTED 1067u
#define ERROR_SERVICE_MARKED_FOR_DELETE 1072u
#define ERROR_SERVICE_EXISTS 1073u
#define ERROR_NO_TOKEN 1008u
#define ERROR_NO_SUCH_PRIVILEGE 1313u
#define ERROR_ALREADY_REGISTERED 1242u
#define ERROR_NOT_ALL_ASSIGNED 1300u
#define ERROR_SERVICE_NOTIFY_CLIENT_LAGGING 1294u

#define DELETE 0x00010000u
#define SYNCHRONIZE 0x00100000u
#define PROCESS_TERMINATE 0x0001u
#define PROCESS_QUERY_LIMITED_INFORMATION 0x1000u
#define TOKEN_QUERY 0x0008u
#define TOKEN_ADJUST_PRIVILEGES 0x0020u
#define SE_PRIVILEGE_ENABLED 0x00000002u
#define CSTR_EQUAL 2
#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_APPEND_DATA 0x4u
#define FILE_SHARE_READ 0x1u
#define FILE_SHARE_WRITE 0x2u
#define CREATE_ALWAYS 2u
#define OPEN_EXISTING 3u
#define OPEN_ALWAYS 4u
#define FILE_ATTRIBUTE_NORMAL 0x80u
#define MOVEFILE_REPLACE_EXISTING 0x1u
#define MOVEFILE_WRITE_THROUGH 0x8u
#define ERROR_PATH_NOT_FOUND 3u
#define WAIT_OBJECT_0 0u
#define WAIT_TIMEOUT 258u
#define WAIT_IO_COMPLETION 0xC0u
#define WAIT_FAILED 0xFFFFFFFFu
#define STANDARD_RIGHTS_REQUIRED 0x000F0000u

#define SC_MANAGER_CONNECT 0x0001u
#define SC_MANAGER_CREATE_SERVICE 0x0002u
#define SC_MANAGER_ENUMERATE_SERVICE 0x0004u
#define SC_MANAGER_ALL_ACCESS 0xF003Fu

#define SERVICE_QUERY_CONFIG 0x0001u
#define SERVICE_CHANGE_CONFIG 0x0002u
#define SERVICE_QUERY_STATUS 0x0004u
#define SERVICE_ENUMERATE_DEPENDENTS 0x0008u
#define SERVICE_START 0x0010u
#define SERVICE_STOP 0x0020u
#define SERVICE_PAUSE_CONTINUE 0x0040u
#define SERVICE_INTERROGATE 0x0080u
#define SERVICE_USER_DEFINED_CONTROL 0x0100u
#define SERVICE_ALL_ACCESS 0xF01FFu

#define SERVICE_WIN32_OWN_PROCESS 0x10u
#define SERVICE_WIN32_SHARE_PROCESS 0x20u
#define SERVICE_ACTIVE 1u
#define SERVICE_INACTIVE 2u
#define SERVICE_STATE_ALL 3u
#define SERVICE_AUTO_START 2u
#define SERVICE_DEMAND_START 3u
#define SERVICE_DISABLED 4u
#define SERVICE_ERROR_NORMAL 1u
#define SERVICE_ERROR_CRITICAL 3u

#define SERVICE_STOPPED 1u
#define SERVICE_START_PENDING 2u
#define SERVICE_STOP_PENDING 3u
#define SERVICE_RUNNING 4u
#define SERVICE_CONTINUE_PENDING 5u
#define SERVICE_PAUSE_PENDING 6u
#define SERVICE_PAUSED 7u

#define SERVICE_CONTROL_STOP 1u
#define SERVICE_CONTROL_PAUSE 2u
#define SERVICE_CONTROL_CONTINUE 3u
#define SERVICE_CONTROL_INTERROGATE 4u
#define SERVICE_CONTROL_PARAMCHANGE 6u
#define SERVICE_CONTROL_NETBINDADD 7u
#define SERVICE_CONTROL_NETBINDDISABLE 10u

#define SERVICE_ACCEPT_STOP 0x1u
#define SERVICE_ACCEPT_PAUSE_CONTINUE 0x2u
#define SERVICE_ACCEPT_PARAMCHANGE 0x8u
#define SERVICE_ACCEPT_NETBINDCHANGE 0x10u

#define SERVICE_NOTIFY_STATUS_CHANGE 2u
#define SERVICE_NOTIFY_STOPPED 0x1u
#define SERVICE_NOTIFY_START_PENDING 0x2u
#define SERVICE_NOTIFY_STOP_PENDING 0x4u
#define SERVICE_NOTIFY_RUNNING 0x8u
#define SERVICE_NOTIFY_CONTINUE_PENDING 0x10u
#define SERVICE_NOTIFY_PAUSE_PENDING 0x20u
#define SERVICE_NOTIFY_PAUSED 0x40u

#define SC_STATUS_PROCESS_INFO 0
#define SERVICE_CONFIG_DESCRIPTION 1
#define SERVICE_CONFIG_FAILURE_ACTIONS 2
#define SERVICE_CONFIG_DELAYED_AUTO_START_INFO 3
#define SERVICE_CONFIG_FAILURE_ACTIONS_FLAG 4
#define SERVICE_NO_CHANGE 0xFFFFFFFFu
#define MAX_PATH 260

#define STD_OUTPUT_HANDLE ((DWORD)-11)
#define INVALID_HANDLE_VALUE ((HANDLE)(intptr_t)-1)
#define CP_ACP 0u
#define CP_UTF8 65001u
#define STD_ERROR_HANDLE ((DWORD)-12)

#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x0100u
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x0200u
#define FORMAT_MESSAGE_FROM_SYSTEM 0x1000u
#define LANG_NEUTRAL 0x00u
#define SUBLANG_DEFAULT 0x01u
#define MAKELANGID(primary, sub) ((DWORD)((((DWORD)(sub)) << 10) | (DWORD)(primary)))

typedef int SC_STATUS_TYPE;

typedef struct _SERVICE_STATUS {
  DWORD dwServiceType;
  DWORD dwCurrentState;
  DWORD dwControlsAccepted;
  DWORD dwWin32ExitCode;
  DWORD dwServiceSpecificExitCode;
  DWORD dwCheckPoint;
  DWORD dwWaitHint;
} SERVICE_STATUS, *LPSERVICE_STATUS;

typedef struct _SERVICE_STATUS_PROCESS {
  DWORD dwServiceType;
  DWORD dwCurrentState;
  DWORD dwControlsAccepted;
  DWORD dwWin32ExitCode;
  DWORD dwServiceSpecificExitCode;
  DWORD dwCheckPoint;
  DWORD dwWaitHint;
  DWORD dwProcessId;
  DWORD dwServiceFlags;
} SERVICE_STATUS_PROCESS, *LPSERVICE_STATUS_PROCESS;

typedef struct _FILETIME {
  DWORD dwLowDateTime;
  DWORD dwHighDateTime;
} FILETIME;

typedef struct {
  WORD wYear, wMonth, wDayOfWeek, wDay, wHour, wMinute, wSecond, wMilliseconds;
} SYSTEMTIME;

typedef struct _LUID {
  DWORD LowPart;
  LONG HighPart;
} LUID;

typedef struct _LUID_AND_ATTRIBUTES {
  LUID Luid;
  DWORD Attributes;
} LUID_AND_ATTRIBUTES;

typedef struct _TOKEN_PRIVILEGES {
  DWORD PrivilegeCount;
  LUID_AND_ATTRIBUTES Privileges[1];
} TOKEN_PRIVILEGES;

typedef enum _SECURITY_IMPERSONATION_LEVEL {
  SecurityAnonymous,
  SecurityIdentification,
  SecurityImpersonation,
  SecurityDelegation
} SECURITY_IMPERSONATION_LEVEL;

typedef void(CALLBACK *PFN_SC_NOTIFY_CALLBACK)(void *parameter);

typedef struct _SERVICE_NOTIFYW {
  DWORD dwVersion;
  PFN_SC_NOTIFY_CALLBACK pfnNotifyCallback;
  void *pContext;
  DWORD dwNotificationStatus;
  SERVICE_STATUS_PROCESS ServiceStatus;
  DWORD dwNotificationTriggered;
  LPWSTR pszServiceNames;
} SERVICE_NOTIFYW, *PSERVICE_NOTIFYW;

typedef struct _ENUM_SERVICE_STATUSA {
  LPSTR lpServiceName;
  LPSTR lpDisplayName;
  SERVICE_STATUS ServiceStatus;
} ENUM_SERVICE_STATUSA, *LPENUM_SERVICE_STATUSA;
typedef struct _ENUM_SERVICE_STATUSW {
  LPWSTR lpServiceName;
  LPWSTR lpDisplayName;
  SERVICE_STATUS ServiceStatus;
} ENUM_SERVICE_STATUSW, *LPENUM_SERVICE_STATUSW;
typedef struct _QUERY_SERVICE_CONFIGA {
  DWORD dwServiceType;
  DWORD dwStartType;
  DWORD dwErrorControl;
  LPSTR lpBinaryPathName;
  LPSTR lpLoadOrderGroup;
  DWORD dwTagId;
  LPSTR lpDependencies;
  LPSTR lpServiceStartName;
  LPSTR lpDisplayName;
} QUERY_SERVICE_CONFIGA, *LPQUERY_SERVICE_CONFIGA;

typedef struct _QUERY_SERVICE_CONFIGW {
  DWORD dwServiceType;
  DWORD dwStartType;
  DWORD dwErrorControl;
  LPWSTR lpBinaryPathName;
  LPWSTR lpLoadOrderGroup;
  DWORD dwTagId;
  LPWSTR lpDependencies;
  LPWSTR lpServiceStartName;
  LPWSTR lpDisplayName;
} QUERY_SERVICE_CONFIGW, *LPQUERY_SERVICE_CONFIGW;

typedef struct _SERVICE_DESCRIPTIONA {
  LPSTR lpDescription;
} SERVICE_DESCRIPTIONA;

typedef struct _SERVICE_DESCRIPTIONW {
  LPWSTR lpDescription;
} SERVICE_DESCRIPTIONW;

typedef enum _SC_ACTION_TYPE {
  SC_ACTION_NONE = 0,
  SC_ACTION_RESTART = 1,
  SC_ACTION_REBOOT = 2,
  SC_ACTION_RUN_COMMAND = 3
} SC_ACTION_TYPE;

typedef struct _SC_ACTION {
  SC_ACTION_TYPE Type;
  DWORD Delay;
} SC_ACTION, *LPSC_ACTION;

typedef struct _SERVICE_FAILURE_ACTIONSA {
  DWORD dwResetPeriod;
  LPSTR lpRebootMsg;
  LPSTR lpCommand;
  DWORD cActions;
  SC_ACTION *lpsaActions;
} SERVICE_FAILURE_ACTIONSA;

typedef struct _SERVICE_FAILURE_ACTIONSW {
  DWORD dwResetPeriod;
  LPWSTR lpRebootMsg;
  LPWSTR lpCommand;
  DWORD cActions;
  SC_ACTION *lpsaActions;
} SERVICE_FAILURE_ACTIONSW;

typedef struct _SERVICE_FAILURE_ACTIONS_FLAG {
  BOOL fFailureActionsOnNonCrashFailures;
} SERVICE_FAILURE_ACTIONS_FLAG;

typedef struct _SERVICE_DELAYED_AUTO_START_INFO {
  BOOL fDelayedAutostart;
} SERVICE_DELAYED_AUTO_START_INFO;

// Whole reads and writes of a value that another thread may change.
static inline LONG InterlockedExchange(volatile LONG *target, LONG value) {
  return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}
static inline LONG InterlockedCompareExchange(volatile LONG *target, LONG value, LONG comparand) {
  __atomic_compare_exchange_n(target, &comparand, value, 0, __ATOMIC_SEQ_CST, __ATOMIC_SEQ_CST);
  return comparand;
}

DWORD WINAPI GetLastError(void);
void WINAPI SetLastError(DWORD code);
DWORD WINAPI GetTickCount(void);
void WINAPI Sleep(DWORD milliseconds);
DWORD WINAPI FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId,
                            LPSTR buffer, DWORD size, va_list *arguments);
DWORD WINAPI FormatMessageW(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId,
                            LPWSTR buffer, DWORD size, va_list *arguments);
HLOCAL WINAPI LocalFree(HLOCAL memory);
HANDLE WINAPI OpenProcess(DWORD desiredAccess, BOOL inheritHandle, DWORD processId);
DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds);
DWORD WINAPI WaitForSingleObjectEx(HANDLE handle, DWORD milliseconds, BOOL alertable);
BOOL WINAPI TerminateProcess(HANDLE process, UINT exitCode);
BOOL WINAPI GetProcessTimes(HANDLE process, FILETIME *creation, FILETIME *exit, FILETIME *kernel,
                            FILETIME *user);
DWORD WINAPI GetCurrentProcessId(void);
void WINAPI GetSystemTimeAsFileTime(FILETIME *now);
void WINAPI GetSystemTime(SYSTEMTIME *now);
BOOL WINAPI QueryFullProcessImageNameW(HANDLE process, DWORD flags, LPWSTR name, LPDWORD size);
HANDLE WINAPI GetCurrentThread(void);
BOOL WINAPI OpenThreadToken(HANDLE thread, DWORD access, BOOL openAsSelf, HANDLE *token);
BOOL WINAPI ImpersonateSelf(SECURITY_IMPERSONATION_LEVEL level);
BOOL WINAPI RevertToSelf(void);
BOOL WINAPI LookupPrivilegeValueW(LPCWSTR system, LPCWSTR name, LUID *luid);
BOOL WINAPI AdjustTokenPrivileges(HANDLE token, BOOL disableAll, TOKEN_PRIVILEGES *state,
                                  DWORD size, TOKEN_PRIVILEGES *previous, LPDWORD returned);
HANDLE WINAPI CreateFileW(LPCWSTR name, DWORD access, DWORD share, void *security,
                          DWORD disposition, DWORD attributes, HANDLE model);
BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD size, LPDWORD written, void *overlapped);
BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD size, LPDWORD read, void *overlapped);
BOOL WINAPI FlushFileBuffers(HANDLE file);
BOOL WINAPI MoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags);
BOOL WINAPI DeleteFileW(LPCWSTR name);
UINT WINAPI GetWindowsDirectoryW(LPWSTR buffer, UINT size);
UINT WINAPI GetSystemDirectoryW(LPWSTR buffer, UINT size);
int WINAPI CompareStringOrdinal(LPCWSTR first, int firstLength, LPCWSTR second, int secondLength,
                                BOOL ignoreCase);
DWORD WINAPI SleepEx(DWORD milliseconds, BOOL alertable);
BOOL WINAPI CloseHandle(HANDLE handle);
HANDLE WINAPI GetStdHandle(DWORD handle);
BOOL WINAPI GetConsoleMode(HANDLE console, LPDWORD mode);
int WINAPI MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int length, LPWSTR wide,
                               int wideLength);
int WINAPI WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideLength, LPSTR text,
                               int length, LPCSTR defaultChar, BOOL *usedDefault);
BOOL WINAPI WriteConsoleW(HANDLE console, const void *buffer, DWORD length, LPDWORD written,
                          LPVOID reserved);

SC_HANDLE WINAPI OpenSCManagerA(LPCSTR machineName, LPCSTR databaseName, DWORD desiredAccess);
SC_HANDLE WINAPI OpenServiceA(SC_HANDLE manager, LPCSTR serviceName, DWORD desiredAccess);
BOOL WINAPI CloseServiceHandle(SC_HANDLE handle);
BOOL WINAPI StartServiceA(SC_HANDLE service, DWORD argc, LPCSTR *argv);
BOOL WINAPI QueryServiceStatus(SC_HANDLE service, LPSERVICE_STATUS status);
BOOL WINAPI QueryServiceStatusEx(SC_HANDLE service, SC_STATUS_TYPE infoLevel, LPBYTE buffer,
                                 DWORD bufferSize, LPDWORD bytesNeeded);
BOOL WINAPI ControlService(SC_HANDLE service, DWORD control, LPSERVICE_STATUS status);
SC_HANDLE WINAPI CreateServiceA(SC_HANDLE manager, LPCSTR serviceName, LPCSTR displayName,
                                DWORD desiredAccess, DWORD serviceType, DWORD startType,
                                DWORD errorControl, LPCSTR binaryPathName, LPCSTR loadOrderGroup,
                                LPDWORD tagId, LPCSTR dependencies, LPCSTR serviceStartName,
                                LPCSTR password);
BOOL WINAPI DeleteService(SC_HANDLE service);
BOOL WINAPI ChangeServiceConfigA(SC_HANDLE service, DWORD serviceType, DWORD startType,
                                 DWORD errorControl, LPCSTR binaryPathName, LPCSTR loadOrderGroup,
                                 LPDWORD tagId, LPCSTR dependencies, LPCSTR serviceStartName,
                                 LPCSTR password, LPCSTR displayName);
BOOL WINAPI QueryServiceConfigA(SC_HANDLE service, LPQUERY_SERVICE_CONFIGA config, DWORD bufferSize,
                                LPDWORD bytesNeeded);
SC_HANDLE WINAPI OpenSCManagerW(LPCWSTR machineName, LPCWSTR databaseName, DWORD desiredAccess);
SC_HANDLE WINAPI OpenServiceW(SC_HANDLE manager, LPCWSTR serviceName, DWORD desiredAccess);
BOOL WINAPI StartServiceW(SC_HANDLE service, DWORD argc, LPCWSTR *argv);
SC_HANDLE WINAPI CreateServiceW(SC_HANDLE manager, LPCWSTR serviceName, LPCWSTR displayName,
                                DWORD desiredAccess, DWORD serviceType, DWORD startType,
                                DWORD errorControl, LPCWSTR binaryPathName, LPCWSTR loadOrderGroup,
                                LPDWORD tagId, LPCWSTR dependencies, LPCWSTR serviceStartName,
                                LPCWSTR password);
BOOL WINAPI ChangeServiceConfigW(SC_HANDLE service, DWORD serviceType, DWORD startType,
                                 DWORD errorControl, LPCWSTR binaryPathName, LPCWSTR loadOrderGroup,
                                 LPDWORD tagId, LPCWSTR dependencies, LPCWSTR serviceStartName,
                                 LPCWSTR password, LPCWSTR displayName);
BOOL WINAPI QueryServiceConfigW(SC_HANDLE service, LPQUERY_SERVICE_CONFIGW config, DWORD bufferSize,
                                LPDWORD bytesNeeded);
BOOL WINAPI ChangeServiceConfig2A(SC_HANDLE service, DWORD infoLevel, LPVOID info);
BOOL WINAPI ChangeServiceConfig2W(SC_HANDLE service, DWORD infoLevel, LPVOID info);
BOOL WINAPI QueryServiceConfig2A(SC_HANDLE service, DWORD infoLevel, LPBYTE buffer,
                                 DWORD bufferSize, LPDWORD bytesNeeded);
BOOL WINAPI QueryServiceConfig2W(SC_HANDLE service, DWORD infoLevel, LPBYTE buffer,
                                 DWORD bufferSize, LPDWORD bytesNeeded);
DWORD WINAPI NotifyServiceStatusChangeW(SC_HANDLE service, DWORD mask, PSERVICE_NOTIFYW notify);
BOOL WINAPI EnumDependentServicesA(SC_HANDLE service, DWORD serviceState,
                                   LPENUM_SERVICE_STATUSA services, DWORD bufferSize,
                                   LPDWORD bytesNeeded, LPDWORD servicesReturned);
BOOL WINAPI EnumDependentServicesW(SC_HANDLE service, DWORD serviceState,
                                   LPENUM_SERVICE_STATUSW services, DWORD bufferSize,
                                   LPDWORD bytesNeeded, LPDWORD servicesReturned);

#ifdef __cplusplus
}
#endif

#endif
