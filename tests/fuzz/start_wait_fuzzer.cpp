// The start wait of StartServiceAndWait, for any sequence of status records,
// check points and wait hints, and any tick count start. Every script ends
// in a running or stopped service, so each run takes a bounded number of
// virtual passes. The pauses and the outcome are checked against the pacing
// rule: a tenth of the latest hint (1 to 10 s), and giving up once the check
// point has not risen for longer than the latest hint.
#include <service_control.h>
#include <standin.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_input.h"

namespace {

const DWORD kInjected = 0x1234;

const standin::StatusStep &StepAt(const std::vector<standin::StatusStep> &script,
                                  unsigned long long ms) {
  const standin::StatusStep *current = &script.front();
  for (const standin::StatusStep &step : script) {
    if (step.at_ms <= ms) current = &step;
  }
  return *current;
}

struct Outcome {
  std::vector<DWORD> pauses;
  bool running = false;
  bool failed = false;
};

// The wait as the rule has it; failing_query counts from 1, 0 for none.
Outcome Expect(const std::vector<standin::StatusStep> &script, unsigned failing_query) {
  Outcome outcome;
  unsigned long long now = 0;
  unsigned queries = 1;
  if (failing_query == 1) {
    outcome.failed = true;
    return outcome;
  }
  standin::StatusStep status = StepAt(script, now);
  unsigned long long clock_start = now;
  DWORD last_check_point = status.check_point;
  while (status.state == SERVICE_START_PENDING) {
    DWORD pause = status.wait_hint / 10;
    pause = pause < 1000 ? 1000 : pause > 10000 ? 10000 : pause;
    outcome.pauses.push_back(pause);
    now += pause;
    if (++queries == failing_query) {
      outcome.failed = true;
      return outcome;
    }
    status = StepAt(script, now);
    if (status.check_point > last_check_point) {
      clock_start = now;
      last_check_point = status.check_point;
      continue;
    }
    if (now - clock_start > status.wait_hint) break;
  }
  outcome.running = status.state == SERVICE_RUNNING;
  return outcome;
}

DWORD Hint(FuzzInput &input) {
  switch (input.Byte() % 4) {
    case 0:
      return input.Byte() * 100u;
    case 1:
      return input.Word() % 200000;
    case 2:
      return 0xFFFFFFFF - input.Byte();
    default:
      return input.Word();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FuzzInput input(data, size);
  std::vector<standin::StatusStep> script;
  DWORD at = 0;
  const int steps = 1 + input.Byte() % 8;
  for (int i = 0; i < steps; ++i) {
    const uint8_t kind = input.Byte();
    // Middle steps never stop the service: a stopped service stays stopped.
    const DWORD state = kind % 4 != 0 ? SERVICE_START_PENDING : 2 + kind / 4 % 6;
    script.push_back({at, state, input.Byte() % 4u, Hint(input)});
    at += 1 + input.Word() % 60000;
  }
  script.push_back({at, input.Byte() % 2 == 0 ? SERVICE_RUNNING : SERVICE_STOPPED, 0, 0});
  const DWORD tick_start = input.Word();
  const unsigned failing_query = input.Byte() % 4 == 0 ? 1 + input.Byte() % 16 : 0;

  standin::Reset();
  standin::ServiceSetup setup;
  setup.name = "tessera";
  setup.start_script = script;
  standin::AddService(setup);
  standin::SetTickCountStart(tick_start);
  if (failing_query != 0) standin::FailCall("QueryServiceStatusEx", failing_query, kInjected);
  DWORD not_running = 42;
  const DWORD result = StartServiceAndWait("tessera", &not_running);

  const Outcome expected = Expect(script, failing_query);
  std::vector<DWORD> pauses;
  for (const standin::Call &call : standin::Calls()) {
    if (call.function == "Sleep") pauses.push_back(std::stoul(call.arguments));
  }
  FuzzCheck(pauses == expected.pauses, "the pauses differ from the pacing rule");
  if (expected.failed) {
    FuzzCheck(result == kInjected && GetLastError() == kInjected,
              "a failed query was not reported");
    FuzzCheck(not_running == (failing_query == 1 ? 42u : 1u), "wrong flag after a failed query");
  } else {
    FuzzCheck(result == 0, "a wait without failures did not return 0");
    FuzzCheck(not_running == (expected.running ? 42u : 1u), "wrong not-running flag");
  }
  FuzzCheck(standin::OpenHandleCount() == 0, "a handle was left open");
  return 0;
}
