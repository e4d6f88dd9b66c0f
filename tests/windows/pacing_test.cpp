// Time taken against the real manager, consistent with the pacing.
#include <gtest/gtest.h>
#include <service_control.h>

#include <cstdio>

#include "service_fixture.h"

namespace {

class PacingTest : public testing::Test {
 protected:
  void SetUp() override { RemoveTestService(kName); }
  void TearDown() override { RemoveTestService(kName); }
  static constexpr const char *kName = "tessera-pacing";
};

struct Timed {
  DWORD result;
  DWORD elapsed_ms;
};

template <typename Operation>
Timed Time(Operation operation) {
  const DWORD start = GetTickCount();
  const DWORD result = operation();
  return Timed{result, GetTickCount() - start};
}

TEST_F(PacingTest, StartIsPacedInWholeSeconds) {
  struct Case {
    const char *what;
    DWORD pending_ms;
    CheckPoints check_points;
    DWORD flag;
    DWORD shortest_ms;
    DWORD longest_ms;
  };
  const Case cases[] = {
      // Running from 1.5 s on; pauses of 1 s: it is seen at the second query.
      {"rising, then running", 1500, CheckPoints::kRising, 0, 1900, 3500},
      // One or two pauses, as the tick count lands on the 1 s hint or beyond.
      {"flat, gives up", 30000, CheckPoints::kFlat, 1, 900, 3500},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    TestServiceBehaviour behaviour;
    behaviour.pending_ms = c.pending_ms;
    behaviour.wait_hint = 1000;
    behaviour.check_points = c.check_points;
    InstallTestService(kName, behaviour, SERVICE_DEMAND_START);
    DWORD flag = 0;
    const Timed timed = Time([&] { return StartServiceAndWait(kName, &flag); });
    EXPECT_EQ(timed.result, 0u);
    EXPECT_EQ(flag, c.flag);
    EXPECT_GE(timed.elapsed_ms, c.shortest_ms);
    EXPECT_LT(timed.elapsed_ms, c.longest_ms);
    RemoveTestService(kName);
  }
}

TEST_F(PacingTest, StopWaitsForTheServiceAndNotForAStoppedOne) {
  TestServiceBehaviour behaviour;
  behaviour.stop_ms = 1500;
  InstallTestService(kName, behaviour, SERVICE_DEMAND_START);
  StartTestService(kName);
  const Timed slow = Time([] { return StopServiceAndWait(kName); });
  EXPECT_EQ(slow.result, 0u);
  EXPECT_GE(slow.elapsed_ms, 1400u);
  EXPECT_LT(slow.elapsed_ms, 4000u);
  const Timed stopped = Time([] { return StopServiceAndWait(kName); });
  EXPECT_EQ(stopped.result, 0u);
  EXPECT_LT(stopped.elapsed_ms, 450u);
}

TEST_F(PacingTest, StopOfAServiceThatNeverStopsGivesUpAfterFiftyPauses) {
  TestServiceBehaviour behaviour;
  behaviour.stop_ms = INFINITE;
  InstallTestService(kName, behaviour, SERVICE_DEMAND_START);
  StartTestService(kName);
  const Timed timed = Time([] { return StopServiceAndWait(kName); });
  std::printf("[ pacing   ] stop gave up after %lu ms\n",
              static_cast<unsigned long>(timed.elapsed_ms));
  EXPECT_EQ(timed.result, static_cast<DWORD>(ERROR_SERVICE_REQUEST_TIMEOUT));
  EXPECT_EQ(TestServiceState(kName), static_cast<DWORD>(SERVICE_STOP_PENDING));
  // 50 pauses of 500 ms, and the queries between them.
  EXPECT_GE(timed.elapsed_ms, 24900u);
  EXPECT_LT(timed.elapsed_ms, 30000u);
}

}  // namespace
