// starter.exe run as a child process against the real manager: its standard
// output byte for byte, its exit status, and its resources read back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "service_fixture.h"
#include "windows_paths.h"

namespace {

const char kName[] = "tessera";

struct StarterRun {
  std::string output;
  DWORD exit_code;
};

struct StarterProcess {
  HANDLE process;
  HANDLE output;  // the read end of its standard output and error
};

// Starts starter.exe with output (an inheritable handle) as its standard
// output and error; null on failure.
HANDLE LaunchStarterInto(HANDLE output) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = output;
  startup.hStdError = output;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION process = {};
  std::string command = "\"" + BesideThisProgram("starter.exe") + "\"";
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return nullptr;
  }
  CloseHandle(process.hThread);
  return process.hProcess;
}

// Starts starter.exe with its output into a pipe; process is null on failure.
StarterProcess LaunchStarter() {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE write_end;
  StarterProcess launched = {nullptr, nullptr};
  if (!CreatePipe(&launched.output, &write_end, &inherit, 0)) return launched;
  SetHandleInformation(launched.output, HANDLE_FLAG_INHERIT, 0);
  launched.process = LaunchStarterInto(write_end);
  CloseHandle(write_end);
  return launched;
}

// Reads the output to its end and waits for the exit.
StarterRun Collect(StarterProcess launched) {
  StarterRun run = {"", 0xFFFFFFFF};
  if (launched.process != nullptr) {
    char buffer[512];
    DWORD got;
    while (ReadFile(launched.output, buffer, sizeof buffer, &got, nullptr) && got > 0) {
      run.output.append(buffer, got);
    }
    WaitForSingleObject(launched.process, 60000);
    GetExitCodeProcess(launched.process, &run.exit_code);
    CloseHandle(launched.process);
  }
  if (launched.output != nullptr) CloseHandle(launched.output);
  return run;
}

StarterRun RunStarter() { return Collect(LaunchStarter()); }

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

TEST_F(StarterTest, EightAtOnceAgainstOnePendingStart) {
  TestServiceBehaviour slow;
  slow.pending_ms = 3000;
  slow.wait_hint = 2000;
  InstallTestService(kName, slow, SERVICE_DEMAND_START);
  const DWORD started_at = GetTickCount();
  StarterProcess launched[8];
  for (StarterProcess &one : launched) one = LaunchStarter();
  int succeeded = 0;
  int refused = 0;
  for (StarterProcess &one : launched) {
    const StarterRun run = Collect(one);
    EXPECT_EQ(run.exit_code, 0u);
    if (run.output == AsTextMode("\nStarting Tessera service\n... SUCCEEDED")) {
      ++succeeded;
    } else {
      // Anything else must be the whole refusal, not a torn or mixed text.
      EXPECT_EQ(run.output, FailedWith(ERROR_SERVICE_ALREADY_RUNNING));
      refused += run.output == FailedWith(ERROR_SERVICE_ALREADY_RUNNING);
    }
  }
  const DWORD elapsed = GetTickCount() - started_at;
  std::printf("[ load     ] eight starters done in %lu ms\n", static_cast<unsigned long>(elapsed));
  EXPECT_EQ(succeeded, 1);
  EXPECT_EQ(refused, 7);
  // The 3 s start, at most one 1 s pause beyond it, and the process starts.
  EXPECT_LT(elapsed, 8000u);
  EXPECT_EQ(TestServiceState(kName), static_cast<DWORD>(SERVICE_RUNNING));
}

TEST_F(StarterTest, ServiceKilledWhileStartPendingIsReportedAsFailed) {
  TestServiceBehaviour slow;
  slow.pending_ms = 20000;
  slow.wait_hint = 2000;
  InstallTestService(kName, slow, SERVICE_DEMAND_START);
  StarterProcess launched = LaunchStarter();
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE service = OpenServiceA(manager, kName, SERVICE_QUERY_STATUS);
  SERVICE_STATUS_PROCESS status = {};
  DWORD needed;
  for (int waited = 0; waited < 50 && status.dwCheckPoint < 4; ++waited) {
    Sleep(100);
    QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<LPBYTE>(&status),
                         sizeof status, &needed);
  }
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
  ASSERT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_START_PENDING));
  HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, status.dwProcessId);
  ASSERT_NE(process, nullptr);
  ASSERT_TRUE(TerminateProcess(process, 1));
  CloseHandle(process);
  const DWORD killed_at = GetTickCount();
  const StarterRun run = Collect(launched);
  const DWORD elapsed = GetTickCount() - killed_at;
  std::printf("[ fault    ] starter ended %lu ms after the kill\n",
              static_cast<unsigned long>(elapsed));
  EXPECT_EQ(run.output, FailedWith(ERROR_SERVICE_NOT_ACTIVE));
  EXPECT_EQ(run.exit_code, 0u);
  // Seen as stopped at the next query, or (where the manager does not see the
  // process end) as no progress for longer than the 2 s hint.
  EXPECT_LT(elapsed, 2000u + 2 * 1000u + 1000u);
}

// A console screen buffer of the test's own, which the user does not see;
// null when the process has no console that works (Wine run without a
// terminal gives it none).
HANDLE NewConsoleScreen() {
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE screen =
      CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                &inherit, CONSOLE_TEXTMODE_BUFFER, nullptr);
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (screen == INVALID_HANDLE_VALUE) return nullptr;
  if (GetConsoleScreenBufferInfo(screen, &info)) return screen;
  CloseHandle(screen);
  return nullptr;
}

// The rows from the top of the screen to the cursor's, without the blanks
// that fill each row, joined by line breaks.
std::wstring ScreenText(HANDLE screen) {
  CONSOLE_SCREEN_BUFFER_INFO info;
  GetConsoleScreenBufferInfo(screen, &info);
  std::wstring text;
  for (SHORT row = 0; row <= info.dwCursorPosition.Y; ++row) {
    std::wstring line(info.dwSize.X, L' ');
    DWORD read = 0;
    ReadConsoleOutputCharacterW(screen, &line[0], info.dwSize.X, COORD{0, row}, &read);
    line.resize(line.find_last_not_of(L' ') + 1);
    text += (row == 0 ? L"" : L"\n") + line;
  }
  return text;
}

TEST_F(StarterTest, SystemTextReachesAConsoleAsTheSameCharacters) {
  HANDLE screen = NewConsoleScreen();
  if (screen == nullptr) GTEST_SKIP() << "no console here; under Wine it needs a terminal";
  InstallTestService(kName, TestServiceBehaviour(), SERVICE_DEMAND_START);
  StartTestService(kName);
  HANDLE process = LaunchStarterInto(screen);
  ASSERT_NE(process, nullptr);
  WaitForSingleObject(process, 60000);
  CloseHandle(process);
  wchar_t *text = nullptr;
  ASSERT_NE(FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS |
                               FORMAT_MESSAGE_FROM_SYSTEM,
                           nullptr, ERROR_SERVICE_ALREADY_RUNNING,
                           MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                           reinterpret_cast<LPWSTR>(&text), 0, nullptr),
            0u);
  std::wstring expected = std::wstring(L"\nStarting Tessera service ... FAILED\nError: ") + text;
  LocalFree(text);
  // On the screen a line break is the start of the next row.
  expected.erase(std::remove(expected.begin(), expected.end(), L'\r'), expected.end());
  std::printf("[ console  ] ANSI code page %u, console output code page %u\n", GetACP(),
              GetConsoleOutputCP());
  EXPECT_EQ(ScreenText(screen), expected);
  CloseHandle(screen);
}

TEST(StarterResources, VersionRecordIs1005) {
  const std::string path = BesideThisProgram("starter.exe");
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
      LoadLibraryExA(BesideThisProgram("starter.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
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
