// The starter's complete output for each outcome, byte for byte.
#include <starter.h>

#include <fstream>
#include <iterator>

#include "standin_fixture.h"

namespace {

const char kFailed[] = "\nStarting Tessera service ... FAILED";

std::string RunStarter() {
  testing::internal::CaptureStdout();
  StartTesseraAndReport();
  return testing::internal::GetCapturedStdout();
}

std::string FailedWith(const char *text) {
  return std::string(kFailed) + "\nError: " + text + "\r\n";
}

class StarterOutputTest : public StandinTest {};

TEST_F(StarterOutputTest, EachOutcomePrintsItsExactText) {
  struct Case {
    const char *what;
    std::vector<standin::ServiceSetup> services;
    const char *failing_call;
    DWORD failure;
    std::string output;
  };
  standin::ServiceSetup starts;
  starts.name = kService;
  standin::ServiceSetup stops_again = PendingService(0);
  stops_again.start_script.push_back({500, SERVICE_STOPPED, 0, 0});
  standin::ServiceSetup stays_pending = PendingService(3000);
  // clang-format off
  const Case cases[] = {
      {"success",                                    {starts},           nullptr,          0,                   "\nStarting Tessera service\n... SUCCEEDED"},
      {"not installed",                              {},                 nullptr,          0,                   FailedWith("The specified service does not exist as an installed service.")},
      {"already running",                            {RunningService()}, nullptr,          0,                   FailedWith("An instance of the service is already running.")},
      {"no rights to the manager",                   {starts},           "OpenSCManagerA", ERROR_ACCESS_DENIED, FailedWith("Access is denied.")},
      {"stops during its start",                     {stops_again},      nullptr,          0,                   FailedWith("The service has not been started.")},
      {"still start-pending when the wait gives up", {stays_pending},    nullptr,          0,                   FailedWith("The service has not been started.")},
      {"a code without system text",                 {starts},           "StartServiceA",  0x1234,              std::string(kFailed) + "\nUnknown Error"},
  };
  // clang-format on
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    standin::Reset();
    for (const standin::ServiceSetup &setup : c.services) standin::AddService(setup);
    if (c.failing_call != nullptr) standin::FailCall(c.failing_call, 1, c.failure);
    EXPECT_EQ(RunStarter(), c.output);
    EXPECT_EQ(standin::OpenLocalAllocationCount(), 0);
  }
}

TEST_F(StarterOutputTest, SystemTextReachesAConsoleAsTheSameCharacters) {
  standin::AddService(RunningService());
  struct Case {
    const char *what;
    bool console;
    const char *message;            // the system's text, in code page 1252
    std::string shown;              // the output after "Error: "
    const char *failing = nullptr;  // a console call that fails, if any
  };
  // 0xE9 is e acute and 0xE0 a grave in code page 1252; the console shows UTF-8.
  const Case cases[] = {
      {"a pipe or file: the bytes as they are", false, "Service d\xE9j\xE0 en cours.\r\n",
       "Service d\xE9j\xE0 en cours.\r\n"},
      {"a console: every character, the last one too", true, "Service d\xE9j\xE0 en cours.\r\n",
       "Service d\xC3\xA9j\xC3\xA0 en cours.\r\n"},
      {"a console: a text of one character is the smallest it gets", true, "\xE9", "\xC3\xA9"},
      {"a pipe: a text of one character", false, "\xE9", "\xE9"},
      {"a console that refuses the wide text: the bytes", true, "d\xE9j\xE0", "d\xE9j\xE0",
       "WriteConsoleW"},
      {"a text that does not convert: the bytes", true, "d\xE9j\xE0", "d\xE9j\xE0",
       "MultiByteToWideChar"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    standin::ClearCalls();
    standin::SetMessageText(ERROR_SERVICE_ALREADY_RUNNING, c.message);
    standin::SetStandardOutputIsConsole(c.console);
    if (c.failing != nullptr) standin::FailCall(c.failing, 1, ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RunStarter(), std::string(kFailed) + "\nError: " + c.shown);
    // Only a text that the console can show is written to it.
    const bool converted = c.failing == nullptr || std::string(c.failing) != "MultiByteToWideChar";
    const bool written = c.console && converted;
    EXPECT_EQ(CountCalls("WriteConsoleW"), written ? 1 : 0);
  }
}

// What had reached standard output (captured into a file) when the start was asked for.
std::string output_at_start;

TEST_F(StarterOutputTest, FirstLineStandsBeforeTheStart) {
  standin::AddService(PendingService(3000));
  standin::OnCall("StartServiceA", [] {
    std::ifstream written("/proc/self/fd/1");
    output_at_start.assign(std::istreambuf_iterator<char>(written), {});
  });
  RunStarter();
  EXPECT_EQ(output_at_start, "\nStarting Tessera service");
}

TEST_F(StarterOutputTest, TextIsThatOfTheFailedCallEvenWhenClosingChangesTheLastError) {
  standin::SetCloseOverwritesLastError(true, ERROR_SUCCESS);
  EXPECT_EQ(RunStarter(),
            FailedWith("The specified service does not exist as an installed service."));
}

TEST_F(StarterOutputTest, SystemTextIsAskedForAndReleased) {
  EXPECT_EQ(RunStarter(),
            FailedWith("The specified service does not exist as an installed service."));
  const std::vector<std::string> lines = CallLines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2], "FormatMessageA(0x1300, NULL, 1060, 0x400, ptr, 0, NULL)");
  EXPECT_EQ(lines.back(), "LocalFree(ptr)");
}

TEST_F(StarterOutputTest, NoSystemTextMeansNothingToRelease) {
  standin::FailCall("FormatMessageA", 1, ERROR_MR_MID_NOT_FOUND);
  EXPECT_EQ(RunStarter(), std::string(kFailed) + "\nUnknown Error");
  EXPECT_EQ(CountCalls("LocalFree"), 0);
}

}  // namespace
