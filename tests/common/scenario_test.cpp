// Scenarios that run unchanged on both platforms: against the stand-in in the
// host suite, and against the real manager and test service under Wine. The
// same expectations hold on both, which keeps the stand-in honest. Each runs
// for the ANSI and the wide form of the module.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <service_control.h>

#include <ostream>
#include <string>
#include <tuple>
#include <vector>

#include "module_forms.h"
#include "service_fixture.h"

namespace {

enum class Operation { kStartAndWait, kStartAndPoll, kStopAndWait, kControl103, kSend, kQuery };

struct Scenario {
  const char *name;
  Operation operation;
  bool installed;
  TestServiceBehaviour behaviour;
  DWORD start_type;
  bool running_before;
  DWORD control;  // for kSend
  DWORD result;
  bool flag_set;      // kStartAndWait: the not-running flag was written
  DWORD state_after;  // the service's state afterwards (the record, for kQuery)
  std::vector<DWORD> controls;
};

// Names the scenario in test output, instead of its bytes.
void PrintTo(const Scenario &scenario, std::ostream *out) { *out << scenario.name; }

TestServiceBehaviour Quick() {
  TestServiceBehaviour b;
  b.pending_ms = 500;
  b.wait_hint = 1000;
  return b;
}

TestServiceBehaviour Flat() {
  TestServiceBehaviour b;
  b.pending_ms = 30000;
  b.wait_hint = 1000;
  b.check_points = CheckPoints::kFlat;
  return b;
}

TestServiceBehaviour StopsAgain() {
  TestServiceBehaviour b = Quick();
  b.end_state = SERVICE_STOPPED;
  return b;
}

TestServiceBehaviour SlowStop() {
  TestServiceBehaviour b;
  b.stop_ms = 1500;
  return b;
}

const DWORD kDemand = SERVICE_DEMAND_START;
const DWORD kDisabled = SERVICE_DISABLED;
const DWORD kRunning = SERVICE_RUNNING;
const DWORD kStopped = SERVICE_STOPPED;
const DWORD kPending = SERVICE_START_PENDING;
const DWORD kControlStop = SERVICE_CONTROL_STOP;
const Operation kWait = Operation::kStartAndWait;
const Operation kPoll = Operation::kStartAndPoll;
const Operation kStop = Operation::kStopAndWait;
const Operation k103 = Operation::kControl103;
const Operation kSend = Operation::kSend;
const Operation kQuery = Operation::kQuery;

// clang-format off
const Scenario kScenarios[] = {
    // name                              operation installed behaviour     start      running control       result flag set state after controls
    {"WaitNotInstalled",                 kWait,    false,    Quick(),      kDemand,   false,  0,            1060,  false,   0,          {}},
    {"WaitAlreadyRunning",               kWait,    true,     Quick(),      kDemand,   true,   0,            1056,  false,   kRunning,   {}},
    {"WaitDisabled",                     kWait,    true,     Quick(),      kDisabled, false,  0,            1058,  false,   kStopped,   {}},
    {"WaitRisingThenRunning",            kWait,    true,     Quick(),      kDemand,   false,  0,            0,     false,   kRunning,   {}},
    {"WaitFlatGivesUp",                  kWait,    true,     Flat(),       kDemand,   false,  0,            0,     true,    kPending,   {}},
    {"WaitStopsDuringStart",             kWait,    true,     StopsAgain(), kDemand,   false,  0,            0,     true,    kStopped,   {}},
    {"PollNotInstalled",                 kPoll,    false,    Quick(),      kDemand,   false,  0,            1060,  false,   0,          {}},
    {"PollAlreadyRunning",               kPoll,    true,     Quick(),      kDemand,   true,   0,            1056,  false,   kRunning,   {}},
    {"PollDisabled",                     kPoll,    true,     Quick(),      kDisabled, false,  0,            1058,  false,   kStopped,   {}},
    {"PollRisingThenRunning",            kPoll,    true,     Quick(),      kDemand,   false,  0,            0,     false,   kRunning,   {}},
    {"PollFlatGivesUp",                  kPoll,    true,     Flat(),       kDemand,   false,  0,            1062,  false,   kPending,   {}},
    {"PollStopsDuringStart",             kPoll,    true,     StopsAgain(), kDemand,   false,  0,            1062,  false,   kStopped,   {}},
    {"StopTakesOneAndAHalfSeconds",      kStop,    true,     SlowStop(),   kDemand,   true,   0,            0,     false,   kStopped,   {kControlStop}},
    {"StopAlreadyStopped",               kStop,    true,     SlowStop(),   kDemand,   false,  0,            0,     false,   kStopped,   {}},
    {"Control103Refused",                k103,     true,     Quick(),      kDemand,   true,   0,            87,    false,   kRunning,   {}},
    {"Control103AlreadyStopped",         k103,     true,     Quick(),      kDemand,   false,  0,            0,     false,   kStopped,   {}},
    {"SendStopLacksTheRight",            kSend,    true,     Quick(),      kDemand,   true,   kControlStop, 5,     false,   kRunning,   {}},
    {"SendUserDefinedReachesTheService", kSend,    true,     Quick(),      kDemand,   true,   200,          0,     false,   kRunning,   {200}},
    {"SendUserDefinedToStopped",         kSend,    true,     Quick(),      kDemand,   false,  200,          1062,  false,   kStopped,   {}},
    {"QueryRunning",                     kQuery,   true,     Quick(),      kDemand,   true,   0,            0,     false,   kRunning,   {}},
    {"QueryNotInstalled",                kQuery,   false,    Quick(),      kDemand,   false,  0,            1060,  false,   0,          {}},
};
// clang-format on

class ScenarioTest : public testing::TestWithParam<std::tuple<Scenario, const ModuleForm *>> {
 protected:
  void SetUp() override {
    BeginServiceTest();
    name_ = std::string("tessera-scenario-") + std::get<0>(GetParam()).name;
    RemoveTestService(name_.c_str());
  }
  void TearDown() override { RemoveTestService(name_.c_str()); }
  std::string name_;
};

TEST_P(ScenarioTest, ResultFlagAndState) {
  const Scenario &s = std::get<0>(GetParam());
  const ModuleForm &form = *std::get<1>(GetParam());
  const char *name = name_.c_str();
  if (s.installed) InstallTestService(name, s.behaviour, s.start_type);
  if (s.running_before) StartTestService(name);

  const DWORD kUntouched = 42;
  DWORD flag = kUntouched;
  SERVICE_STATUS status = {};
  SetLastError(0xDEADBEEF);
  DWORD result = 0;
  switch (s.operation) {
    case Operation::kStartAndWait:
      result = form.start_and_wait(name, &flag);
      break;
    case Operation::kStartAndPoll:
      result = form.start_and_poll(name);
      break;
    case Operation::kStopAndWait:
      result = form.stop_and_wait(name);
      break;
    case Operation::kControl103:
      result = form.control_and_wait_stopped(name);
      break;
    case Operation::kSend:
      result = form.send_control(name, s.control);
      break;
    case Operation::kQuery:
      result = form.query_state(name, &status);
      break;
  }
  const DWORD last_error = GetLastError();
  EXPECT_EQ(result, s.result);
  if (s.result != 0) {
    EXPECT_EQ(last_error, s.result);
  }
  EXPECT_EQ(flag, s.flag_set ? 1u : kUntouched);
  if (s.installed) {
    EXPECT_EQ(s.operation == Operation::kQuery ? status.dwCurrentState : TestServiceState(name),
              s.state_after);
    EXPECT_EQ(ReceivedControls(name), s.controls);
  }
}

// The ANSI rows keep their names; the wide ones end in W.
INSTANTIATE_TEST_SUITE_P(BothPlatforms, ScenarioTest,
                         testing::Combine(testing::ValuesIn(kScenarios),
                                          testing::ValuesIn(kBothForms)),
                         [](const testing::TestParamInfo<ScenarioTest::ParamType> &param) {
                           const ModuleForm *form = std::get<1>(param.param);
                           return std::string(std::get<0>(param.param).name) +
                                  (form == &kWideForm ? "W" : "");
                         });

}  // namespace
