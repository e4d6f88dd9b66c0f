// The simulated Service Control Manager, as its sources share it: the store
// of services and handles with their registration (service_store.cpp), the
// services' states and controls (service_states.cpp), their configuration
// records (service_config.cpp), and the platform's A and W entry points,
// which log each call, convert its texts and hand it on here
// (service_entry_points.cpp). Access and control rules are those of the
// real manager, and so is its keeping of names and paths in UTF-16, with
// the ANSI calls converting through the ANSI code page. Each function that
// fails sets the last error and returns FALSE or null, as the platform does.
#ifndef STANDIN_SERVICE_MANAGER_H
#define STANDIN_SERVICE_MANAGER_H

#include <tlhelp32.h>

#include <cstdint>
#include <string>
#include <vector>

#include "internal.h"

namespace standin {

const unsigned long long kNever = ~0ull;

// The texts of a service as the manager keeps them.
struct Texts {
  WideString name;
  WideString display_name;
  WideString binary_path;
  WideString load_order_group;
  WideString dependencies;  // each name with its zero
  WideString account;
  WideString password;
};

struct Service {
  // Tells apart services of one name: a new one and one that is gone.
  unsigned long serial = 0;
  ServiceSetup setup;  // its texts are not used once the service is added
  Texts text;
  std::vector<WideString> started_programs;
  bool started = false;
  unsigned long long started_at = 0;
  bool stopping = false;
  unsigned long long stop_at = 0;
  DWORD exit_code = 0;
  std::vector<DWORD> controls;
  bool marked_for_delete = false;
  // The process of its latest start: ids rise with each start, so they also
  // tell the order of the starts. An earlier run's process may still be
  // there beside it, until it ends.
  DWORD process_id = 0;
  // When it last reported that it stopped; its process ends linger_ms later.
  unsigned long long stopped_at = 0;
  // When a restart failure action starts it again, after a failure that the
  // manager saw.
  unsigned long long restart_at = kNever;
  // When a run-command failure action runs its command, and how many ran.
  unsigned long long command_at = kNever;
  unsigned commands_run = 0;
};

// A string argument of a call, as the manager takes it: converted from the
// ANSI code page, or as it is; null stays null.
struct Text {
  bool null;
  WideString value;
  const WCHAR *get() const { return null ? nullptr : value.c_str(); }
};

Text Argument(const char *text);
Text Argument(const WCHAR *text);
// A dependency list argument: its names, each with its zero.
Text DependencyList(const char *list);
Text DependencyList(const WCHAR *list);

// The texts of a new service or of a change; a null text is no text (or no change).
struct ConfigTexts {
  Text name;
  Text display_name;
  Text binary_path;
  Text load_order_group;
  Text dependencies;
  Text account;
  Text password;
};

// The manager's own process, the parent of every service's process.
const DWORD kManagerProcessId = 8;
// The process that calls the platform: the tests'.
const DWORD kCallingProcessId = 4;

// The store and registration.
std::vector<Service> &Services();
// The registered service of that name; one marked for deletion is no more
// once it has stopped and no handle refers to it.
Service *FindService(const WideString &name);
bool IsGone(Service &service);
Service *ServiceWithSerial(unsigned long serial);
// The service behind a service handle that carries the needed right.
Service *ServiceFor(SC_HANDLE handle, DWORD needed_access);
bool IsServiceHandle(SC_HANDLE handle);
// The next handle value, for service and kernel handles alike.
std::uintptr_t NewHandleId();
// Whether the manager leaves a service as it was when its process ends
// without reporting SERVICE_STOPPED (Wine's), rather than stopping it with
// ERROR_PROCESS_ABORTED (Windows').
bool ManagerIgnoresProcessExit();
// Boot and system start are for drivers; a program service may start
// automatically, on demand, or not at all.
bool IsProgramStartType(DWORD start_type);
SC_HANDLE OpenManager(DWORD desired_access);
SC_HANDLE OpenNamedService(SC_HANDLE manager, const Text &name, DWORD desired_access);
SC_HANDLE Create(SC_HANDLE manager, const ConfigTexts &text, DWORD desired_access,
                 DWORD service_type, DWORD start_type, DWORD error_control);
BOOL Delete(SC_HANDLE service);
// Releases the handle even for an injected failure (failing): the caller
// cannot do more than call, and a test then sees only what the caller did.
BOOL Close(SC_HANDLE handle, bool failing);

// States and controls.
SERVICE_STATUS_PROCESS StatusOf(Service &service);
BOOL Start(SC_HANDLE service);
BOOL QueryStatus(SC_HANDLE service, SERVICE_STATUS *status);
BOOL QueryStatusProcess(SC_HANDLE service, SC_STATUS_TYPE level, LPBYTE buffer, DWORD size,
                        LPDWORD needed);
BOOL Control(SC_HANDLE service, DWORD control, SERVICE_STATUS *status);
// When the process of the service's latest run ends, as its reports decide
// it: linger_ms after its stop, kNever while nothing ends it; a kill is
// not counted here.
unsigned long long RunEndsAt(Service &service);
// Starts a run of the service: its process, and the children that it starts.
void StartRun(Service &service);
// The time of the service's first report after after whose state the mask
// (SERVICE_NOTIFY_...) holds, as things stand; kNever for none.
unsigned long long NextReportAt(Service &service, unsigned long long after, DWORD mask);
// The SERVICE_NOTIFY_... bit of a state.
inline DWORD NotifyBit(DWORD state) { return state == 0 ? 0 : 1u << (state - 1); }

// Notifications of the service's status, and the alertable waits that
// deliver them and any other APC.
// Cancels what was asked through the handle, which is being closed.
void ForgetNotifications(SC_HANDLE handle);
void ResetNotifications();

// Processes and the kernel's handles to them.
// A new process of the program, the current run of the service with that
// serial (0 for none), running as account; a child ends outlives_parent_ms
// after its parent (INFINITE: never on its own). Returns its id.
DWORD StartProcess(const WideString &program, unsigned long service, DWORD parent_id, bool child,
                   DWORD outlives_parent_ms, const WideString &account);
// The process starts a process of its program every every_ms while it runs,
// each running lives_ms (INFINITE: until Reset).
void SpawnEvery(DWORD id, DWORD every_ms, DWORD lives_ms);
// The process no longer ends with a service's run, but at ends_at.
void DetachProcess(DWORD id, unsigned long long ends_at);
// Ends the process at that time (a kill, a crash), if it runs that long.
void EndProcess(DWORD id, unsigned long long at);
// When the process was ended so, kNever if it was not.
unsigned long long ProcessEndedAt(DWORD id);
bool ProcessRuns(DWORD id);
HANDLE OpenRunningProcess(DWORD id, DWORD access);
DWORD WaitForProcess(HANDLE process, DWORD milliseconds);
// When the process behind the handle ends; false, with the last error set,
// for a handle that is no process's.
bool ProcessEndOfHandle(HANDLE handle, unsigned long long *ends_at);
HANDLE ListProcesses(DWORD flags);
BOOL NextListedProcess(HANDLE list, PROCESSENTRY32W *entry, bool first);
BOOL CloseKernelHandle(HANDLE handle, bool failing);
// A handle to a file, by the host's descriptor, and the descriptor behind a
// handle (-1 for none).
HANDLE NewFileHandle(int file);
int FileOfHandle(HANDLE handle);
// A handle to the thread's token, and whether a handle is one.
HANDLE NewTokenHandle();
bool IsTokenHandle(HANDLE handle);
// Whether the thread impersonates with the SeDebugPrivilege enabled.
bool DebugPrivilegeEnabled();
void ResetSecurity();
int OpenKernelHandleCount();
void ResetProcesses();

// Configuration records, in each form's records and texts.
template <typename Char>
struct Records;
template <>
struct Records<char> {
  typedef ENUM_SERVICE_STATUSA Dependent;
  typedef QUERY_SERVICE_CONFIGA Config;
  typedef SERVICE_DESCRIPTIONA Description;
  typedef SERVICE_FAILURE_ACTIONSA FailureActions;
};
template <>
struct Records<WCHAR> {
  typedef ENUM_SERVICE_STATUSW Dependent;
  typedef QUERY_SERVICE_CONFIGW Config;
  typedef SERVICE_DESCRIPTIONW Description;
  typedef SERVICE_FAILURE_ACTIONSW FailureActions;
};
BOOL ChangeConfig(SC_HANDLE service, const ConfigTexts &text, DWORD service_type, DWORD start_type,
                  DWORD error_control);
template <typename Char>
BOOL QueryConfig(SC_HANDLE service, typename Records<Char>::Config *config, DWORD size,
                 LPDWORD needed, const Faults &faults);
template <typename Char>
BOOL ChangeOptional(SC_HANDLE service, DWORD level, LPVOID info);
template <typename Char>
BOOL QueryOptional(SC_HANDLE service, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed);
// A text as a form's calls hand it back.
template <typename Char>
std::basic_string<Char> InForm(const WideString &text);
// The services that depend on the service, directly or not, in the given
// states, in the reverse order of their starts.
template <typename Char>
BOOL EnumDependents(SC_HANDLE service, DWORD states, typename Records<Char>::Dependent *records,
                    DWORD size, LPDWORD needed, LPDWORD returned);

}  // namespace standin

#endif
