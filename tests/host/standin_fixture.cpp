#include "standin_fixture.h"

const char kService[] = "tessera";

void StandinTest::SetUp() {
  standin::Reset();
  SetLastError(kSentinel);
}

void StandinTest::TearDown() {
  EXPECT_EQ(standin::OpenHandleCount(), 0) << "a handle was left open";
  EXPECT_EQ(standin::OpenLocalAllocationCount(), 0) << "a message buffer was not freed";
}

std::vector<std::string> CallLines() {
  std::vector<std::string> lines;
  for (const standin::Call &call : standin::Calls()) {
    lines.push_back(call.function + "(" + call.arguments + ")");
  }
  return lines;
}

std::vector<DWORD> Pauses() {
  std::vector<DWORD> pauses;
  for (const standin::Call &call : standin::Calls()) {
    if (call.function == "Sleep") pauses.push_back(static_cast<DWORD>(std::stoul(call.arguments)));
  }
  return pauses;
}

std::vector<std::string> Waits() {
  std::vector<std::string> waits;
  for (const std::string &line : CallLines()) {
    if (line.rfind("Sleep", 0) == 0 || line.rfind("WaitForSingleObject", 0) == 0) {
      waits.push_back(line);
    }
  }
  return waits;
}

int CountCalls(const char *function) {
  int count = 0;
  for (const standin::Call &call : standin::Calls()) count += call.function == function;
  return count;
}

standin::ServiceSetup PendingService(DWORD wait_hint) {
  standin::ServiceSetup setup;
  setup.name = kService;
  setup.start_script.push_back({0, SERVICE_START_PENDING, 1, wait_hint});
  return setup;
}

standin::ServiceSetup RunningService() {
  standin::ServiceSetup setup;
  setup.name = kService;
  setup.started = true;
  return setup;
}
