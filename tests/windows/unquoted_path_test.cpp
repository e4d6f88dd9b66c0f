// Why InstallServiceQuoted exists: a service path with a space, unquoted, is
// split at the space, and a program at the first part runs in its place.
#include <gtest/gtest.h>
#include <service_control.h>

#include <cstdio>

#include "service_fixture.h"
#include "windows_paths.h"

namespace {

const char kName[] = "tessera-hazard";
const char kFolder[] = "C:\\Tessera Test";
const char kServicePath[] = "C:\\Tessera Test\\svc.exe";
const char kDecoyPath[] = "C:\\Tessera.exe";
const char kMarker[] = "C:\\Tessera.exe.ran";

bool DecoyRan() { return GetFileAttributesA(kMarker) != INVALID_FILE_ATTRIBUTES; }

class UnquotedPathTest : public testing::Test {
 protected:
  void SetUp() override {
    RemoveTestService(kName);
    CreateDirectoryA(kFolder, nullptr);
    ASSERT_TRUE(CopyFileA(BesideThisProgram("test_service.exe").c_str(), kServicePath, FALSE));
    ASSERT_TRUE(CopyFileA(BesideThisProgram("decoy.exe").c_str(), kDecoyPath, FALSE));
    DeleteFileA(kMarker);
  }
  void TearDown() override {
    RemoveTestService(kName);
    DeleteFileA(kMarker);
    DeleteFileA(kDecoyPath);
    DeleteFileA(kServicePath);
    RemoveDirectoryA(kFolder);
  }

  static DWORD Install(bool quoted) {
    char path[64];
    std::snprintf(path, sizeof path, "%s", kServicePath);
    DWORD error = 0xDEADBEEF;
    const DWORD result = quoted
                             ? InstallServiceQuoted(path, kName, kName, SERVICE_WIN32_OWN_PROCESS,
                                                    SERVICE_DEMAND_START, "", SERVICE_ERROR_NORMAL,
                                                    "", "", "", &error)
                             : InstallServiceUnquoted(path, kName, kName, SERVICE_WIN32_OWN_PROCESS,
                                                      SERVICE_DEMAND_START, "",
                                                      SERVICE_ERROR_NORMAL, "", "", "", &error);
    EXPECT_EQ(error, 0u);
    return result;
  }
};

TEST_F(UnquotedPathTest, UnquotedPathRunsTheDecoy) {
  ASSERT_EQ(Install(false), 0u);
  DWORD flag = 42;
  const DWORD result = StartServiceAndWait(kName, &flag);
  std::printf("[ hazard   ] unquoted: start result %lu, decoy %s\n",
              static_cast<unsigned long>(result), DecoyRan() ? "ran" : "did not run");
  EXPECT_TRUE(DecoyRan());
  // The decoy never reports as a service, so the start cannot succeed.
  EXPECT_NE(result, 0u);
  EXPECT_NE(TestServiceState(kName), static_cast<DWORD>(SERVICE_RUNNING));
}

TEST_F(UnquotedPathTest, AQuoteInsideIsRefusedAndTheDecoyNeverRuns) {
  ASSERT_EQ(Install(true), 0u);
  // Quoted as it stands, this would run C:\Tessera.exe.
  char path[64] = "C:\\Tessera\" Test\\svc.exe";
  DWORD error = 0;
  EXPECT_EQ(ReconfigureServiceQuoted(path, kName, "", SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, "",
                                     SERVICE_NO_CHANGE, "", "", "", &error),
            SERVICE_STAGE_CREATE_SERVICE);
  EXPECT_EQ(error, static_cast<DWORD>(ERROR_INVALID_NAME));
  DWORD flag = 42;
  EXPECT_EQ(StartServiceAndWait(kName, &flag), 0u);
  EXPECT_FALSE(DecoyRan());
}

TEST_F(UnquotedPathTest, QuotedPathRunsTheServiceAndNeverTheDecoy) {
  ASSERT_EQ(Install(true), 0u);
  DWORD flag = 42;
  EXPECT_EQ(StartServiceAndWait(kName, &flag), 0u);
  EXPECT_EQ(flag, 42u);
  EXPECT_EQ(TestServiceState(kName), static_cast<DWORD>(SERVICE_RUNNING));
  EXPECT_FALSE(DecoyRan());
}

}  // namespace
