// Every failure exit, generated from the calls of each operation's successful
// run: each call position in turn fails with a code that nothing else
// produces. The run must then return that code (or what the operation makes
// of it), leave it as the last error, close what it opened in reverse order,
// and make no further call but the closing ones.
#include <service_control.h>
#include <starter.h>

#include <cstdio>
#include <functional>

#include "standin_fixture.h"

namespace {

const DWORD kInjected = 0x1234;

struct Injection {
  std::string function;
  unsigned nth;  // which call of that function, from 1
};

struct Operation {
  const char *name;
  std::function<void()> setup;
  // Runs the operation and checks its result and outputs for the injection
  // (none for the recorded successful run).
  std::function<void(const Injection *)> run_and_check;
};

bool IsClose(const Injection *injection) {
  return injection != nullptr && injection->function == "CloseServiceHandle";
}

// The generic result: the injected code, except that a failed close changes nothing.
DWORD Expected(const Injection *injection) {
  return injection == nullptr || IsClose(injection) ? ERROR_SUCCESS : kInjected;
}

void CheckResult(DWORD result, DWORD expected) {
  EXPECT_EQ(result, expected);
  if (expected != ERROR_SUCCESS) {
    EXPECT_EQ(GetLastError(), expected);
  }
}

// The pacing and clock calls cannot fail.
bool CanFail(const std::string &function) {
  return function != "Sleep" && function != "GetTickCount";
}

standin::ServiceSetup StartsWithinTwoPasses() {
  standin::ServiceSetup setup = PendingService(0);
  setup.start_script.push_back({500, SERVICE_START_PENDING, 2, 0});
  setup.start_script.push_back({1500, SERVICE_RUNNING, 0, 0});
  return setup;
}

// Checks the log after a run with the failure injected at position.
void CheckCallsAfterFailure(size_t position) {
  const std::vector<standin::Call> &calls = standin::Calls();
  ASSERT_LT(position, calls.size());
  EXPECT_TRUE(calls[position].failed) << "the injected call was not made where recorded";
  int managers = 0;
  int services = 0;
  std::vector<std::string> closes;
  for (size_t i = 0; i < calls.size(); ++i) {
    const standin::Call &call = calls[i];
    if (call.function == "OpenSCManagerA" && !call.failed) ++managers;
    if (call.function == "OpenServiceA" && !call.failed) ++services;
    if (call.function == "CloseServiceHandle") closes.push_back(call.arguments);
    if (i > position) {
      EXPECT_TRUE(call.function == "CloseServiceHandle" || call.function == "FormatMessageA" ||
                  call.function == "LocalFree")
          << "call after the failure: " << call.function << "(" << call.arguments << ")";
    }
  }
  std::vector<std::string> expected_closes;
  if (services == 1) expected_closes.push_back("h2");
  if (managers == 1) expected_closes.push_back("h1");
  EXPECT_EQ(closes, expected_closes);
  EXPECT_EQ(standin::OpenHandleCount(), 0);
}

// Records the successful run, then injects a failure at each call position.
size_t RunMatrix(const Operation &operation) {
  standin::Reset();
  operation.setup();
  {
    SCOPED_TRACE("successful run");
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
    CheckCallsAfterFailure(position);
    ++cases;
  }
  std::printf("[ matrix   ] %s: %zu calls recorded, %zu failure cases\n", operation.name,
              recorded.size(), cases);
  return cases;
}

class FailureMatrixTest : public StandinTest {};

TEST_F(FailureMatrixTest, EveryCallOfEveryOperationFails) {
  const DWORD kUntouched = 42;
  const Operation operations[] = {
      {"StartServiceAndWait", [] { standin::AddService(StartsWithinTwoPasses()); },
       [&](const Injection *injection) {
         DWORD flag = kUntouched;
         CheckResult(StartServiceAndWait(kService, &flag), Expected(injection));
         // Only a failed query inside the wait leaves the service not running.
         const bool in_wait = injection != nullptr &&
                              injection->function == "QueryServiceStatusEx" && injection->nth > 1;
         EXPECT_EQ(flag, in_wait ? 1u : kUntouched);
       }},
      {"StartServiceAndPoll",
       [] {
         standin::ServiceSetup setup = PendingService(0);
         setup.start_script.push_back({250, SERVICE_RUNNING, 0, 0});
         standin::AddService(setup);
       },
       [](const Injection *injection) {
         CheckResult(StartServiceAndPoll(kService), Expected(injection));
       }},
      {"StopServiceAndWait",
       [] {
         standin::ServiceSetup setup = RunningService();
         setup.stop_ms = 1200;
         standin::AddService(setup);
       },
       [](const Injection *injection) {
         // A failed query inside the wait leaves a state that is not stopped.
         const bool in_wait = injection != nullptr && injection->function == "QueryServiceStatus" &&
                              injection->nth > 1;
         CheckResult(StopServiceAndWait(kService),
                     in_wait ? ERROR_SERVICE_REQUEST_TIMEOUT : Expected(injection));
       }},
      {"ControlServiceAndWaitStopped", [] { standin::AddService(PendingService(0)); },
       [](const Injection *injection) {
         CheckResult(ControlServiceAndWaitStopped(kService), Expected(injection));
       }},
      {"SendServiceControl", [] { standin::AddService(RunningService()); },
       [](const Injection *injection) {
         CheckResult(SendServiceControl(kService, 200), Expected(injection));
         EXPECT_EQ(standin::ControlsReceived(kService).size(),
                   Expected(injection) == ERROR_SUCCESS ? 1u : 0u);
       }},
      {"QueryServiceState", [] { standin::AddService(RunningService()); },
       [](const Injection *injection) {
         SERVICE_STATUS status{};
         CheckResult(QueryServiceState(kService, &status), Expected(injection));
         EXPECT_EQ(status.dwCurrentState,
                   Expected(injection) == ERROR_SUCCESS ? SERVICE_RUNNING : 0u);
       }},
      {"starter", [] { standin::AddService(StartsWithinTwoPasses()); },
       [](const Injection *injection) {
         testing::internal::CaptureStdout();
         StartTesseraAndReport();
         const std::string expected = Expected(injection) == ERROR_SUCCESS
                                          ? "\nStarting Tessera service\n... SUCCEEDED"
                                          : "\nStarting Tessera service ... FAILED\nUnknown Error";
         EXPECT_EQ(testing::internal::GetCapturedStdout(), expected);
       }},
  };
  size_t cases = 0;
  for (const Operation &operation : operations) cases += RunMatrix(operation);
  std::printf("[ matrix   ] %zu failure cases in all\n", cases);
  EXPECT_GT(cases, 40u);
}

}  // namespace
