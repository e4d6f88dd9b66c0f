// starter.exe run as a child process against the real manager: its standard
// output byte for byte, its exit status, and its resources read back.
#include <gtest/gtest.h>

#include <string>

#include "service_fixture.h"
#include "windows_paths.h"

namespace {

const char kName[] = "tessera";

struct StarterRun {
  std::string output;
  DWORD exit_code;
};

StarterRun RunStarter() {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE read_end;
  HANDLE write_end;
  StarterRun run = {"", 0xFFFFFFFF};
  if (!CreatePipe(&read_end, &write_end, &inherit, 0)) return run;
  SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = write_end;
  startup.hStdError = write_end;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION process = {};
  std::string command = "\"" + WindowsPathOf(STARTER_LINUX_PATH) + "\"";
  const BOOL started = CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr,
                                      nullptr, &startup, &process);
  CloseHandle(write_end);
  if (started) {
    char buffer[512];
    DWORD got;
    while (ReadFile(read_end, buffer, sizeof buffer, &got, nullptr) && got > 0) {
      run.output.append(buffer, got);
    }
    WaitForSingleObject(process.hProcess, 60000);
    GetExitCodeProcess(process.hProcess, &run.exit_code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  CloseHandle(read_end);
  return run;
}

// What a text-mode stream makes of the program's own text.
std::string AsTextMode(const std::string &text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

std::string SystemText(DWORD code) {
  char *text = nullptr;
  const DWORD length = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
      nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&text), 0,
      nullptr);
  if (length == 0) return "";
  std::string copy(text, length);
  LocalFree(text);
  return copy;
}

std::string FailedWith(DWORD code) {
  return AsTextMode("\nStarting Tessera service ... FAILED\nError: " + SystemText(code));
}

class StarterTest : public testing::Test {
 protected:
  void SetUp() override { RemoveTestService(kName); }
  void TearDown() override { RemoveTestService(kName); }
};

TEST_F(StarterTest, PrintsEachOutcomeExactlyAndExitsWithZero) {
  TestServiceBehaviour quick;
  quick.pending_ms = 1000;
  quick.wait_hint = 2000;
  TestServiceBehaviour stops_again = quick;
  stops_again.end_state = SERVICE_STOPPED;
  stops_again.exit_code = 1;
  struct Case {
    const char *what;
    bool installed;
    TestServiceBehaviour behaviour;
    bool running_before;
    std::string output;
  };
  const Case cases[] = {
      {"success", true, quick, false, AsTextMode("\nStarting Tessera service\n... SUCCEEDED")},
      {"not installed", false, quick, false, FailedWith(ERROR_SERVICE_DOES_NOT_EXIST)},
      {"already running", true, quick, true, FailedWith(ERROR_SERVICE_ALREADY_RUNNING)},
      {"stops during its start", true, stops_again, false, FailedWith(ERROR_SERVICE_NOT_ACTIVE)},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    RemoveTestService(kName);
    if (c.installed) InstallTestService(kName, c.behaviour, SERVICE_DEMAND_START);
    if (c.running_before) StartTestService(kName);
    const StarterRun run = RunStarter();
    EXPECT_EQ(run.output, c.output);
    EXPECT_EQ(run.exit_code, 0u);
  }
}

TEST(StarterResources, VersionRecordIs1005) {
  const std::string path = WindowsPathOf(STARTER_LINUX_PATH);
  DWORD ignored;
  const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::string data(size, '\0');
  ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, &data[0]));
  VS_FIXEDFILEINFO *fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(&data[0], "\\", reinterpret_cast<LPVOID *>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0x00000005u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0x00000005u);
  for (const char *key :
       {"\\StringFileInfo\\040904b0\\FileVersion", "\\StringFileInfo\\040904b0\\ProductVersion"}) {
    char *value = nullptr;
    ASSERT_TRUE(VerQueryValueA(&data[0], key, reinterpret_cast<LPVOID *>(&value), &length)) << key;
    EXPECT_STREQ(value, "1.0.0.5") << key;
  }
}

TEST(StarterResources, ManifestAsksForNoElevation) {
  HMODULE module =
      LoadLibraryExA(WindowsPathOf(STARTER_LINUX_PATH).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr);
  HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
  ASSERT_NE(found, nullptr);
  const char *bytes = static_cast<const char *>(LockResource(LoadResource(module, found)));
  const std::string manifest(bytes, SizeofResource(module, found));
  EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos);
  EXPECT_NE(manifest.find("uiAccess=\"false\""), std::string::npos);
  FreeLibrary(module);
}

}  // namespace
