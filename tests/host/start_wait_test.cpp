// The start-and-wait operation: pacing by the wait hint, the time-out rules
// and the not-running flag.
#include <service_control.h>

#include "standin_fixture.h"

namespace {

const DWORD kUntouched = 42;

class StartWaitTest : public StandinTest {
 protected:
  DWORD flag_ = kUntouched;
  DWORD Run() { return StartServiceAndWait(kService, &flag_); }
};

TEST_F(StartWaitTest, PauseIsATenthOfTheHintWithinOneAndTenSeconds) {
  struct Case {
    DWORD hint;
    DWORD pause;
  };
  const Case cases[] = {{0, 1000},       {9999, 1000},    {10000, 1000},      {10009, 1000},
                        {10010, 1001},   {19999, 1999},   {99999, 9999},      {100000, 10000},
                        {100010, 10000}, {200000, 10000}, {0xFFFFFFFF, 10000}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.hint);
    standin::Reset();
    standin::ServiceSetup setup = PendingService(c.hint);
    setup.start_script.push_back({1, SERVICE_RUNNING, 0, 0});
    standin::AddService(setup);
    flag_ = kUntouched;
    EXPECT_EQ(Run(), 0u);
    EXPECT_THAT(Pauses(), testing::ElementsAre(c.pause));
    EXPECT_EQ(flag_, kUntouched);
  }
}

TEST_F(StartWaitTest, FlatCheckPointTimesOutOnceMoreThanTheHintHasPassed) {
  struct Case {
    DWORD hint;
    DWORD pause;
    size_t pauses;
  };
  const Case cases[] = {{0, 1000, 1}, {5000, 1000, 6}, {19999, 1999, 11}, {200000, 10000, 21}};
  // The second tick start makes the tick count wrap during every wait.
  for (DWORD tick_start : {0u, 0xFFFFFFFFu - 2500u}) {
    for (const Case &c : cases) {
      SCOPED_TRACE(testing::Message() << "hint " << c.hint << ", ticks from " << tick_start);
      standin::Reset();
      standin::SetTickCountStart(tick_start);
      standin::AddService(PendingService(c.hint));
      flag_ = kUntouched;
      EXPECT_EQ(Run(), 0u);
      EXPECT_EQ(Pauses(), std::vector<DWORD>(c.pauses, c.pause));
      EXPECT_EQ(flag_, 1u);
      EXPECT_EQ(standin::OpenHandleCount(), 0);
    }
  }
}

TEST_F(StartWaitTest, LargestHintNeverTimesOut) {
  for (DWORD tick_start : {0u, 0xFFFFFFFFu - 50000u}) {
    SCOPED_TRACE(tick_start);
    standin::Reset();
    standin::SetTickCountStart(tick_start);
    standin::ServiceSetup setup = PendingService(0xFFFFFFFF);
    setup.start_script.push_back({1000000, SERVICE_RUNNING, 0, 0});
    standin::AddService(setup);
    flag_ = kUntouched;
    EXPECT_EQ(Run(), 0u);
    EXPECT_EQ(Pauses(), std::vector<DWORD>(100, 10000));
    EXPECT_EQ(flag_, kUntouched);
  }
}

TEST_F(StartWaitTest, RisingCheckPointKeepsTheWaitGoing) {
  // A hint of 1 s, but the check point rises every second for a minute.
  standin::ServiceSetup setup = PendingService(1000);
  for (DWORD second = 1; second < 60; ++second) {
    setup.start_script.push_back({second * 1000, SERVICE_START_PENDING, second + 1, 1000});
  }
  setup.start_script.push_back({60000, SERVICE_RUNNING, 0, 0});
  standin::AddService(setup);
  EXPECT_EQ(Run(), 0u);
  EXPECT_EQ(Pauses(), std::vector<DWORD>(60, 1000));
  EXPECT_EQ(flag_, kUntouched);
}

TEST_F(StartWaitTest, FallingCheckPointIsNoProgress) {
  standin::ServiceSetup setup = PendingService(3000);
  setup.start_script[0].check_point = 10;
  for (DWORD second = 1; second < 10; ++second) {
    setup.start_script.push_back({second * 1000, SERVICE_START_PENDING, 10 - second, 3000});
  }
  standin::AddService(setup);
  EXPECT_EQ(Run(), 0u);
  EXPECT_EQ(Pauses(), std::vector<DWORD>(4, 1000));
  EXPECT_EQ(flag_, 1u);
}

TEST_F(StartWaitTest, ProgressRestartsTheClock) {
  standin::ServiceSetup setup = PendingService(5000);
  setup.start_script.push_back({4000, SERVICE_START_PENDING, 2, 5000});
  standin::AddService(setup);
  EXPECT_EQ(Run(), 0u);
  // Progress at 4 s, then more than 5 s without: the wait ends at 10 s.
  EXPECT_EQ(Pauses(), std::vector<DWORD>(10, 1000));
  EXPECT_EQ(flag_, 1u);
}

TEST_F(StartWaitTest, PauseAndTimeOutFollowTheLatestHint) {
  {
    SCOPED_TRACE("hint shrinks");
    standin::ServiceSetup setup = PendingService(20000);
    setup.start_script.push_back({2000, SERVICE_START_PENDING, 1, 1000});
    standin::AddService(setup);
    EXPECT_EQ(Run(), 0u);
    EXPECT_THAT(Pauses(), testing::ElementsAre(2000));
    EXPECT_EQ(flag_, 1u);
  }
  {
    SCOPED_TRACE("hint grows");
    standin::Reset();
    flag_ = kUntouched;
    standin::ServiceSetup setup = PendingService(1000);
    setup.start_script.push_back({1000, SERVICE_START_PENDING, 1, 30000});
    standin::AddService(setup);
    EXPECT_EQ(Run(), 0u);
    std::vector<DWORD> expected(11, 3000);
    expected[0] = 1000;
    EXPECT_EQ(Pauses(), expected);
    EXPECT_EQ(flag_, 1u);
  }
}

TEST_F(StartWaitTest, RunningAtFirstQueryReturnsWithoutPause) {
  standin::ServiceSetup setup;
  setup.name = kService;
  standin::AddService(setup);
  EXPECT_EQ(Run(), 0u);
  EXPECT_EQ(flag_, kUntouched);
  EXPECT_THAT(CallLines(),
              testing::ElementsAre(
                  "OpenSCManagerA(NULL, NULL, 0xF003F)", "OpenServiceA(h1, \"tessera\", 0xF01FF)",
                  "StartServiceA(h2, 0, NULL)", "QueryServiceStatusEx(h2, 0, ptr, 36, ptr)",
                  "GetTickCount()", "CloseServiceHandle(h2)", "CloseServiceHandle(h1)"));
}

TEST_F(StartWaitTest, EachPassSleepsQueriesAndReadsTheClock) {
  standin::ServiceSetup setup = PendingService(0);
  setup.start_script.push_back({500, SERVICE_START_PENDING, 2, 0});
  setup.start_script.push_back({1500, SERVICE_RUNNING, 0, 0});
  standin::AddService(setup);
  EXPECT_EQ(Run(), 0u);
  EXPECT_THAT(CallLines(),
              testing::ElementsAre(
                  "OpenSCManagerA(NULL, NULL, 0xF003F)", "OpenServiceA(h1, \"tessera\", 0xF01FF)",
                  "StartServiceA(h2, 0, NULL)", "QueryServiceStatusEx(h2, 0, ptr, 36, ptr)",
                  "GetTickCount()", "Sleep(1000)", "QueryServiceStatusEx(h2, 0, ptr, 36, ptr)",
                  "GetTickCount()", "Sleep(1000)", "QueryServiceStatusEx(h2, 0, ptr, 36, ptr)",
                  "GetTickCount()", "CloseServiceHandle(h2)", "CloseServiceHandle(h1)"));
}

TEST_F(StartWaitTest, ServiceThatStopsDuringItsStartSetsTheFlag) {
  standin::ServiceSetup setup = PendingService(2000);
  setup.start_script.push_back({1500, SERVICE_STOPPED, 0, 0});
  standin::AddService(setup);
  EXPECT_EQ(Run(), 0u);
  EXPECT_EQ(flag_, 1u);
  EXPECT_THAT(Pauses(), testing::ElementsAre(1000, 1000));
}

TEST_F(StartWaitTest, RefusedStartReturnsItsCodeWithoutQuerying) {
  struct Case {
    const char *what;
    standin::ServiceSetup setup;
    DWORD code;
  };
  standin::ServiceSetup disabled = PendingService(0);
  disabled.start_type = SERVICE_DISABLED;
  const Case cases[] = {{"already running", RunningService(), ERROR_SERVICE_ALREADY_RUNNING},
                        {"disabled", disabled, ERROR_SERVICE_DISABLED}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    standin::Reset();
    standin::AddService(c.setup);
    flag_ = kUntouched;
    SetLastError(kSentinel);
    EXPECT_EQ(Run(), c.code);
    EXPECT_EQ(GetLastError(), c.code);
    EXPECT_EQ(flag_, kUntouched);
    EXPECT_EQ(CountCalls("QueryServiceStatusEx"), 0);
  }
}

TEST_F(StartWaitTest, NotInstalledOpensAndClosesOnlyTheManager) {
  EXPECT_EQ(Run(), ERROR_SERVICE_DOES_NOT_EXIST);
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_DOES_NOT_EXIST);
  EXPECT_EQ(flag_, kUntouched);
  EXPECT_THAT(CallLines(), testing::ElementsAre("OpenSCManagerA(NULL, NULL, 0xF003F)",
                                                "OpenServiceA(h1, \"tessera\", 0xF01FF)",
                                                "CloseServiceHandle(h1)"));
}

TEST_F(StartWaitTest, NullFlagIsNotWrittenThrough) {
  standin::ServiceSetup setup = PendingService(0);
  standin::AddService(setup);
  EXPECT_EQ(StartServiceAndWait(kService, nullptr), 0u);
  EXPECT_EQ(Pauses().size(), 1u);
}

}  // namespace
