// An update as an updater runs it. The service's process stays 1.5 s after
// it reports that it stopped, as a slow one's does: stopped until that
// process has exited, its program is replaced at once; deleted until it is
// gone, its name installs again at once. And the services that depend on
// one stop before it and start after it.
#include <gtest/gtest.h>
#include <service_control.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "service_fixture.h"

namespace {

const char kName[] = "tessera-update";
const wchar_t kWideName[] = L"tessera-update";

TEST(UpdateTest, StopUntilTheProcessIsGoneAndDeleteUntilTheServiceIsGone) {
  BeginServiceTest();
  const std::wstring program = CopyTestServiceInto(L"tessera-update");
  TestServiceBehaviour lingers;
  lingers.linger_ms = 1500;
  InstallTestService(kName, lingers, SERVICE_DEMAND_START, program);
  // A plain stop returns while the process still holds its program.
  StartTestService(kName);
  ASSERT_EQ(StopServiceAndWait(kName), 0u);
  EXPECT_EQ(OverwriteTestServiceCopy(program), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  Sleep(lingers.linger_ms + 500);

  StartTestService(kName);
  const DWORD before = GetTickCount();
  EXPECT_EQ(StopServiceAndWaitForExit(kName, 10000), 0u);
  const DWORD waited = GetTickCount() - before;
  std::printf("[ update   ] stopped, and its process gone, after %lu ms\n",
              static_cast<unsigned long>(waited));
  EXPECT_GE(waited, lingers.linger_ms);
  EXPECT_LT(waited, lingers.linger_ms + 1000);
  EXPECT_EQ(OverwriteTestServiceCopy(program), 0u);
  StartTestService(kName);
  EXPECT_EQ(StopServiceAndWaitForExitW(kWideName, 700), static_cast<DWORD>(WAIT_TIMEOUT));
  Sleep(lingers.linger_ms);

  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE held = OpenServiceA(manager, kName, SERVICE_QUERY_STATUS);
  EXPECT_EQ(DeleteServiceAndWaitGone(kName, 500),
            static_cast<DWORD>(ERROR_SERVICE_MARKED_FOR_DELETE));
  CloseServiceHandle(held);
  CloseServiceHandle(manager);
  EXPECT_EQ(DeleteServiceAndWaitGoneW(kWideName, 5000), 0u);
  std::wstring path = program + std::wstring(3, L'\0');
  DWORD error = 0xDEADBEEF;
  EXPECT_EQ(
      InstallServiceQuotedW(&path[0], kWideName, L"Tessera", SERVICE_WIN32_OWN_PROCESS,
                            SERVICE_DEMAND_START, L"", SERVICE_ERROR_NORMAL, L"", L"", L"", &error),
      0u);
  EXPECT_EQ(error, 0u);
  RemoveTestService(kName);
  RemoveTestServiceCopy(program);
}

TEST(UpdateTest, ADeletedServiceStaysUntilStoppedAndACrashInTheStopCountsAsStopped) {
  BeginServiceTest();
  const char name[] = "tessera-update-crash";
  const std::wstring program = CopyTestServiceInto(L"tessera-update-crash");
  TestServiceBehaviour crashes;
  crashes.stop_ms = 300;
  crashes.crashes_on_stop = true;
  InstallTestService(name, crashes, SERVICE_DEMAND_START, program);
  StartTestService(name);
  EXPECT_EQ(DeleteServiceAndWaitGone(name, 300),
            static_cast<DWORD>(ERROR_SERVICE_MARKED_FOR_DELETE));
  // Its process ends without a report: Wine's manager shows it stop-pending for good.
  const DWORD before = GetTickCount();
  EXPECT_EQ(StopServiceAndWaitForExit(name, 10000), 0u);
  EXPECT_LT(GetTickCount() - before, 3000u);
  EXPECT_EQ(OverwriteTestServiceCopy(program), 0u);
  // Gone where the manager saw it stop (Windows); Wine's keeps it until it shuts down.
  DeleteServiceAndWaitGone(name, 0);
  RemoveTestServiceCopy(program);
}

TEST(UpdateTest, StartAndStopReturnAsTheServiceChanges) {
  BeginServiceTest();
  const char name[] = "tessera-update-prompt";
  TestServiceBehaviour behaviour;
  behaviour.pending_ms = 500;
  // A wait paced by this hint would pause 2 s between queries.
  behaviour.wait_hint = 20000;
  behaviour.stop_ms = 200;
  InstallTestService(name, behaviour, SERVICE_DEMAND_START);
  DWORD before = GetTickCount();
  EXPECT_EQ(StartServiceWithDependents(name, nullptr, 10000), 0u);
  const DWORD started = GetTickCount() - before;
  before = GetTickCount();
  EXPECT_EQ(StopServiceAndWaitForExit(name, 10000), 0u);
  const DWORD stopped = GetTickCount() - before;
  std::printf("[ update   ] running after %lu ms, stopped with its process gone after %lu ms\n",
              static_cast<unsigned long>(started), static_cast<unsigned long>(stopped));
  EXPECT_GE(started, behaviour.pending_ms);
  EXPECT_LT(started, behaviour.pending_ms + 1200);
  EXPECT_GE(stopped, behaviour.stop_ms);
  EXPECT_LT(stopped, behaviour.stop_ms + 1200);
  RemoveTestService(name);
}

TEST(UpdateTest, AHungServiceEndedAtTheDeadlineAndRestoredFromAFileByAnotherProcess) {
  BeginServiceTest();
  const char name[] = "tessera-update-hung";
  const std::wstring program = CopyTestServiceInto(L"tessera-update-hung");
  TestServiceBehaviour hangs;
  hangs.stop_ms = INFINITE;
  InstallTestService(name, hangs, SERVICE_DEMAND_START, program);
  StartTestService(name);
  char record[512];
  DWORD size = sizeof record;
  const DWORD before = GetTickCount();
  ASSERT_EQ(StopServicesForUpdate(name, 2000, SERVICE_UPDATE_KILL_AT_DEADLINE, record, &size), 0u);
  EXPECT_LT(GetTickCount() - before, 2000 + SERVICE_UPDATE_KILL_GRACE_MS);
  EXPECT_EQ(size, std::strlen(record) + 1);
  EXPECT_EQ(OverwriteTestServiceCopy(program), 0u);
  EXPECT_EQ(RestoreFromFileInAnotherProcess(record), 0u);
  EXPECT_EQ(TestServiceState(name), static_cast<DWORD>(SERVICE_RUNNING));
  EXPECT_TRUE(TestServiceCopyRan(name, program));
  DWORD values[4], error;
  char path[MAX_PATH], group[100], dependencies[100], display[100];
  ASSERT_EQ(ReadServiceConfig(name, &values[0], &values[1], &values[2], &values[3], path, group,
                              dependencies, display, &error),
            0u);
  EXPECT_EQ(values[1], static_cast<DWORD>(SERVICE_DEMAND_START));
  // Ended again: Wine's manager, which never sees a process end, keeps the
  // service until it shuts down.
  EXPECT_EQ(StopServicesForUpdate(name, 0, SERVICE_UPDATE_KILL_AT_DEADLINE, record, &size), 0u);
  DeleteServiceAndWaitGone(name, 0);
  RemoveTestServiceCopy(program);
}

TEST(UpdateTest, AStopForUpdateWaitsForTheChildThatOutlivesTheService) {
  BeginServiceTest();
  const char name[] = "tessera-update-child";
  const std::wstring program = CopyTestServiceInto(L"tessera-update-child");
  TestServiceBehaviour parent;
  parent.child_outlives_ms = 1500;
  InstallTestService(name, parent, SERVICE_DEMAND_START, program);
  StartTestService(name);
  char record[512];
  DWORD size = sizeof record;
  const DWORD before = GetTickCount();
  EXPECT_EQ(StopServicesForUpdate(name, 10000, 0, record, &size), 0u);
  EXPECT_GE(GetTickCount() - before, parent.child_outlives_ms);
  EXPECT_EQ(OverwriteTestServiceCopy(program), 0u);
  RemoveTestService(name);
  RemoveTestServiceCopy(program);
}

TEST(UpdateTest, AChildThatKeepsStartingOthersIsEndedWithThemAll) {
  BeginServiceTest();
  const char name[] = "tessera-update-spawner";
  const std::wstring program = CopyTestServiceInto(L"tessera-update-spawner");
  TestServiceBehaviour spawner;
  spawner.child_outlives_ms = INFINITE;
  spawner.child_spawns_every_ms = 200;
  InstallTestService(name, spawner, SERVICE_DEMAND_START, program);
  StartTestService(name);
  Sleep(500);
  // The service, its child and the child's children run its program.
  SERVICE_FOLDER_PROCESSW held[64];
  DWORD count = 64;
  const std::wstring folder = program.substr(0, program.find_last_of(L'\\'));
  EXPECT_EQ(ListFolderProcessesW(folder.c_str(), held, &count), 0u);
  EXPECT_GE(count, 3u);
  char record[512];
  DWORD size = sizeof record;
  EXPECT_EQ(StopServicesForUpdate(name, 3000,
                                  SERVICE_UPDATE_KILL_AT_DEADLINE | SERVICE_UPDATE_WAIT_FOR_FOLDER,
                                  record, &size),
            0u);
  EXPECT_EQ(OverwriteTestServiceCopy(program), 0u);
  count = 64;
  EXPECT_EQ(ListFolderProcessesW(folder.c_str(), held, &count), 0u);
  EXPECT_EQ(count, 0u);
  RemoveTestService(name);
  RemoveTestServiceCopy(program);
}

// A platform that writes a notification's record after its handle was closed
// shows it only to a process that waits again: forty updates in one, then a
// restore of three services.
TEST(UpdateTest, FortyUpdatesAndARestoreOfThreeInOneProcess) {
  BeginServiceTest();
  const char *const names[] = {kName, "tessera-update-b", "tessera-update-c"};
  for (const char *name : names)
    InstallTestService(name, TestServiceBehaviour(), SERVICE_DEMAND_START);
  StartTestService(kName);
  int failures = 0;
  for (int cycle = 0; cycle < 40 && failures < 3; ++cycle) {
    SCOPED_TRACE(testing::Message() << "cycle " << cycle);
    wchar_t record[512];
    DWORD size = 512;
    const DWORD stopped =
        StopServicesForUpdateW(kWideName, 10000, SERVICE_UPDATE_HOLD_STOPPED, record, &size);
    const DWORD restored = RestoreServicesAfterUpdateW(record, 10000);
    EXPECT_EQ(stopped, 0u);
    EXPECT_EQ(restored, 0u);
    failures += stopped != 0 || restored != 0;
  }
  EXPECT_EQ(RestoreServicesAfterUpdate(
                "SCU1/3;R-3=tessera-update;R-3=tessera-update-b;R-3=tessera-update-c", 10000),
            0u);
  for (const char *name : names) {
    EXPECT_EQ(TestServiceState(name), static_cast<DWORD>(SERVICE_RUNNING)) << name;
    RemoveTestService(name);
  }
}

TEST(UpdateTest, DependentsStopFirstAndStartAfterTheService) {
  BeginServiceTest();
  // B depends on the service and C on B; started in that order, they stop in the reverse.
  const char *const names[] = {kName, "tessera-update-b", "tessera-update-c"};
  for (int i = 0; i < 3; ++i) {
    InstallTestService(names[i], TestServiceBehaviour(), SERVICE_DEMAND_START, L"",
                       i == 0 ? "" : std::string(names[i - 1]) + '\0');
    StartTestService(names[i]);
  }
  char stopped[100];
  ASSERT_EQ(StopServiceWithDependents(kName, 10000, stopped, sizeof stopped), 0u);
  const bool listed = stopped[0] != '\0';
  if (listed) {
    EXPECT_EQ(std::string(stopped, 35), std::string("tessera-update-c\0tessera-update-b\0", 35));
    for (const char *name : names) EXPECT_EQ(TestServiceState(name), SERVICE_STOPPED) << name;
    ASSERT_EQ(StartServiceWithDependents(kName, stopped, 10000), 0u);
    for (const char *name : names) EXPECT_EQ(TestServiceState(name), SERVICE_RUNNING) << name;
  }
  for (int i = 2; i >= 0; --i) RemoveTestService(names[i]);
  if (!listed) GTEST_SKIP() << "this manager lists no dependents (Wine)";
}

}  // namespace
