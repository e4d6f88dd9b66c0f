// Control surface of the simulated platform, for tests: set up services and
// their status over virtual time, inject failures, read the call log.
#ifndef STANDIN_H
#define STANDIN_H

#include <windows.h>

#include <string>
#include <vector>

namespace standin {

// A text in UTF-16 units, as the manager keeps names and paths.
typedef std::basic_string<WCHAR> WideString;

// One status that a started service reports from at_ms after its start on,
// until the next step. The last step holds; a last step in SERVICE_STOPPED
// means the service process has ended.
struct StatusStep {
  DWORD at_ms;
  DWORD state;
  DWORD check_point;
  DWORD wait_hint;
};

// A service as registered with the simulated manager. Its texts are in the
// ANSI code page (1252); the manager keeps them in UTF-16 and hands them back
// converted, with '?' for each character that the page cannot hold.
struct ServiceSetup {
  std::string name;
  DWORD start_type = SERVICE_DEMAND_START;
  // What the service reports after StartServiceA; empty means running at once.
  std::vector<StatusStep> start_script;
  // How long the service stays stop-pending after a stop; INFINITE never stops.
  DWORD stop_ms = 0;
  // How long its process stays, holding its program, after it reports that
  // it stopped.
  DWORD linger_ms = 0;
  // Its process ends when a stop would complete, without reporting that it
  // stopped: a crash in its stop.
  bool crashes_on_stop = false;
  // The children that each start of its process starts, which run its
  // program too: each ends this long after its parent (INFINITE: never on
  // its own).
  std::vector<DWORD> children_outlive_ms;
  // Its first child starts a process of its program this often (0: never),
  // each of which runs spawned_lives_ms (INFINITE: until Reset).
  DWORD child_spawns_every_ms = 0;
  DWORD spawned_lives_ms = INFINITE;
  DWORD controls_accepted = SERVICE_ACCEPT_STOP;
  DWORD exit_code = 0;
  // The service is already started when it is added (its script begins now).
  bool started = false;

  // Configuration, as QueryServiceConfigA hands it back.
  DWORD service_type = SERVICE_WIN32_OWN_PROCESS;
  DWORD error_control = SERVICE_ERROR_NORMAL;
  DWORD tag = 0;
  std::string binary_path = "C:\\svc.exe";
  std::string load_order_group;
  // The names of the dependency list, each with its zero byte; empty for none.
  std::string dependencies;
  std::string account = "LocalSystem";
  std::string display_name;
  std::string password;
  // When not empty, the UTF-16 texts that the manager keeps in place of the
  // ANSI ones above (with its zero after each dependency name).
  WideString wide_binary_path;
  WideString wide_load_order_group;
  WideString wide_dependencies;
  WideString wide_display_name;
  // The optional settings, as ChangeServiceConfig2 sets them and
  // QueryServiceConfig2 hands them back.
  WideString description;
  DWORD reset_period = 0;
  WideString reboot_message;
  WideString command;
  std::vector<SC_ACTION> failure_actions;
  bool on_non_crash_failures = false;
  bool delayed_auto_start = false;
};

// One platform call as it was made, its arguments rendered as text: handles
// as h1, h2... in the order they were handed out, strings quoted, other
// pointers as NULL or ptr, access masks in hex.
struct Call {
  std::string function;
  std::string arguments;
  bool failed;
  // The handle that a call which opens one handed out, as h1, h2... or NULL.
  std::string handle;
};

// Forgets all services, handles, calls, failures and settings; virtual time restarts.
void Reset();

// Registers a service with the simulated manager.
void AddService(const ServiceSetup &setup);

// The service's current configuration, its texts both converted to the ANSI
// code page and in UTF-16 (the wide_ fields); false when no such service is
// registered.
bool ServiceConfig(const char *name, ServiceSetup *config);

// How often a run-command failure action of the service ran its command.
unsigned FailureCommandsRun(const char *name);

// The binary path of each successful start of the service, oldest first.
std::vector<WideString> StartedPrograms(const char *name);

// Whether a process runs the program at this path, the path of a service's
// binary (quoted or not): from the service's start until its process ends,
// which may be after it reported that it stopped.
bool ProgramInUse(const WideString &program);

// Starts a process that no service started, which runs until Reset: with
// this id (one that the system hands out again once its process has gone),
// parent and program, as the caller's account.
void StartProcess(DWORD id, DWORD parent_id, const WideString &program = L"C:\\other.exe");

// Ends the process now, as somebody else's kill does.
void KillProcess(DWORD id);

// Whether the caller's token holds the SeDebugPrivilege (disabled until it
// enables it), as an elevated administrator's does: true until Reset.
void SetCallerHoldsDebugPrivilege(bool holds);

// The service's current state, or 0 when no such service is registered.
DWORD ServiceState(const char *name);

// The service's current status, as a query would see it (zeros when no such
// service is registered).
SERVICE_STATUS_PROCESS ServiceStatus(const char *name);

// The control codes that reached the service, in the order they arrived.
std::vector<DWORD> ControlsReceived(const char *name);

// Makes the nth call (1-based) of function, counted from now, fail with
// code; with code 0 it fails and leaves the last error as it was, as Wine's
// ChangeServiceConfig2 does for a setting that it does not keep.
void FailCall(const char *function, unsigned nth, DWORD code);

// Faults of the platform's answers, beside the failures of FailCall: each
// holds for every later call of function until Reset.
// A size query that finds its buffer too small reports size as the size
// needed (QueryServiceConfigA/W, EnumDependentServicesA/W).
void ReportNeededSize(const char *function, DWORD size);
// The display name grows by this many characters after each size query
// (QueryServiceConfigA/W).
void GrowAfterSizeQuery(const char *function, DWORD characters);
// lpDependencies comes back as a null pointer (QueryServiceConfigA/W).
void HandBackNullDependencies(const char *function);

// Runs action whenever function is called, before the call does anything:
// a test's look at the world at that moment.
void OnCall(const char *function, void (*action)());

// Queues an APC that is nobody's of the module's at this virtual time: it
// wakes an alertable wait then, as another part of a program's would.
void QueueForeignApc(unsigned long long at_ms);

// Makes the notifier late (true), as Wine's notification thread can be: a
// registration still pending when its handle is closed is written, and its
// callback run, at the first alertable wait after the close that lasts,
// with the status of the service at the close.
void SetNotifierLate(bool late);

// Makes the tick count read start at this value, for wrap-around.
void SetTickCountStart(DWORD ticks);

// Virtual milliseconds since Reset.
unsigned long long Now();

// Gives code this system text, in the ANSI code page (1252), in place of
// the built-in English one: the text of a Windows in another language.
void SetMessageText(DWORD code, const std::string &text);

// Makes standard output a console (true) or a pipe or file (false, the
// default). The console shows what WriteConsoleW writes as UTF-8 on file
// descriptor 1, beside the bytes that the C runtime writes there as they are.
void SetStandardOutputIsConsole(bool console);

// Makes the manager leave a service as it was, state and process id, when
// its process ends without reporting SERVICE_STOPPED, as Wine's does (true);
// by default it notices, as Windows' does, and the service stops with
// ERROR_PROCESS_ABORTED.
void SetManagerIgnoresProcessExit(bool ignores);

// While enabled, every successful CloseServiceHandle sets the last error to value.
void SetCloseOverwritesLastError(bool enabled, DWORD value);

// The platform calls made since Reset or ClearCalls, oldest first.
const std::vector<Call> &Calls();

// Empties the call log (after a test's own setup calls).
void ClearCalls();

// Handles handed out and not yet closed.
int OpenHandleCount();

// Buffers allocated by FormatMessageA and FormatMessageW and not yet released with LocalFree.
int OpenLocalAllocationCount();

}  // namespace standin

#endif
