// Every failure exit, generated from the calls of each operation's successful
// run: each call position in turn fails with a code that nothing else
// produces. The run must then return that code (or what the operation makes
// of it), leave it as the last error, close what it opened in reverse order,
// free its record buffer, leave the caller's outputs alone, and make no
// further call but the closing ones. The module's operations run in their
// ANSI and their wide form.
#include <service_control.h>
#include <starter.h>

#include <cstdio>
#include <cstring>
#include <functional>

#include "ops/config_reading.h"
#include "module_forms.h"
#include "standin_fixture.h"

// Allocation hooks of the sanitizer runtime that the host build links.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void *,
                                                                             size_t),
                                                         void (*free_hook)(const volatile void *));

namespace {

const DWORD kInjected = 0x1234;
const DWORD kUntouched = 42;

// The configuration record is given a size that nothing else in the process
// allocates, so that the hooks can follow the module's record buffer.
const DWORD kReportedRecordSize = 3001;
const size_t kRecordBufferSize = kReportedRecordSize + service_control::kSpareRecordBytes;

const volatile void *record_buffers[16];
int record_buffers_live = 0;
int record_buffers_allocated = 0;

void OnMalloc(const volatile void *pointer, size_t size) {
  if (size != kRecordBufferSize || record_buffers_live == 16) return;
  record_buffers[record_buffers_live++] = pointer;
  ++record_buffers_allocated;
}

void OnFree(const volatile void *pointer) {
  for (int i = 0; i < record_buffers_live; ++i) {
    if (record_buffers[i] == pointer) record_buffers[i] = record_buffers[--record_buffers_live];
  }
}

const bool hooks_installed = __sanitizer_install_malloc_and_free_hooks(OnMalloc, OnFree) != 0;

struct Injection {
  std::string function;
  unsigned nth;  // which call of that function, from 1
};

struct Operation {
  std::string name;
  std::function<void()> setup;
  // Runs the operation and checks its result and outputs for the injection
  // (none for the recorded successful run).
  std::function<void(const Injection *)> run_and_check;
};

bool Is(const Injection *injection, const char *function, unsigned from_nth = 1) {
  return injection != nullptr && injection->function == function && injection->nth >= from_nth;
}

bool IsClose(const std::string &function) {
  return function == "CloseServiceHandle" || function == "CloseHandle";
}

// A failed close changes nothing, a process that cannot be opened is
// watched through the process list, one whose times cannot be read is
// taken for a child, and a service whose notifications cannot be had is
// queried at a pace: the operation goes on.
bool GoesOnAfter(const std::string &function) {
  return IsClose(function) || function == "OpenProcess" || function == "GetProcessTimes" ||
         function == "NotifyServiceStatusChangeW";
}

// The generic result: the injected code, but for a failure that the operation goes on after.
DWORD Expected(const Injection *injection) {
  return injection == nullptr || GoesOnAfter(injection->function) ? ERROR_SUCCESS : kInjected;
}

void CheckResult(DWORD result, DWORD expected) {
  EXPECT_EQ(result, expected);
  if (expected != ERROR_SUCCESS) {
    EXPECT_EQ(GetLastError(), expected);
  }
}

// A stage result: the stage of the failed call (named without the form's A
// or W), its code in error out and as the last error. Returns that stage, 0
// when no call of a stage failed.
DWORD CheckStage(const ModuleForm &form, const Injection *injection, DWORD result, DWORD error,
                 const std::vector<std::pair<const char *, DWORD>> &stages) {
  DWORD expected = 0;
  for (const auto &stage : stages) {
    if (Is(injection, form.Platform(stage.first).c_str())) expected = stage.second;
  }
  EXPECT_EQ(result, expected);
  EXPECT_EQ(error, expected == 0 ? 0u : kInjected);
  if (expected != 0) {
    EXPECT_EQ(GetLastError(), kInjected);
  }
  return expected;
}

// The pacing and clock calls cannot fail.
bool CanFail(const std::string &function) {
  return function != "Sleep" && function != "SleepEx" && function != "GetTickCount";
}

standin::ServiceSetup StartsWithinTwoPasses() {
  standin::ServiceSetup setup = PendingService(0);
  setup.start_script.push_back({500, SERVICE_START_PENDING, 2, 0});
  setup.start_script.push_back({1500, SERVICE_RUNNING, 0, 0});
  return setup;
}

standin::ServiceSetup StoppedService() {
  standin::ServiceSetup setup;
  setup.name = kService;
  setup.binary_path = "C:\\Tessera\\svc.exe";
  setup.load_order_group = "Group";
  setup.dependencies = std::string("A\0B\0", 4);
  setup.display_name = "Tessera";
  return setup;
}

// The service above, whose configuration read asks for a record of its own size.
void AddStoppedService() {
  standin::AddService(StoppedService());
  for (const char *query : {"QueryServiceConfigA", "QueryServiceConfigW"}) {
    standin::ReportNeededSize(query, kReportedRecordSize);
  }
}

standin::ServiceSetup RunningWithLingeringProcess() {
  standin::ServiceSetup setup = RunningService();
  setup.stop_ms = 600;
  setup.linger_ms = 700;
  return setup;
}

// The service, and one that depends on it, started after it.
void AddServiceAndDependent(bool started = true) {
  standin::ServiceSetup service = RunningWithLingeringProcess();
  service.started = started;
  standin::AddService(service);
  service.name = "tessera-dependent";
  service.dependencies = std::string("tessera\0", 8);
  standin::AddService(service);
}

DWORD Install(const ModuleForm &form, bool quoted, char *path, DWORD *error) {
  if (quoted) {
    return form.install_quoted(path, kService, "Tessera", SERVICE_WIN32_OWN_PROCESS,
                               SERVICE_DEMAND_START, "A\0", 1, "Group", "LocalSystem", "", error);
  }
  return form.install_unquoted(path, kService, "Tessera", SERVICE_WIN32_OWN_PROCESS,
                               SERVICE_DEMAND_START, "A\0", 1, "Group", "LocalSystem", "", error);
}

void RunInstall(const ModuleForm &form, bool quoted, const Injection *injection) {
  char path[64] = "C:\\Tessera Test\\svc.exe";
  DWORD error = kUntouched;
  const DWORD result = Install(form, quoted, path, &error);
  const DWORD stage = CheckStage(form, injection, result, error,
                                 {{"OpenSCManager", SERVICE_STAGE_OPEN_MANAGER},
                                  {"CreateService", SERVICE_STAGE_CREATE_SERVICE}});
  // The quoted form stays once the manager is open, whatever follows.
  const bool quotes = quoted && stage != SERVICE_STAGE_OPEN_MANAGER;
  EXPECT_STREQ(path, quotes ? "\"C:\\Tessera Test\\svc.exe\"" : "C:\\Tessera Test\\svc.exe");
  EXPECT_EQ(standin::ServiceState(kService), stage == 0 ? SERVICE_STOPPED : 0u);
}

void RunReadConfig(const ModuleForm &form, const Injection *injection) {
  DWORD values[4] = {kUntouched, kUntouched, kUntouched, kUntouched};
  char path[MAX_PATH];
  char group[100];
  char dependencies[100];
  char display[100];
  for (char *buffer : {path, group, dependencies, display}) std::memset(buffer, '#', 100);
  DWORD error = kUntouched;
  const int allocated_before = record_buffers_allocated;
  const DWORD result = form.read_config(kService, &values[0], &values[1], &values[2], &values[3],
                                        path, group, dependencies, display, &error);
  CheckStage(form, injection, result, error,
             {{"OpenSCManager", SERVICE_STAGE_OPEN_MANAGER},
              {"OpenService", SERVICE_STAGE_OPEN_SERVICE},
              {"QueryServiceConfig", SERVICE_STAGE_READ_CONFIG}});
  EXPECT_EQ(record_buffers_live, 0) << "the record buffer was not freed";
  if (result == 0) {
    EXPECT_EQ(record_buffers_allocated, allocated_before + 1);
    EXPECT_STREQ(path, "C:\\Tessera\\svc.exe");
    EXPECT_STREQ(display, "Tessera");
    return;
  }
  for (DWORD value : values) EXPECT_EQ(value, kUntouched);
  for (char *buffer : {path, group, dependencies, display}) {
    EXPECT_EQ(std::string(buffer, 100), std::string(100, '#'));
  }
}

void RunReconfigure(const ModuleForm &form, const Injection *injection) {
  char path[64] = "C:\\Tessera 2\\svc.exe";
  DWORD error = kUntouched;
  const DWORD result =
      form.reconfigure_quoted(path, kService, "", SERVICE_NO_CHANGE, SERVICE_AUTO_START, "",
                              SERVICE_NO_CHANGE, "", "", "", &error);
  const DWORD stage = CheckStage(form, injection, result, error,
                                 {{"OpenSCManager", SERVICE_STAGE_OPEN_MANAGER},
                                  {"OpenService", SERVICE_STAGE_OPEN_SERVICE},
                                  {"ChangeServiceConfig", SERVICE_STAGE_CHANGE_CONFIG}});
  // The path is quoted once the service is open, whatever follows.
  const bool opened = stage != SERVICE_STAGE_OPEN_MANAGER && stage != SERVICE_STAGE_OPEN_SERVICE;
  EXPECT_STREQ(path, opened ? "\"C:\\Tessera 2\\svc.exe\"" : "C:\\Tessera 2\\svc.exe");
  standin::ServiceSetup config;
  ASSERT_TRUE(standin::ServiceConfig(kService, &config));
  const bool changed = stage == 0;
  EXPECT_EQ(config.binary_path, changed ? "\"C:\\Tessera 2\\svc.exe\"" : "C:\\Tessera\\svc.exe");
  EXPECT_EQ(config.start_type, changed ? static_cast<DWORD>(SERVICE_AUTO_START)
                                       : static_cast<DWORD>(SERVICE_DEMAND_START));
}

void RunFailureActions(const ModuleForm &form, const Injection *injection) {
  const SC_ACTION actions[2] = {{SC_ACTION_RESTART, 1000}, {SC_ACTION_NONE, 0}};
  CheckResult(form.set_failure_actions(kService, 60, actions, 2, 1), Expected(injection));
  // The first ChangeServiceConfig2 sets the actions, the second the flag: a
  // failed second call leaves the actions set.
  const bool set = Expected(injection) == ERROR_SUCCESS;
  const bool actions_set = set || Is(injection, form.Platform("ChangeServiceConfig2").c_str(), 2);
  standin::ServiceSetup config;
  ASSERT_TRUE(standin::ServiceConfig(kService, &config));
  EXPECT_EQ(config.failure_actions.size(), actions_set ? 2u : 0u);
  EXPECT_EQ(config.on_non_crash_failures, set);
}

void CheckDeleted(DWORD result, const Injection *injection) {
  CheckResult(result, Expected(injection));
  const bool deleted = Expected(injection) == ERROR_SUCCESS;
  EXPECT_EQ(standin::ServiceState(kService), deleted ? 0u : SERVICE_STOPPED);
}

// Checks the log after a run with the failure injected at position.
void CheckCallsAfterFailure(size_t position, const Injection &injection) {
  const std::vector<standin::Call> &calls = standin::Calls();
  ASSERT_LT(position, calls.size());
  EXPECT_TRUE(calls[position].failed) << "the injected call was not made where recorded";
  // Each handle handed out is closed once, the last one opened first.
  std::vector<std::string> open;
  for (size_t i = 0; i < calls.size(); ++i) {
    const standin::Call &call = calls[i];
    if (!call.handle.empty() && call.handle != "NULL") open.push_back(call.handle);
    if (IsClose(call.function)) {
      EXPECT_TRUE(!open.empty() && open.back() == call.arguments)
          << "closed out of order: " << call.arguments;
      if (!open.empty()) open.pop_back();
    }
    if (i > position && !GoesOnAfter(injection.function)) {
      // Releasing: closes, a message's buffer, and the callbacks that a
      // notification queued before its handle was closed.
      EXPECT_TRUE(IsClose(call.function) || call.function == "FormatMessageA" ||
                  call.function == "LocalFree" ||
                  (call.function == "SleepEx" && call.arguments == "0, 1"))
          << "call after the failure: " << call.function << "(" << call.arguments << ")";
    }
  }
  EXPECT_TRUE(open.empty()) << "left open: " << open.size();
  EXPECT_EQ(standin::OpenHandleCount(), 0);
  // A message buffer whose release failed stays allocated; Reset frees it.
  if (injection.function != "LocalFree") {
    EXPECT_EQ(standin::OpenLocalAllocationCount(), 0);
  }
}

// Records the successful run, then injects a failure at each call position.
size_t RunMatrix(const Operation &operation) {
  standin::Reset();
  operation.setup();
  {
    SCOPED_TRACE(testing::Message() << operation.name << ": successful run");
    operation.run_and_check(nullptr);
  }
  const std::vector<standin::Call> recorded = standin::Calls();
  size_t cases = 0;
  for (size_t position = 0; position < recorded.size(); ++position) {
    if (!CanFail(recorded[position].function)) continue;
    Injection injection{recorded[position].function, 0};
    for (size_t i = 0; i <= position; ++i)
      injection.nth += recorded[i].function == injection.function;
    SCOPED_TRACE(testing::Message() << operation.name << ": call " << position << ", "
                                    << injection.function << " #" << injection.nth);
    standin::Reset();
    operation.setup();
    standin::FailCall(injection.function.c_str(), injection.nth, kInjected);
    SetLastError(kSentinel);
    operation.run_and_check(&injection);
    CheckCallsAfterFailure(position, injection);
    ++cases;
  }
  standin::Reset();  // frees what a failed release left allocated
  std::printf("[ matrix   ] %s: %zu calls recorded, %zu failure cases\n", operation.name.c_str(),
              recorded.size(), cases);
  return cases;
}

// What the starter prints when the start fails with this code and the
// platform has a text for it (or not).
std::string FailedOutput(const char *text) {
  return std::string("\nStarting Tessera service ... FAILED") +
         (text == nullptr ? "\nUnknown Error" : std::string("\nError: ") + text);
}

std::string RunStarter() {
  testing::internal::CaptureStdout();
  StartTesseraAndReport();
  return testing::internal::GetCapturedStdout();
}

class FailureMatrixTest : public StandinTest {};

// The module's operations in one form.
std::vector<Operation> ModuleOperations(const ModuleForm &f) {
  return {
      {"StartServiceAndWait", [] { standin::AddService(StartsWithinTwoPasses()); },
       [&f](const Injection *injection) {
         DWORD flag = kUntouched;
         CheckResult(f.start_and_wait(kService, &flag), Expected(injection));
         // Only a failed query inside the wait leaves the service not running.
         EXPECT_EQ(flag, Is(injection, "QueryServiceStatusEx", 2) ? 1u : kUntouched);
       }},
      {"StartServiceAndPoll",
       [] {
         standin::ServiceSetup setup = PendingService(0);
         setup.start_script.push_back({250, SERVICE_RUNNING, 0, 0});
         standin::AddService(setup);
       },
       [&f](const Injection *injection) {
         CheckResult(f.start_and_poll(kService), Expected(injection));
       }},
      {"StopServiceAndWait",
       [] {
         standin::ServiceSetup setup = RunningService();
         setup.stop_ms = 1200;
         standin::AddService(setup);
       },
       [&f](const Injection *injection) {
         // A failed query inside the wait leaves a state that is not stopped.
         CheckResult(f.stop_and_wait(kService), Is(injection, "QueryServiceStatus", 2)
                                                    ? ERROR_SERVICE_REQUEST_TIMEOUT
                                                    : Expected(injection));
       }},
      {"ControlServiceAndWaitStopped", [] { standin::AddService(PendingService(0)); },
       [&f](const Injection *injection) {
         CheckResult(f.control_and_wait_stopped(kService), Expected(injection));
       }},
      {"SendServiceControl", [] { standin::AddService(RunningService()); },
       [&f](const Injection *injection) {
         CheckResult(f.send_control(kService, 200), Expected(injection));
         EXPECT_EQ(standin::ControlsReceived(kService).size(),
                   Expected(injection) == ERROR_SUCCESS ? 1u : 0u);
       }},
      {"QueryServiceState", [] { standin::AddService(RunningService()); },
       [&f](const Injection *injection) {
         SERVICE_STATUS status{};
         status.dwCurrentState = kUntouched;
         CheckResult(f.query_state(kService, &status), Expected(injection));
         EXPECT_EQ(status.dwCurrentState,
                   Expected(injection) == ERROR_SUCCESS ? SERVICE_RUNNING : kUntouched);
       }},
      {"InstallServiceQuoted", [] {},
       [&f](const Injection *injection) { RunInstall(f, true, injection); }},
      {"InstallServiceUnquoted", [] {},
       [&f](const Injection *injection) { RunInstall(f, false, injection); }},
      {"DeleteServiceIfStopped", AddStoppedService,
       [&f](const Injection *injection) {
         CheckDeleted(f.delete_if_stopped(kService, 1), injection);
       }},
      {"DeleteServiceByName", AddStoppedService,
       [&f](const Injection *injection) { CheckDeleted(f.delete_by_name(kService), injection); }},
      {"SetServiceStartType", AddStoppedService,
       [&f](const Injection *injection) {
         CheckResult(f.set_start_type(kService, SERVICE_DISABLED), Expected(injection));
         standin::ServiceSetup config;
         ASSERT_TRUE(standin::ServiceConfig(kService, &config));
         EXPECT_EQ(config.start_type, Expected(injection) == ERROR_SUCCESS
                                          ? static_cast<DWORD>(SERVICE_DISABLED)
                                          : static_cast<DWORD>(SERVICE_DEMAND_START));
       }},
      {"ReadServiceConfig", AddStoppedService,
       [&f](const Injection *injection) { RunReadConfig(f, injection); }},
      {"ReconfigureServiceQuoted", AddStoppedService,
       [&f](const Injection *injection) { RunReconfigure(f, injection); }},
      {"SetServiceDescription", AddStoppedService,
       [&f](const Injection *injection) {
         CheckResult(f.set_description(kService, "Keeps Tessera running"), Expected(injection));
         standin::ServiceSetup config;
         ASSERT_TRUE(standin::ServiceConfig(kService, &config));
         EXPECT_EQ(config.description.empty(), Expected(injection) != ERROR_SUCCESS);
       }},
      {"SetServiceFailureActions", AddStoppedService,
       [&f](const Injection *injection) { RunFailureActions(f, injection); }},
      {"StopServiceAndWaitForExit", [] { standin::AddService(RunningWithLingeringProcess()); },
       [&f](const Injection *injection) {
         CheckResult(f.stop_and_wait_for_exit(kService, 10000), Expected(injection));
       }},
      {"StopServiceAndWaitForExit, no right on the process",
       [] {
         standin::AddService(RunningWithLingeringProcess());
         standin::FailCall("OpenProcess", 1, ERROR_ACCESS_DENIED);
       },
       [&f](const Injection *injection) {
         CheckResult(f.stop_and_wait_for_exit(kService, 10000), Expected(injection));
         // Stopped, and its process gone, whatever failed after the stop.
         if (Expected(injection) == ERROR_SUCCESS) {
           EXPECT_EQ(standin::ServiceState(kService), SERVICE_STOPPED);
           EXPECT_FALSE(standin::ProgramInUse(L"C:\\svc.exe"));
         }
       }},
      {"DeleteServiceAndWaitGone", AddStoppedService,
       [&f](const Injection *injection) {
         CheckResult(f.delete_and_wait_gone(kService, 10000), Expected(injection));
         // A failure after the deletion, in the wait until it is gone, leaves it gone.
         const bool kept = Expected(injection) != ERROR_SUCCESS && injection->nth == 1;
         EXPECT_EQ(standin::ServiceState(kService), kept ? SERVICE_STOPPED : 0u);
       }},
      {"StopServiceWithDependents", [] { AddServiceAndDependent(); },
       [&f](const Injection *injection) {
         char stopped[32];
         CheckResult(f.stop_with_dependents(kService, 10000, stopped, 32), Expected(injection));
       }},
      {"StartServiceWithDependents", [] { AddServiceAndDependent(false); },
       [&f](const Injection *injection) {
         CheckResult(f.start_with_dependents(kService, "tessera-dependent\0", 10000),
                     Expected(injection));
       }},
      {"StopServicesForUpdate", [] { AddServiceAndDependent(); },
       [&f](const Injection *injection) {
         char record[64];
         DWORD size = sizeof record;
         CheckResult(f.stop_for_update(kService, 10000, SERVICE_UPDATE_HOLD_STOPPED, record, &size),
                     Expected(injection));
       }},
      {"RestoreServicesAfterUpdate", [] { AddServiceAndDependent(false); },
       [&f](const Injection *injection) {
         CheckResult(f.restore_after_update("SCU1/2;R-3=tessera;S-2=tessera-dependent", 10000),
                     Expected(injection));
       }},
      {"SetServiceDelayedAutoStart", AddStoppedService,
       [&f](const Injection *injection) {
         CheckResult(f.set_delayed_auto_start(kService, 1), Expected(injection));
         standin::ServiceSetup config;
         ASSERT_TRUE(standin::ServiceConfig(kService, &config));
         EXPECT_EQ(config.delayed_auto_start, Expected(injection) == ERROR_SUCCESS);
       }},
  };
}

TEST_F(FailureMatrixTest, EveryCallOfEveryOperationFails) {
  ASSERT_TRUE(hooks_installed);
  // The starter is ANSI only.
  const Operation starter_runs[] = {
      {"starter, service starts", [] { standin::AddService(StartsWithinTwoPasses()); },
       [](const Injection *injection) {
         EXPECT_EQ(RunStarter(), Expected(injection) == ERROR_SUCCESS
                                     ? "\nStarting Tessera service\n... SUCCEEDED"
                                     : FailedOutput(nullptr));
       }},
      {"starter, service already running", [] { standin::AddService(RunningService()); },
       [](const Injection *injection) {
         // The injected code has no text; a failed close or release changes nothing printed.
         const bool refusal_stands = injection == nullptr || Is(injection, "CloseServiceHandle") ||
                                     Is(injection, "LocalFree");
         EXPECT_EQ(
             RunStarter(),
             FailedOutput(refusal_stands ? "An instance of the service is already running.\r\n"
                                         : nullptr));
       }},
  };
  size_t cases = 0;
  for (const ModuleForm *form : kBothForms) {
    for (Operation operation : ModuleOperations(*form)) {
      if (form == &kWideForm) operation.name += "W";
      cases += RunMatrix(operation);
    }
  }
  for (const Operation &operation : starter_runs) cases += RunMatrix(operation);
  std::printf("[ matrix   ] %zu failure cases in all\n", cases);
  EXPECT_GT(cases, 190u);
}

}  // namespace
