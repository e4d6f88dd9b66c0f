// The steps of an update against the stand-in, in virtual time: each result
// code, each pause and wait, each deadline and each list boundary.
#include <pthread.h>
#include <service_control.h>

#include <cstring>
#include <functional>

#include "standin_fixture.h"

namespace {

const char kDependent[] = "tessera-dependent";

struct Row {
  const char *what;
  std::function<void()> setup;
  std::function<DWORD()> call;
  DWORD result;
  unsigned long long elapsed_ms;
  std::vector<std::string> waits;         // not checked when empty
  std::function<void()> check = nullptr;  // further checks, when given
};

std::vector<std::string> Repeated(size_t times, const std::string &wait) {
  return std::vector<std::string>(times, wait);
}

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string> &b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

void AddRunning(DWORD stop_ms, DWORD linger_ms, DWORD service_type = SERVICE_WIN32_OWN_PROCESS) {
  standin::ServiceSetup setup = RunningService();
  setup.stop_ms = stop_ms;
  setup.linger_ms = linger_ms;
  setup.service_type = service_type;
  standin::AddService(setup);
}

// A service that runs at once when it is started.
standin::ServiceSetup Stopped() {
  standin::ServiceSetup setup;
  setup.name = kService;
  return setup;
}

// Sends the service a stop, without waiting.
void SendStop() {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE service = OpenServiceA(manager, kService, SERVICE_STOP);
  SERVICE_STATUS status;
  ControlService(service, SERVICE_CONTROL_STOP, &status);
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
  standin::ClearCalls();
}

// Start-pending from check point 0 (the manager's own status, before the
// service's first report), rising every 250 ms, for pending_ms; then
// stopped or running.
standin::ServiceSetup Starting(DWORD pending_ms, DWORD end_state = SERVICE_RUNNING) {
  standin::ServiceSetup setup = PendingService(2000);
  setup.start_script[0].check_point = 0;
  for (DWORD at = 250; at < pending_ms; at += 250) {
    setup.start_script.push_back({at, SERVICE_START_PENDING, at / 250 + 1, 2000});
  }
  setup.start_script.push_back({pending_ms, end_state, 0, 0});
  return setup;
}

// The service and two dependents, b started after a; optionally one that
// the module's stop of the service keeps starting again.
void AddServiceWithDependents() {
  for (const char *name : {kService, "a", "b"}) {
    standin::ServiceSetup setup = RunningService();
    setup.name = name;
    if (setup.name != kService) setup.dependencies = std::string("tessera\0", 8);
    standin::AddService(setup);
  }
}

void RestartDependentIfStopped() {
  if (standin::ServiceState("a") != SERVICE_STOPPED) return;
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE service = OpenServiceA(manager, "a", SERVICE_START);
  StartServiceA(service, 0, nullptr);
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
}

char list[16];

DWORD StopWithDependentsInto(DWORD size) {
  std::memset(list, '#', sizeof list);
  return StopServiceWithDependents(kService, 10000, list, size);
}

void ExpectList(const std::string &expected) {
  EXPECT_EQ(std::string(list, expected.size() + 1), expected + '#');
}

char record[1024];
DWORD record_size;

DWORD StopForUpdate(DWORD timeout, DWORD flags, DWORD size = sizeof record) {
  record_size = size;
  return StopServicesForUpdate(kService, timeout, flags, record, &record_size);
}

// The record: the body expected, then its length and an 8-digit checksum.
void ExpectRecord(const std::string &body) {
  const std::string text = record;
  EXPECT_EQ(text.substr(0, body.size() + 1), body + '/');
  EXPECT_EQ(text.size(), body.size() + 1 + std::to_string(body.size()).size() + 1 + 8);
  EXPECT_EQ(record_size, text.size() + 1);
}

void ExpectStartType(const char *name, DWORD start_type) {
  standin::ServiceSetup config;
  ASSERT_TRUE(standin::ServiceConfig(name, &config));
  EXPECT_EQ(config.start_type, start_type);
}

// The service and its dependents, d1 first in the order of their starts;
// d1 runs although disabled.
void AddRunningOneDisabled(int dependents) {
  standin::AddService(RunningService());
  for (int i = 1; i <= dependents; ++i) {
    standin::ServiceSetup setup = RunningService();
    setup.name = "d" + std::to_string(i);
    setup.dependencies = std::string("tessera\0", 8);
    setup.start_type = i == 1 ? SERVICE_DISABLED : SERVICE_DEMAND_START;
    standin::AddService(setup);
  }
}

void ExpectRestoredAndOneLeftDisabled(int dependents) {
  std::string expected = "SCU2/1/" + std::to_string(dependents + 1) + ";R-3=tessera";
  for (int i = dependents; i > 1; --i) expected += ";R-3=d" + std::to_string(i);
  ExpectRecord(expected + ";R-4=d1");
  for (int twice = 0; twice < 2; ++twice) {
    EXPECT_EQ(RestoreServicesAfterUpdate(record, 10000), 0u);
    EXPECT_EQ(standin::ServiceState(kService), SERVICE_RUNNING);
    for (int i = 1; i <= dependents; ++i) {
      EXPECT_EQ(standin::ServiceState(("d" + std::to_string(i)).c_str()), SERVICE_RUNNING) << i;
    }
    ExpectStartType("d1", SERVICE_DISABLED);
  }
}

// A name whose characters the record escapes: a space, the record's own
// marks, DEL, and two beyond ASCII, the last U+20AC in UTF-16.
const char kEscapedName[] = "a b%;=~\x7F\xE9\x80";

void ExpectEscapedNameReadBackInBothForms() {
  ExpectRecord("SCU2/0/1;R-3=a%20b%25%3B%3D~%7F%E9%80");
  EXPECT_EQ(RestoreServicesAfterUpdate(record, 1000), 0u);
  wchar_t wide[64];
  DWORD size = 64;
  EXPECT_EQ(StopServicesForUpdateW(L"a b%;=~\x7F\xE9\x20AC", 1000, 0, wide, &size), 0u);
  EXPECT_EQ(std::wstring(wide).substr(0, 41), L"SCU2/0/1;R-3=a%20b%25%3B%3D~%7F%E9%u20AC/");
  EXPECT_EQ(RestoreServicesAfterUpdateW(wide, 1000), 0u);
  EXPECT_EQ(standin::ServiceState(kEscapedName), SERVICE_RUNNING);
  // The first unit that is written %uXXXX is read back, not refused; the
  // narrow form has no such escape.
  EXPECT_EQ(RestoreServicesAfterUpdateW(L"SCU1/1;R-3=%u0100", 1000),
            static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
  EXPECT_EQ(RestoreServicesAfterUpdate("SCU1/1;R-3=%u0100", 1000),
            static_cast<DWORD>(ERROR_INVALID_DATA));
}

// Runs past any restart that a failure action would make, then restores twice.
void RestoreHeldTwice() {
  Sleep(5000);
  EXPECT_EQ(standin::ServiceState(kService), SERVICE_STOPPED);
  for (int twice = 0; twice < 2; ++twice) {
    EXPECT_EQ(RestoreServicesAfterUpdate(record, 10000), 0u);
    EXPECT_EQ(standin::ServiceState(kService), SERVICE_RUNNING);
    EXPECT_EQ(standin::StartedPrograms(kService).size(), 1u);
  }
  standin::ServiceSetup config;
  standin::ServiceConfig(kService, &config);
  EXPECT_EQ(config.start_type, SERVICE_DEMAND_START);
}

// A service that ignores its stop, whose failure action restarts it 100 ms
// after a failure.
void AddHung() {
  standin::ServiceSetup setup = RunningService();
  setup.stop_ms = INFINITE;
  setup.failure_actions = {{SC_ACTION_RESTART, 100}};
  standin::AddService(setup);
}

// A hung service whose failure actions run a command, then restart it.
void AddHungWithCommand() {
  standin::ServiceSetup setup = RunningService();
  setup.stop_ms = INFINITE;
  setup.reset_period = 60;
  setup.failure_actions = {{SC_ACTION_RUN_COMMAND, 0}, {SC_ACTION_RESTART, 100}};
  standin::AddService(setup);
}

void ExpectActions(size_t count) {
  standin::ServiceSetup config;
  ASSERT_TRUE(standin::ServiceConfig(kService, &config));
  EXPECT_EQ(config.failure_actions.size(), count);
  if (count != 0) {
    EXPECT_EQ(config.reset_period, 60u);
  }
}

standin::ServiceSetup WithChild(DWORD outlives_ms) {
  standin::ServiceSetup setup = RunningService();
  setup.children_outlive_ms = {outlives_ms};
  return setup;
}

// Runs call on a thread of its own with a 256 KiB stack; its last error
// becomes this thread's.
DWORD OnSmallStack(DWORD (*call)()) {
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setstacksize(&attributes, 256 << 10);
  static DWORD result;
  static DWORD error;
  pthread_t thread;
  pthread_create(
      &thread, &attributes,
      [](void *run) -> void * {
        result = reinterpret_cast<DWORD (*)()>(run)();
        error = GetLastError();
        return nullptr;
      },
      reinterpret_cast<void *>(call));
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attributes);
  SetLastError(error);
  return result;
}

DWORD StartWithTwentyThousandDependents() {
  std::string names;
  for (int i = 0; i < 20000; ++i) names += "d" + std::to_string(i) + '\0';
  return StartServiceWithDependents(kService, names.c_str(), 10000);
}

bool late_started;

void ExpectNoProgramLeft() { EXPECT_FALSE(standin::ProgramInUse(L"C:\\svc.exe")); }

void ExpectThreadTokenAsItWas() {
  HANDLE token;
  EXPECT_FALSE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token));
  EXPECT_EQ(GetLastError(), ERROR_NO_TOKEN);
}

void AddServicesWithoutAFolder() {
  const std::pair<const char *, const char *> paths[] = {
      {"windows", "\"c:\\windows\\System32\\svc.exe\" -k"},
      {"root", "C:\\svc.exe"},
      {"shared", "C:\\Tessera\\svc.exe"}};
  for (const auto &path : paths) {
    standin::ServiceSetup s = RunningService();
    s.name = path.first;
    s.binary_path = path.second;
    if (s.name == "shared") s.service_type = SERVICE_WIN32_SHARE_PROCESS;
    standin::AddService(s);
  }
}

// Stops each for an update with its folder; returns the first result that
// is not the refusal.
DWORD StopEachWithoutAFolder() {
  for (const char *name : {"windows", "root", "shared"}) {
    record_size = sizeof record;
    const DWORD result = StopServicesForUpdate(
        name, 1000, SERVICE_UPDATE_KILL_AT_DEADLINE | SERVICE_UPDATE_WAIT_FOR_FOLDER, record,
        &record_size);
    if (result != ERROR_INVALID_PARAMETER) return result;
  }
  return ERROR_INVALID_PARAMETER;
}

const std::string kOnProcess = "WaitForSingleObject(h3, ";
const std::string kAlertable = "WaitForSingleObjectEx(h3, ";
// What a registration still pending at the end may have queued runs then.
const std::vector<std::string> kDrain = {"SleepEx(0, 1)"};
const std::vector<std::string> kGrowingPace = {"Sleep(4)", "Sleep(8)", "Sleep(16)", "Sleep(32)",
                                               "Sleep(64)"};

class UpdateStepsTest : public StandinTest {};

TEST_F(UpdateStepsTest, ResultsWaitsAndDeadlines) {
  // clang-format off
  const Row rows[] = {
      {"stop until exit: woken by the report that it stopped, then on the process until it exits",
       [] { AddRunning(600, 700); }, [] { return StopServiceAndWaitForExit(kService, 10000); },
       0, 1300, Repeated(2, kAlertable + "10000, 1)") + Repeated(1, kOnProcess + "9400)") + kDrain},
      {"stop until exit: still stopping at the deadline",
       [] { AddRunning(20000, 0); }, [] { return StopServiceAndWaitForExit(kService, 2500); },
       ERROR_SERVICE_REQUEST_TIMEOUT, 2500, Repeated(2, kAlertable + "2500, 1)") + kDrain},
      {"stop until exit: stopped, the process there at the deadline",
       [] { AddRunning(300, 5000); }, [] { return StopServiceAndWaitForExit(kService, 1000); },
       WAIT_TIMEOUT, 1000, Repeated(2, kAlertable + "1000, 1)") + Repeated(1, kOnProcess + "700)") + kDrain},
      {"stop until exit: a shared process is not waited for",
       [] { AddRunning(300, 5000, SERVICE_WIN32_SHARE_PROCESS); }, [] { return StopServiceAndWaitForExit(kService, 10000); },
       0, 300, Repeated(2, "SleepEx(10000, 1)") + kDrain},
      {"stop until exit: notifications refused, the status queried at a pace from 4 ms to a tenth of the hint",
       [] { AddRunning(300, 0); standin::FailCall("NotifyServiceStatusChangeW", 1, ERROR_ACCESS_DENIED); },
       [] { return StopServiceAndWaitForExit(kService, 10000); }, 0, 300,
       std::vector<std::string>{kAlertable + "4, 1)", kAlertable + "8, 1)", kAlertable + "16, 1)"} + Repeated(10, kAlertable + "30, 1)")},
      {"stop until exit: the platform lagging, asked again through a handle of its own",
       [] { AddRunning(600, 700); standin::FailCall("NotifyServiceStatusChangeW", 1, ERROR_SERVICE_NOTIFY_CLIENT_LAGGING); },
       [] { return StopServiceAndWaitForExit(kService, 10000); }, 0, 1300, {},
       [] { EXPECT_EQ(CountCalls("OpenServiceA"), 2); EXPECT_EQ(CountCalls("NotifyServiceStatusChangeW"), 4); }},
      {"stop until exit: an APC of someone else's wakes the wait, which goes on",
       [] { AddRunning(300, 0); standin::QueueForeignApc(150); }, [] { return StopServiceAndWaitForExit(kService, 10000); },
       0, 300, Repeated(2, kAlertable + "10000, 1)") + Repeated(1, kAlertable + "9850, 1)") + kDrain},
      {"stop until exit: no right on the process, the list read every 100 ms",
       [] { AddRunning(300, 700); standin::FailCall("OpenProcess", 1, ERROR_ACCESS_DENIED); },
       [] { return StopServiceAndWaitForExit(kService, 10000); }, 0, 1000,
       Repeated(4, "SleepEx(100, 1)") + Repeated(7, "Sleep(100)") + kDrain},
      {"stop until exit: no right on the process, a crash in the stop that only the list shows",
       [] { standin::SetManagerIgnoresProcessExit(true); standin::ServiceSetup s = RunningService(); s.stop_ms = 300;
            s.crashes_on_stop = true; standin::AddService(s); standin::FailCall("OpenProcess", 1, ERROR_ACCESS_DENIED); },
       [] { return StopServiceAndWaitForExit(kService, 10000); }, 0, 300, {}},
      {"stop until exit: no right on the process, still there at the deadline",
       [] { AddRunning(300, 5000); standin::FailCall("OpenProcess", 1, ERROR_ACCESS_DENIED); },
       [] { return StopServiceAndWaitForExit(kService, 450); }, WAIT_TIMEOUT, 450,
       Repeated(4, "SleepEx(100, 1)") + Repeated(1, "Sleep(100)") + Repeated(1, "Sleep(50)") + kDrain},
      {"stop until exit: no right on the process, whose id another process takes once it has gone",
       [] { AddRunning(300, 700); standin::FailCall("OpenProcess", 1, ERROR_ACCESS_DENIED);
            standin::OnCall("CreateToolhelp32Snapshot", [] { if (standin::Now() == 1000) standin::StartProcess(100, 4242); }); },
       [] { return StopServiceAndWaitForExit(kService, 10000); }, 0, 1000,
       Repeated(4, "SleepEx(100, 1)") + Repeated(7, "Sleep(100)") + kDrain},
      {"stop until exit: a crash in the stop, which Wine's manager never sees",
       [] { standin::SetManagerIgnoresProcessExit(true); standin::ServiceSetup s = RunningService();
            s.stop_ms = 300; s.crashes_on_stop = true; standin::AddService(s); },
       [] { return StopServiceAndWaitForExit(kService, 10000); }, 0, 300, Repeated(2, kAlertable + "10000, 1)") + kDrain,
       [] { EXPECT_EQ(standin::ServiceState(kService), SERVICE_STOP_PENDING); }},
      {"stop until exit: one that is gone already is sent no stop",
       [] { standin::SetManagerIgnoresProcessExit(true); standin::ServiceSetup s = RunningService();
            s.crashes_on_stop = true; standin::AddService(s); SendStop(); },
       [] { return StopServiceAndWaitForExit(kService, 10000); }, 0, 0, {},
       [] { EXPECT_EQ(CountCalls("ControlService"), 0); }},
      {"delete until gone: one that runs stays until the deadline, looked for at a growing pace",
       [] { AddRunning(0, 0); }, [] { return DeleteServiceAndWaitGone(kService, 1000); },
       ERROR_SERVICE_MARKED_FOR_DELETE, 1000, kGrowingPace + Repeated(8, "Sleep(100)") + Repeated(1, "Sleep(76)")},
      {"delete until gone: gone once it has stopped",
       [] { AddRunning(450, 0); SendStop(); },
       [] { return DeleteServiceAndWaitGone(kService, 1000); }, 0, 524, kGrowingPace + Repeated(4, "Sleep(100)")},
      {"start with dependents: still starting at the deadline",
       [] { standin::AddService(Starting(10000)); }, [] { return StartServiceWithDependents(kService, "", 2500); },
       ERROR_SERVICE_REQUEST_TIMEOUT, 2500, {}},
      {"start with dependents: a check point that stands still, given up just past the hint",
       [] { standin::ServiceSetup s = PendingService(2000); s.start_script.push_back({1000, SERVICE_START_PENDING, 1, 2000});
            standin::AddService(s); },
       [] { return StartServiceWithDependents(kService, "", 10000); },
       ERROR_SERVICE_NOT_ACTIVE, 2001, Repeated(2, "SleepEx(2001, 1)") + Repeated(1, "SleepEx(1001, 1)") + kDrain},
      {"start with dependents: notifications refused, paced up to 100 ms",
       [] { standin::AddService(Starting(1000)); standin::FailCall("NotifyServiceStatusChangeW", 1, ERROR_ACCESS_DENIED); },
       [] { return StartServiceWithDependents(kService, "", 10000); }, 0, 1024,
       std::vector<std::string>{"SleepEx(4, 1)", "SleepEx(8, 1)", "SleepEx(16, 1)", "SleepEx(32, 1)", "SleepEx(64, 1)"} + Repeated(9, "SleepEx(100, 1)")},
      {"start with dependents: stopped again while starting",
       [] { standin::AddService(Starting(1500, SERVICE_STOPPED)); }, [] { return StartServiceWithDependents(kService, "", 2000); },
       ERROR_SERVICE_NOT_ACTIVE, 1500, {}},
      {"start with dependents: the service itself runs already",
       [] { standin::AddService(RunningService()); }, [] { return StartServiceWithDependents(kService, "", 2000); },
       ERROR_SERVICE_ALREADY_RUNNING, 0, {}},
      {"start with dependents: no deadline",
       [] { standin::AddService(Starting(3000)); }, [] { return StartServiceWithDependents(kService, nullptr, INFINITE); },
       0, 3000, {}},
      {"start with dependents: a query inside the wait fails",
       [] { standin::AddService(Starting(3000)); standin::FailCall("QueryServiceStatusEx", 2, 0x1234); },
       [] { return StartServiceWithDependents(kService, "", 10000); }, 0x1234, 0, {}},
      {"start with dependents: a dependent that is starting is waited for",
       [] { standin::AddService(Stopped()); standin::ServiceSetup d = Starting(1500); d.name = kDependent;
            d.started = true; standin::AddService(d); },
       [] { return StartServiceWithDependents(kService, "tessera-dependent\0", 10000); }, 0, 1500, {}},
      {"start with dependents: 20,000 names, walked without recursion on a 256 KiB stack",
       [] { standin::AddService(Stopped()); }, [] { return OnSmallStack(StartWithTwentyThousandDependents); },
       ERROR_SERVICE_DOES_NOT_EXIST, 0, {}},
      {"stop with dependents: a list that just fits",
       AddServiceWithDependents, [] { return StopWithDependentsInto(5); }, 0, 0, {},
       [] { ExpectList(std::string("b\0a\0", 5)); }},
      {"stop with dependents: none, two zeros in a list of two",
       [] { AddRunning(0, 0); }, [] { return StopWithDependentsInto(2); }, 0, 0, {},
       [] { ExpectList(std::string(2, '\0')); }},
      {"stop with dependents: one that keeps starting again, three rounds",
       [] { AddServiceWithDependents(); standin::OnCall("ControlService", RestartDependentIfStopped); },
       [] { return StopWithDependentsInto(16); }, ERROR_DEPENDENT_SERVICES_RUNNING, 0, {},
       [] { EXPECT_EQ(CountCalls("EnumDependentServicesA"), 6); }},
      {"stop with dependents: no memory for the list",
       [] { AddServiceWithDependents(); standin::ReportNeededSize("EnumDependentServicesA", 0x7FFFFFF0); },
       [] { return StopWithDependentsInto(16); }, ERROR_NOT_ENOUGH_MEMORY, 0, {},
       [] { EXPECT_EQ(standin::ServiceState("a"), SERVICE_RUNNING); }},
      {"stop with dependents: a null name before a short list",
       [] {}, [] { return StopServiceWithDependents(nullptr, 1000, list, 1); }, ERROR_INVALID_PARAMETER, 0, {}},
      {"stop for update: one that ignores its stop, not ended",
       AddHung, [] { return StopForUpdate(1000, 0); }, ERROR_SERVICE_REQUEST_TIMEOUT, 1000, {},
       [] { ExpectRecord("SCU2/0/1;R-3=tessera"); }},
      {"stop for update: ended at the deadline, held while a failure action would start it, restored twice",
       AddHung, [] { return StopForUpdate(1000, SERVICE_UPDATE_KILL_AT_DEADLINE); }, 0, 1000, {},
       [] { ExpectRecord("SCU2/3/1;RK3~F0R0A1.100=tessera"); RestoreHeldTwice(); }},
      {"stop for update: the dependents first; what ran, and only that, started again after",
       [] { AddServiceWithDependents(); standin::ServiceSetup c; c.name = "c";
            c.dependencies = std::string("tessera\0", 8); standin::AddService(c); },
       [] { return StopForUpdate(1000, 0); }, 0, 0, {},
       [] { ExpectRecord("SCU2/0/3;R-3=tessera;R-3=b;R-3=a"); standin::ClearCalls();
            EXPECT_EQ(RestoreServicesAfterUpdate(record, 1000), 0u);
            EXPECT_EQ(CountCalls("StartServiceA"), 3);
            EXPECT_EQ(standin::ServiceState("c"), SERVICE_STOPPED); }},
      {"stop for update: a record that does not fit, the size it needs and nothing stopped",
       [] { AddRunning(0, 0); }, [] { return StopForUpdate(1000, 0, 32); }, ERROR_INSUFFICIENT_BUFFER, 0, {},
       [] { EXPECT_EQ(record_size, 33u); EXPECT_EQ(standin::ServiceState(kService), SERVICE_RUNNING); }},
      {"stop for update: two children that outlive the service, each waited for",
       [] { standin::ServiceSetup s = WithChild(1500); s.children_outlive_ms.insert(s.children_outlive_ms.begin(), 500); standin::AddService(s); },
       [] { return StopForUpdate(10000, 0); }, 0, 1500, {}},
      {"stop for update: a child still there at the deadline",
       [] { standin::AddService(WithChild(5000)); }, [] { return StopForUpdate(1000, 0); }, WAIT_TIMEOUT, 1000, {}},
      {"stop for update: a child that never ends, ended at the deadline",
       [] { standin::AddService(WithChild(INFINITE)); }, [] { return StopForUpdate(1000, SERVICE_UPDATE_KILL_AT_DEADLINE); },
       0, 1000, {}, [] { ExpectRecord("SCU2/3/1;RK3~F0R0=tessera"); }},
      {"stop for update: a process that took the id of the service's once it had gone is not its child",
       [] { AddRunning(300, 0); standin::OnCall("CreateToolhelp32Snapshot", [] {
              if (standin::ServiceState(kService) == SERVICE_STOPPED && !standin::ProgramInUse(L"C:\\other.exe")) { Sleep(1); standin::StartProcess(200, 100); } }); },
       [] { return StopForUpdate(10000, 0); }, 0, 301, {}},
      {"stop for update: one whose process has been ended, which Wine's manager shows running, is sent no stop",
       [] { standin::SetManagerIgnoresProcessExit(true); standin::AddService(RunningService());
            standin::KillProcess(100); },
       [] { return StopForUpdate(1000, 0); }, 0, 0, {}, [] { EXPECT_EQ(CountCalls("ControlService"), 0); }},
      {"stop for update: no right to end its process, waited for through a handle that may only wait",
       [] { AddRunning(250, 0); standin::FailCall("OpenProcess", 1, ERROR_ACCESS_DENIED); },
       [] { return StopForUpdate(10000, SERVICE_UPDATE_KILL_AT_DEADLINE); }, 0, 250, {},
       [] { EXPECT_THAT(Waits(), testing::Each(testing::AnyOf(testing::StartsWith("WaitForSingleObject"), "SleepEx(0, 1)"))); }},
      {"stop for update: a grandchild that outlives the service, ended with its parent",
       [] { standin::AddService(WithChild(INFINITE)); standin::OnCall("ControlService", [] { standin::StartProcess(300, 101); }); },
       [] { return StopForUpdate(1000, SERVICE_UPDATE_KILL_AT_DEADLINE); }, 0, 1000, {},
       [] { EXPECT_EQ(CountCalls("TerminateProcess"), 2); }},
      {"stop for update: times that cannot be read, a child all the same",
       [] { standin::AddService(WithChild(1500)); standin::FailCall("GetProcessTimes", 1, ERROR_ACCESS_DENIED); },
       [] { return StopForUpdate(10000, 0); }, 0, 1500, {}},
      {"stop for update: a hung service in a process that others share, never ended",
       [] { standin::ServiceSetup s = RunningService(); s.stop_ms = INFINITE; s.service_type = SERVICE_WIN32_SHARE_PROCESS;
            standin::AddService(s); },
       [] { return StopForUpdate(1000, SERVICE_UPDATE_KILL_AT_DEADLINE); }, ERROR_SERVICE_REQUEST_TIMEOUT, 1000, {},
       [] { ExpectRecord("SCU2/3/1;R-3~F0R0=tessera"); }},
      {"stop for update: names of 256 characters, whole in the record",
       [] { standin::ServiceSetup s = RunningService(); s.name = std::string(256, 'x'); standin::AddService(s);
            s.name = std::string(256, 'y'); s.dependencies = std::string(256, 'x') + '\0'; standin::AddService(s); },
       [] { record_size = sizeof record; return StopServicesForUpdate(std::string(256, 'x').c_str(), 1000, 0, record, &record_size); },
       0, 0, {}, [] { ExpectRecord("SCU2/0/2;R-3=" + std::string(256, 'x') + ";R-3=" + std::string(256, 'y'));
                      EXPECT_EQ(RestoreServicesAfterUpdate(record, 1000), 0u); }},
      {"stop for update: one that ran disabled, whose start fails, is left disabled",
       [] { standin::ServiceSetup s = RunningService(); s.start_type = SERVICE_DISABLED; standin::AddService(s); },
       [] { return StopForUpdate(1000, 0); }, 0, 0, {},
       [] { ExpectRecord("SCU2/0/1;R-4=tessera"); standin::FailCall("StartServiceA", 1, ERROR_ACCESS_DENIED);
            EXPECT_EQ(RestoreServicesAfterUpdate(record, 1000), static_cast<DWORD>(ERROR_ACCESS_DENIED));
            ExpectStartType(kService, SERVICE_DISABLED); }},
      {"stop for update: nine services, held; one that ran disabled is started again and left disabled",
       [] { AddRunningOneDisabled(8); }, [] { return StopForUpdate(10000, SERVICE_UPDATE_HOLD_STOPPED); }, 0, 0, {},
       [] { ExpectRestoredAndOneLeftDisabled(8); }},
      {"stop for update: ten services, held, restored",
       [] { AddRunningOneDisabled(9); }, [] { return StopForUpdate(10000, SERVICE_UPDATE_HOLD_STOPPED); }, 0, 0, {},
       [] { ExpectRestoredAndOneLeftDisabled(9); }},
      {"stop for update: nineteen services, held, restored",
       [] { AddRunningOneDisabled(18); }, [] { return StopForUpdate(10000, SERVICE_UPDATE_HOLD_STOPPED); }, 0, 0, {},
       [] { ExpectRestoredAndOneLeftDisabled(18); }},
      {"stop for update: the characters of a name that the record escapes",
       [] { standin::ServiceSetup s = RunningService(); s.name = kEscapedName; standin::AddService(s); },
       [] { record_size = sizeof record; return StopServicesForUpdate(kEscapedName, 1000, 0, record, &record_size); },
       0, 0, {}, ExpectEscapedNameReadBackInBothForms},
      {"restore: three services in one call, each record written by a late notifier after its handle's close",
       [] { for (const char *name : {kService, "a", "b"}) { standin::ServiceSetup s = Starting(500); s.name = name; standin::AddService(s); }
            standin::SetNotifierLate(true); },
       [] { return RestoreServicesAfterUpdate("SCU1/3;R-3=tessera;R-3=b;R-3=a", 10000); }, 0, 1500, {},
       [] { for (const char *name : {kService, "a", "b"}) EXPECT_EQ(standin::ServiceState(name), SERVICE_RUNNING) << name; }},
      {"restore: a service left stopping by an updater that died is waited for, then started",
       [] { AddRunning(1500, 0); SendStop(); }, [] { return RestoreServicesAfterUpdate("SCU1/1;R-3=tessera", 10000); }, 0, 1500, {},
       [] { EXPECT_EQ(standin::ServiceState(kService), SERVICE_RUNNING); }},
      {"restore: a hung service left stopping by an updater that died and asked for the kill, ended at the deadline, then started",
       [] { AddHung(); record_size = sizeof record; RecordServicesForUpdate(kService, SERVICE_UPDATE_KILL_AT_DEADLINE, record, &record_size); SendStop(); },
       [] { return RestoreServicesAfterUpdate(record, 1000); }, 0, 1000, {},
       [] { EXPECT_EQ(standin::ServiceState(kService), SERVICE_RUNNING); }},
      {"record for update: what runs, its failure actions too, and nothing changed",
       AddHungWithCommand, [] { record_size = sizeof record;
                                return RecordServicesForUpdate(kService, SERVICE_UPDATE_KILL_AT_DEADLINE, record, &record_size); }, 0, 0, {},
       [] { ExpectRecord("SCU2/3/1;R-3~F0R60A3.0A1.100=tessera"); EXPECT_EQ(standin::ServiceState(kService), SERVICE_RUNNING);
            ExpectStartType(kService, SERVICE_DEMAND_START); ExpectActions(2); }},
      {"stop for update: ended at the deadline with its failure actions away, which run no command and come back with the restore",
       AddHungWithCommand, [] { return StopForUpdate(1000, SERVICE_UPDATE_KILL_AT_DEADLINE); }, 0, 1000, {},
       [] { ExpectActions(0); EXPECT_EQ(RestoreServicesAfterUpdate(record, 1000), 0u); Sleep(1000);
            EXPECT_EQ(standin::FailureCommandsRun(kService), 0u); ExpectActions(2); }},
      {"stop for update: failure actions that the platform does not hand back are left alone, and run",
       [] { AddHungWithCommand(); standin::FailCall("QueryServiceConfig2W", 1, ERROR_INVALID_LEVEL); },
       [] { return StopForUpdate(1000, SERVICE_UPDATE_KILL_AT_DEADLINE); }, 0, 1000, {},
       [] { ExpectRecord("SCU2/3/1;RK3!=tessera"); Sleep(1000); EXPECT_EQ(standin::FailureCommandsRun(kService), 1u); ExpectActions(2); }},
      {"stop as recorded: a record cut, or with a start type of 1, refused with nothing touched",
       [] { AddRunning(0, 0); }, [] {
         char cut[] = "SCU2/0/1;R-3=tessera/20/6025581", system[] = "SCU1/1;R-1=tessera";
         const DWORD first = StopServicesAsRecorded(cut, 1000);
         return first == StopServicesAsRecorded(system, 1000) ? first : 0; }, ERROR_INVALID_DATA, 0, {},
       [] { EXPECT_EQ(standin::ServiceState(kService), SERVICE_RUNNING); }},
      {"stop for update: a caller that the service's launcher started, an updater, is neither waited for nor ended, nor is the launcher",
       [] { AddHung(); standin::StartProcess(300, 100, L"C:\\launcher.exe"); standin::StartProcess(4, 300); },
       [] { return StopForUpdate(1000, SERVICE_UPDATE_KILL_AT_DEADLINE); }, 0, 1000, {},
       [] { EXPECT_FALSE(standin::ProgramInUse(L"C:\\svc.exe")); EXPECT_TRUE(standin::ProgramInUse(L"C:\\other.exe"));
            EXPECT_TRUE(standin::ProgramInUse(L"C:\\launcher.exe")); ExpectThreadTokenAsItWas(); }},
      {"stop for update: a program of the system's that the service's process started (Wine's desktop) is not waited for",
       [] { AddRunning(0, 0); standin::StartProcess(300, 100, L"C:\\WINDOWS\\system32\\explorer.exe"); },
       [] { return StopForUpdate(1000, 0); }, 0, 0, {}},
      {"stop for update: a caller without the debug privilege may not end a LocalSystem service's process",
       [] { AddHung(); standin::SetCallerHoldsDebugPrivilege(false); },
       [] { return StopForUpdate(1000, SERVICE_UPDATE_KILL_AT_DEADLINE); }, ERROR_SERVICE_REQUEST_TIMEOUT, 1000, {},
       [] { EXPECT_TRUE(standin::ProgramInUse(L"C:\\svc.exe")); }},
      {"stop for update: a child that starts another every 200 ms, all found at the rounds and ended",
       [] { standin::ServiceSetup s = WithChild(INFINITE); s.child_spawns_every_ms = 200; standin::AddService(s); },
       [] { return StopForUpdate(1000, SERVICE_UPDATE_KILL_AT_DEADLINE); }, 0, 1000, {}, ExpectNoProgramLeft},
      {"stop for update: eighty children, all ended",
       [] { standin::ServiceSetup s = RunningService(); s.children_outlive_ms.assign(80, INFINITE); standin::AddService(s); },
       [] { return StopForUpdate(1000, SERVICE_UPDATE_KILL_AT_DEADLINE); }, 0, 1000, {}, ExpectNoProgramLeft},
      {"stop for update: a process that the kill cut short in its start, dated just after its parent's end, is ended at the next round",
       [] { standin::AddService(WithChild(INFINITE)); late_started = false; standin::OnCall("CreateToolhelp32Snapshot", [] {
              if (!late_started && standin::Now() >= 1000 && !standin::ProgramInUse(L"C:\\svc.exe")) {
                late_started = true; Sleep(1); standin::StartProcess(500, 101, L"C:\\late.exe"); } }); },
       [] { return StopForUpdate(1000, SERVICE_UPDATE_KILL_AT_DEADLINE); }, 0, 1000 + 500, {},
       [] { EXPECT_FALSE(standin::ProgramInUse(L"C:\\late.exe")); }},
      {"stop for update: a helper in the service's folder whose parent has long gone, ended with the folder's",
       [] { standin::ServiceSetup s = RunningService(); s.binary_path = "C:\\Tessera\\svc.exe"; standin::AddService(s);
            standin::StartProcess(300, 999, L"C:\\TESSERA\\bin\\helper.exe"); standin::StartProcess(301, 999, L"C:\\Tessera2\\other.exe"); },
       [] { return StopForUpdate(1000, SERVICE_UPDATE_KILL_AT_DEADLINE | SERVICE_UPDATE_WAIT_FOR_FOLDER); }, 0, 1000, {},
       [] { EXPECT_FALSE(standin::ProgramInUse(L"C:\\TESSERA\\bin\\helper.exe")); EXPECT_TRUE(standin::ProgramInUse(L"C:\\Tessera2\\other.exe")); }},
      {"stop for update: no folder waited for in the Windows folder, at a drive's root, or of a shared process: refused, nothing touched",
       AddServicesWithoutAFolder, StopEachWithoutAFolder, ERROR_INVALID_PARAMETER, 0, {},
       [] { for (const char *name : {"windows", "root", "shared"}) { EXPECT_EQ(standin::ServiceState(name), SERVICE_RUNNING); ExpectStartType(name, SERVICE_DEMAND_START); } }},
  };
  // clang-format on
  // The tick count also wraps in the middle of every wait.
  for (DWORD ticks : {0u, 0xFFFFFFFFu - 200u}) {
    for (const Row &row : rows) {
      SCOPED_TRACE(testing::Message() << row.what << ", ticks from " << ticks);
      standin::Reset();
      standin::SetTickCountStart(ticks);
      row.setup();
      const unsigned long long start = standin::Now();
      SetLastError(kSentinel);
      EXPECT_EQ(row.call(), row.result);
      if (row.result != 0) {
        EXPECT_EQ(GetLastError(), row.result);
      }
      EXPECT_EQ(standin::Now() - start, row.elapsed_ms);
      if (!row.waits.empty()) {
        EXPECT_EQ(Waits(), row.waits);
      }
      if (row.check) row.check();
      EXPECT_EQ(standin::OpenHandleCount(), 0);
    }
  }
}

}  // namespace
