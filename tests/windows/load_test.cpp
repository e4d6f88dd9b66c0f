// Many cycles against the real manager: every start and stop succeeds, and
// no service process outlives its stop.
#include <gtest/gtest.h>
#include <service_control.h>
#include <tlhelp32.h>

#include <cstdio>

#include "service_fixture.h"

namespace {

const char kName[] = "tessera-load";

// How many processes of the test service program are alive.
int TestServiceProcesses() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return -1;
  int count = 0;
  PROCESSENTRY32 entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
    count += lstrcmpiA(entry.szExeFile, "test_service.exe") == 0;
  }
  CloseHandle(snapshot);
  return count;
}

TEST(Load, HundredStartStopCyclesLeaveNoProcessBehind) {
  const int processes_before = TestServiceProcesses();
  ASSERT_GE(processes_before, 0);
  InstallTestService(kName, TestServiceBehaviour{}, SERVICE_DEMAND_START);
  const DWORD started_at = GetTickCount();
  int failures = 0;
  for (int cycle = 0; cycle < 100 && failures < 3; ++cycle) {
    SCOPED_TRACE(testing::Message() << "cycle " << cycle);
    DWORD flag = 42;
    const DWORD start = StartServiceAndWait(kName, &flag);
    EXPECT_EQ(start, 0u);
    EXPECT_EQ(flag, 42u);
    EXPECT_EQ(TestServiceState(kName), static_cast<DWORD>(SERVICE_RUNNING));
    const DWORD stop = StopServiceAndWait(kName);
    EXPECT_EQ(stop, 0u);
    EXPECT_EQ(TestServiceState(kName), static_cast<DWORD>(SERVICE_STOPPED));
    failures += start != 0 || flag != 42 || stop != 0;
  }
  std::printf("[ load     ] 100 cycles in %lu ms\n",
              static_cast<unsigned long>(GetTickCount() - started_at));
  // A stopped service's process ends on its own, shortly after its last report.
  int processes_after = TestServiceProcesses();
  for (int waited = 0; processes_after > processes_before && waited < 50; ++waited) {
    Sleep(100);
    processes_after = TestServiceProcesses();
  }
  EXPECT_EQ(processes_after, processes_before);
  RemoveTestService(kName);
}

}  // namespace
