// The fixed-pace operations: start and poll, stop (or control 103) and wait,
// send a control, query the state.
#include <service_control.h>

#include <cstring>

#include "standin_fixture.h"

namespace {

class FixedPaceTest : public StandinTest {};

standin::ServiceSetup StoppingIn(DWORD stop_ms) {
  standin::ServiceSetup setup = RunningService();
  setup.stop_ms = stop_ms;
  return setup;
}

TEST_F(FixedPaceTest, PollQueriesThenPausesUntilRunning) {
  struct Case {
    const char *what;
    standin::ServiceSetup setup;
    DWORD result;
    int queries;
  };
  standin::ServiceSetup at_once;
  at_once.name = kService;
  standin::ServiceSetup after_350 = PendingService(0);
  after_350.start_script.push_back({350, SERVICE_RUNNING, 0, 0});
  standin::ServiceSetup stops_again = PendingService(0);
  stops_again.start_script.push_back({150, SERVICE_STOPPED, 0, 0});
  const standin::ServiceSetup never = PendingService(0);
  const Case cases[] = {{"running at once", at_once, 0, 1},
                        {"running after 350 ms", after_350, 0, 5},
                        {"stops again", stops_again, ERROR_SERVICE_NOT_ACTIVE, 100},
                        {"stays pending", never, ERROR_SERVICE_NOT_ACTIVE, 100}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    standin::Reset();
    standin::AddService(c.setup);
    SetLastError(kSentinel);
    EXPECT_EQ(StartServiceAndPoll(kService), c.result);
    if (c.result != 0) {
      EXPECT_EQ(GetLastError(), c.result);
    }
    EXPECT_EQ(CountCalls("QueryServiceStatus"), c.queries);
    EXPECT_EQ(Pauses(), std::vector<DWORD>(c.queries, 100));
  }
}

TEST_F(FixedPaceTest, PollCallsInOrder) {
  standin::ServiceSetup setup;
  setup.name = kService;
  standin::AddService(setup);
  EXPECT_EQ(StartServiceAndPoll(kService), 0u);
  EXPECT_THAT(CallLines(),
              testing::ElementsAre(
                  "OpenSCManagerA(NULL, NULL, 0xF003F)", "OpenServiceA(h1, \"tessera\", 0xF01FF)",
                  "StartServiceA(h2, 0, NULL)", "QueryServiceStatus(h2, ptr)", "Sleep(100)",
                  "CloseServiceHandle(h2)", "CloseServiceHandle(h1)"));
}

TEST_F(FixedPaceTest, PollOfARunningServiceReturnsTheRefusal) {
  standin::AddService(RunningService());
  EXPECT_EQ(StartServiceAndPoll(kService), ERROR_SERVICE_ALREADY_RUNNING);
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_ALREADY_RUNNING);
  EXPECT_EQ(CountCalls("QueryServiceStatus"), 0);
}

TEST_F(FixedPaceTest, StopWaitsInHalfSecondPausesForAtMostFifty) {
  struct Case {
    const char *what;
    DWORD stop_ms;
    DWORD result;
    size_t pauses;
  };
  const Case cases[] = {{"stops at once", 0, 0, 0},
                        {"stops in 1.2 s", 1200, 0, 3},
                        {"stops in exactly 25 s", 25000, 0, 50},
                        {"needs 30 s", 30000, ERROR_SERVICE_REQUEST_TIMEOUT, 50},
                        {"never stops", INFINITE, ERROR_SERVICE_REQUEST_TIMEOUT, 50}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    standin::Reset();
    standin::AddService(StoppingIn(c.stop_ms));
    SetLastError(kSentinel);
    EXPECT_EQ(StopServiceAndWait(kService), c.result);
    if (c.result != 0) {
      EXPECT_EQ(GetLastError(), c.result);
    }
    EXPECT_EQ(Pauses(), std::vector<DWORD>(c.pauses, 500));
    EXPECT_EQ(CountCalls("QueryServiceStatus"), static_cast<int>(c.pauses) + 1);
    EXPECT_THAT(standin::ControlsReceived(kService), testing::ElementsAre(SERVICE_CONTROL_STOP));
  }
}

TEST_F(FixedPaceTest, StopCallsInOrder) {
  standin::AddService(StoppingIn(400));
  EXPECT_EQ(StopServiceAndWait(kService), 0u);
  EXPECT_THAT(CallLines(),
              testing::ElementsAre("OpenSCManagerA(NULL, NULL, 0xF003F)",
                                   "OpenServiceA(h1, \"tessera\", 0xF01FF)",
                                   "QueryServiceStatus(h2, ptr)", "ControlService(h2, 1, ptr)",
                                   "Sleep(500)", "QueryServiceStatus(h2, ptr)",
                                   "CloseServiceHandle(h2)", "CloseServiceHandle(h1)"));
}

TEST_F(FixedPaceTest, AlreadyStoppedServiceGetsNoControlAndNoPause) {
  for (DWORD (*operation)(const char *) : {StopServiceAndWait, ControlServiceAndWaitStopped}) {
    standin::Reset();
    standin::AddService(PendingService(0));
    EXPECT_EQ(operation(kService), 0u);
    EXPECT_THAT(CallLines(),
                testing::ElementsAre("OpenSCManagerA(NULL, NULL, 0xF003F)",
                                     "OpenServiceA(h1, \"tessera\", 0xF01FF)",
                                     "QueryServiceStatus(h2, ptr)", "CloseServiceHandle(h2)",
                                     "CloseServiceHandle(h1)"));
  }
}

TEST_F(FixedPaceTest, RefusedControlIsReturnedWithoutWaiting) {
  struct Case {
    const char *what;
    DWORD (*operation)(const char *);
    DWORD control;  // the code that the operation sends
    DWORD result;
  };
  const Case cases[] = {{"stop of a stop-pending service", StopServiceAndWait, SERVICE_CONTROL_STOP,
                         ERROR_SERVICE_CANNOT_ACCEPT_CTRL},
                        {"control 103 is not a valid code", ControlServiceAndWaitStopped, 103,
                         ERROR_INVALID_PARAMETER}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    standin::Reset();
    standin::AddService(StoppingIn(INFINITE));
    SERVICE_STATUS status;
    if (c.operation == StopServiceAndWait) {
      // Put the service into stop-pending through the platform itself.
      SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
      SC_HANDLE service = OpenServiceA(manager, kService, SERVICE_ALL_ACCESS);
      ASSERT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, &status));
      CloseServiceHandle(service);
      CloseServiceHandle(manager);
      standin::ClearCalls();
    }
    SetLastError(kSentinel);
    EXPECT_EQ(c.operation(kService), c.result);
    EXPECT_EQ(GetLastError(), c.result);
    EXPECT_TRUE(Pauses().empty());
    EXPECT_EQ(CountCalls("ControlService"), 1);
    EXPECT_THAT(CallLines(), testing::Contains(testing::AllOf(
                                 testing::StartsWith("ControlService("),
                                 testing::EndsWith(", " + std::to_string(c.control) + ", ptr)"))));
  }
}

TEST_F(FixedPaceTest, SendServiceControlUsesOnlyQueryAndUserDefinedRights) {
  struct Case {
    const char *what;
    bool running;
    DWORD control;
    DWORD result;
  };
  const Case cases[] = {
      {"user-defined code reaches the service", true, 200, 0},
      {"stop lacks the SERVICE_STOP right", true, SERVICE_CONTROL_STOP, ERROR_ACCESS_DENIED},
      {"interrogate lacks its right", true, SERVICE_CONTROL_INTERROGATE, ERROR_ACCESS_DENIED},
      {"code 103 is invalid", true, 103, ERROR_INVALID_PARAMETER},
      {"user-defined code to a stopped service", false, 200, ERROR_SERVICE_NOT_ACTIVE}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    standin::Reset();
    standin::AddService(c.running ? RunningService() : PendingService(0));
    SetLastError(kSentinel);
    EXPECT_EQ(SendServiceControl(kService, c.control), c.result);
    if (c.result != 0) {
      EXPECT_EQ(GetLastError(), c.result);
    }
    EXPECT_EQ(standin::ControlsReceived(kService),
              c.result == 0 ? std::vector<DWORD>{c.control} : std::vector<DWORD>{});
    EXPECT_THAT(
        CallLines(),
        testing::ElementsAre("OpenSCManagerA(NULL, NULL, 0xF003F)",
                             "OpenServiceA(h1, \"tessera\", 0x104)", "QueryServiceStatus(h2, ptr)",
                             "ControlService(h2, " + std::to_string(c.control) + ", ptr)",
                             "CloseServiceHandle(h2)", "CloseServiceHandle(h1)"));
  }
}

TEST_F(FixedPaceTest, QueryServiceStateFillsTheRecordOnlyOnSuccess) {
  standin::AddService(RunningService());
  SERVICE_STATUS status;
  std::memset(&status, 0xAB, sizeof status);
  EXPECT_EQ(QueryServiceState(kService, &status), 0u);
  EXPECT_EQ(status.dwCurrentState, SERVICE_RUNNING);
  EXPECT_EQ(status.dwServiceType, SERVICE_WIN32_OWN_PROCESS);
  EXPECT_THAT(CallLines(), testing::ElementsAre(
                               "OpenSCManagerA(NULL, NULL, 0x4)",
                               "OpenServiceA(h1, \"tessera\", 0x4)", "QueryServiceStatus(h2, ptr)",
                               "CloseServiceHandle(h2)", "CloseServiceHandle(h1)"));

  SERVICE_STATUS untouched;
  std::memset(&untouched, 0xAB, sizeof untouched);
  status = untouched;
  EXPECT_EQ(QueryServiceState("absent", &status), ERROR_SERVICE_DOES_NOT_EXIST);
  EXPECT_EQ(std::memcmp(&status, &untouched, sizeof status), 0);
}

// The services that an operation opened by name, in order.
std::vector<std::string> OpenedServices() {
  std::vector<std::string> names;
  for (const standin::Call &call : standin::Calls()) {
    if (call.function == "OpenServiceA") {
      names.push_back(call.arguments.substr(call.arguments.find('"')));
    }
  }
  return names;
}

TEST_F(FixedPaceTest, DependentsStopInThePlatformsOrderAndStartInTheReverse) {
  // Both depend on the service; b started last, so the platform lists it first.
  for (const char *name : {"tessera", "a", "b"}) {
    standin::ServiceSetup setup = RunningService();
    setup.name = name;
    if (setup.name != kService) setup.dependencies = std::string("tessera\0", 8);
    standin::AddService(setup);
  }
  char stopped[8];
  EXPECT_EQ(StopServiceWithDependents(kService, 10000, stopped, 8), 0u);
  EXPECT_EQ(std::string(stopped, 5), std::string("b\0a\0", 5));
  EXPECT_THAT(OpenedServices(),
              testing::ElementsAre("\"tessera\", 0x2C", "\"b\", 0x24", "\"a\", 0x24"));
  standin::ClearCalls();
  EXPECT_EQ(StartServiceWithDependents(kService, stopped, 10000), 0u);
  EXPECT_THAT(OpenedServices(),
              testing::ElementsAre("\"tessera\", 0x14", "\"a\", 0x14", "\"b\", 0x14"));
  // One too small for the names is refused before anything stops.
  EXPECT_EQ(StopServiceWithDependents(kService, 10000, stopped, 4), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(standin::ServiceState("b"), SERVICE_RUNNING);
}

TEST_F(FixedPaceTest, NullArgumentsAreRefusedBeforeAnyCall) {
  SERVICE_STATUS status;
  DWORD flag = 0;
  const DWORD results[] = {
      StartServiceAndWait(nullptr, &flag), StartServiceAndPoll(nullptr),
      StopServiceAndWait(nullptr),         ControlServiceAndWaitStopped(nullptr),
      SendServiceControl(nullptr, 200),    QueryServiceState(nullptr, &status),
      QueryServiceState(kService, nullptr)};
  for (DWORD result : results) EXPECT_EQ(result, ERROR_INVALID_PARAMETER);
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_TRUE(standin::Calls().empty());
  EXPECT_EQ(flag, 0u);
}

}  // namespace
