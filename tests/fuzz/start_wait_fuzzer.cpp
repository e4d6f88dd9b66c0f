// The start wait of StartServiceAndWait, for any sequence of status records,
// check points and wait hints, and any tick count start. Every script ends
// in a running or stopped service, so each run takes a bounded number of
// virtual passes. The wait is checked against the header's rules, as
// properties of what it saw and did: it pauses only while the service is
// start-pending, each pause a tenth of the latest hint within 1 and 10 s; it
// never goes on past the hint without a rise of the check point, and gives
// up only then; a failed query ends it with that query's code.
#include <service_control.h>
#include <standin.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_input.h"

namespace {

const DWORD kInjected = 0x1234;

// What a query of the wait saw, and when.
struct Seen {
  unsigned long long at;
  SERVICE_STATUS_PROCESS status;
};

// The status that the wait had queried last, at each of its pauses.
std::vector<Seen> seen_at_pauses;

void NoteStatusAtPause() {
  seen_at_pauses.push_back({standin::Now(), standin::ServiceStatus("tessera")});
}

// Checks the rules on the statuses that the wait's queries saw, the last one
// (if it did not fail) ending the wait.
void CheckWait(const std::vector<Seen> &queries, const std::vector<DWORD> &pauses, bool ended) {
  for (size_t i = 0; i < pauses.size(); ++i) {
    const SERVICE_STATUS_PROCESS &status = queries[i].status;
    FuzzCheck(status.dwCurrentState == SERVICE_START_PENDING, "a pause while not start-pending");
    const DWORD tenth = status.dwWaitHint / 10;
    FuzzCheck(pauses[i] >= 1000 && pauses[i] <= 10000 &&
                  (pauses[i] == tenth || (tenth < 1000 && pauses[i] == 1000) ||
                   (tenth > 10000 && pauses[i] == 10000)),
              "a pause that is not a tenth of the latest hint within 1 and 10 s");
  }
  // The wait's clock: the time of the latest rise of the check point.
  unsigned long long risen_at = queries[0].at;
  DWORD highest = queries[0].status.dwCheckPoint;
  for (size_t i = 1; i < queries.size(); ++i) {
    const SERVICE_STATUS_PROCESS &status = queries[i].status;
    const bool rose = status.dwCheckPoint > highest;
    const bool past_hint = queries[i].at - risen_at > status.dwWaitHint;
    if (i + 1 < queries.size() || !ended) {
      FuzzCheck(rose || !past_hint, "went on past the hint without a rise of the check point");
    } else if (status.dwCurrentState == SERVICE_START_PENDING) {
      FuzzCheck(!rose && past_hint, "gave up within the hint, or after a rise");
    }
    if (rose) {
      highest = status.dwCheckPoint;
      risen_at = queries[i].at;
    }
  }
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
  seen_at_pauses.clear();
  standin::OnCall("Sleep", NoteStatusAtPause);
  DWORD not_running = 42;
  const DWORD result = StartServiceAndWait("tessera", &not_running);

  std::vector<DWORD> pauses;
  bool failed = false;
  for (const standin::Call &call : standin::Calls()) {
    if (call.function == "Sleep") pauses.push_back(std::stoul(call.arguments));
    failed = failed || call.failed;
  }
  std::vector<Seen> queries = seen_at_pauses;
  const Seen last = {standin::Now(), standin::ServiceStatus("tessera")};
  if (!failed) {
    queries.push_back(last);
    FuzzCheck(result == 0, "a wait without failures did not return 0");
    FuzzCheck(not_running == (last.status.dwCurrentState == SERVICE_RUNNING ? 42u : 1u),
              "wrong not-running flag");
  } else {
    FuzzCheck(pauses.size() + 1 == failing_query, "the wait went on after a failed query");
    FuzzCheck(result == kInjected && GetLastError() == kInjected,
              "a failed query was not reported");
    FuzzCheck(not_running == (failing_query == 1 ? 42u : 1u), "wrong flag after a failed query");
  }
  if (!queries.empty()) CheckWait(queries, pauses, !failed);
  FuzzCheck(standin::OpenHandleCount() == 0, "a handle was left open");
  return 0;
}
