// Time taken against the real manager, consistent with the pacing.
#include <gtest/gtest.h>
#include <service_control.h>

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

TEST_F(PacingTest, RisingStartIsPacedInWholeSeconds) {
  TestServiceBehaviour behaviour;
  behaviour.pending_ms = 1500;
  behaviour.wait_hint = 1000;
  InstallTestService(kName, behaviour, SERVICE_DEMAND_START);
  DWORD flag = 0;
  const Timed timed = Time([&] { return StartServiceAndWait(kName, &flag); });
  EXPECT_EQ(timed.result, 0u);
  EXPECT_EQ(flag, 0u);
  // Running from 1.5 s on; pauses of 1 s: it is seen at the second query.
  EXPECT_GE(timed.elapsed_ms, 1900u);
  EXPECT_LT(timed.elapsed_ms, 3500u);
}

TEST_F(PacingTest, FlatStartGivesUpAfterTheHint) {
  TestServiceBehaviour behaviour;
  behaviour.pending_ms = 30000;
  behaviour.wait_hint = 1000;
  behaviour.check_points = CheckPoints::kFlat;
  InstallTestService(kName, behaviour, SERVICE_DEMAND_START);
  DWORD flag = 0;
  const Timed timed = Time([&] { return StartServiceAndWait(kName, &flag); });
  EXPECT_EQ(timed.result, 0u);
  EXPECT_EQ(flag, 1u);
  // One or two pauses of 1 s, as the tick count lands on the hint or beyond it.
  EXPECT_GE(timed.elapsed_ms, 900u);
  EXPECT_LT(timed.elapsed_ms, 3500u);
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

}  // namespace
