// servicectl's arguments against the stand-in: each usage error exits with
// 160, says why on standard error and touches no service; each command makes
// the module's call that it names, with its arguments, and exits with its
// result.
#include <servicectl.h>

#include <cstdio>
#include <regex>
#include <vector>

#include "standin_fixture.h"

namespace {

struct Row {
  std::vector<const wchar_t *> arguments;
  int status;
  const char *call;  // a call that the run makes; null for no manager opened
  const char *said;  // what standard output (or, failing, standard error) begins with
};

const char kRecordFile[] = "/tmp/tessera-servicectl.record";

class ServicectlTest : public StandinTest {};

TEST_F(ServicectlTest, ArgumentsCallsAndExitStatus) {
  const wchar_t *record = L"/tmp/tessera-servicectl.record";
  // clang-format off
  const Row rows[] = {
      {{}, 160, nullptr, "servicectl: no command"},
      {{L"frob"}, 160, nullptr, "servicectl: unknown command 'frob'"},
      {{L"start"}, 160, nullptr, "servicectl: missing NAME"},
      {{L"start", L"tessera", L"more"}, 160, nullptr, "servicectl: too many arguments"},
      {{L"start", L"tessera", L"--timeout", L"soon"}, 160, nullptr, "servicectl: bad value for --timeout: soon"},
      {{L"start", L"tessera", L"--timeout", L"4294967295"}, 160, nullptr, "servicectl: bad value for --timeout"},
      {{L"start", L"tessera", L"--timeout"}, 160, nullptr, "servicectl: --timeout needs a value"},
      {{L"start", L"tessera", L"--kill-at-deadline"}, 160, nullptr, "servicectl: unknown option --kill-at-deadline"},
      {{L"stop", L"tessera", L"--kill-at-deadline"}, 160, nullptr, "servicectl: --record, --kill-at-deadline and --wait-for-folder go with --for-update"},
      {{L"stop", L"tessera", L"--wait-for-folder"}, 160, nullptr, "servicectl: --record, --kill-at-deadline and --wait-for-folder go with --for-update"},
      {{L"stop", L"tessera", L"--for-update"}, 160, nullptr, "servicectl: --for-update needs --record FILE"},
      {{L"restore"}, 160, nullptr, "servicectl: restore needs --record FILE"},
      {{L"stop", L"tessera", L"--for-update", L"--record", L"/no/such/folder/record"}, 82, "CreateFileW(L\"/no/such/folder/record.new\", 0x40000000, 2)", "servicectl stop tessera: error 82"},
      {{L"install", L"tessera"}, 160, nullptr, "servicectl: missing NAME PATH"},
      {{L"install", L"tessera", L"C:\\svc.exe", L"--start", L"sometimes"}, 160, nullptr, "servicectl: bad value for --start"},
      {{L"install", L"tessera", L"C:\\svc.exe", L"--error", L"fatal"}, 160, nullptr, "servicectl: bad value for --error"},
      {{L"set-start", L"tessera", L"sometimes"}, 160, nullptr, "servicectl: the start type is auto"},
      {{L"set-recovery", L"tessera"}, 160, nullptr, "servicectl: set-recovery needs --reset SECONDS"},
      {{L"set-recovery", L"tessera", L"--reset", L"60", L"--action", L"explode:5"}, 160, nullptr, "servicectl: bad value for --action"},
      {{L"control", L"tessera", L"127"}, 160, nullptr, "servicectl: CODE is a user-defined control, 128 to 255"},
      {{L"control", L"tessera", L"256"}, 160, nullptr, "servicectl: CODE is a user-defined control"},
      {{L"--version"}, 0, nullptr, "servicectl 1.0.0.5\n"},
      {{L"stop", L"--help"}, 0, nullptr, "usage: servicectl [--json] stop NAME [--timeout VALUE]"},
      {{L"start", L"absent"}, 1060, "OpenServiceW(h1, L\"absent\", 0x14)", "servicectl start absent: error 1060: The specified service does not exist"},
      {{L"start", L"tessera", L"--timeout", L"infinite"}, 1056, "StartServiceW(h2, 0, NULL)", "servicectl start tessera: error 1056"},
      {{L"stop", L"tessera"}, 0, "ControlService(h2, 1, ptr)", "tessera stopped; its process has exited (0 ms)\n"},
      {{L"stop", L"tessera", L"--with-dependents"}, 0, "EnumDependentServicesW(h2, 1, NULL, 0, ptr, ptr)", "tessera stopped, and the services"},
      {{L"stop", L"tessera", L"--for-update", L"--record", record, L"--kill-at-deadline"}, 0, "ChangeServiceConfigW(h2, 0xFFFFFFFF, 0x4, 0xFFFFFFFF, NULL, NULL, NULL, NULL, NULL, NULL, NULL)", "tessera stopped for an update"},
      {{L"restore", L"--record", record}, 0, "ChangeServiceConfigW(h8, 0xFFFFFFFF, 0x3, 0xFFFFFFFF, NULL, NULL, NULL, NULL, NULL, NULL, NULL)", "restored what"},
      {{L"restart", L"tessera"}, 0, "StartServiceW(h5, 0, NULL)", "tessera restarted"},
      {{L"query", L"tessera"}, 0, "QueryServiceStatusEx(h2, 0, ptr, 36, ptr)", "tessera: RUNNING, process 100, exit code 0"},
      {{L"holders", L"c:\\"}, 0, "QueryFullProcessImageNameW(h2, 0)", "100 8 C:\\svc.exe\n1 processes run programs of c:\\ ("},
      {{L"stop", L"tessera", L"--for-update", L"--record", record, L"--wait-for-folder"}, 87, "QueryServiceConfigW(h2, NULL, 0, ptr)", "servicectl stop tessera: error 87"},
      {{L"--json", L"query", L"tessera"}, 0, "QueryServiceStatusEx(h2, 0, ptr, 36, ptr)", "{\"command\":\"query\",\"service\":\"tessera\",\"result\":0,\"text\":\"The operation completed successfully.\",\"elapsedMs\":0,\"data\":{\"state\":\"RUNNING\",\"processId\":100,"},
      {{L"config", L"tessera"}, 0, "QueryServiceConfigW(h2, NULL, 0, ptr)", "tessera: type 16, start demand, error control normal"},
      {{L"install", L"new", L"C:\\New Svc\\svc.exe", L"--start", L"auto", L"--depends", L"a,b", L"--group", L"G"}, 0, "CreateServiceW(h1, L\"new\", L\"new\", 0xF01FF, 0x10, 2, 1, L\"\"C:\\New Svc\\svc.exe\"\", L\"G\", NULL, L\"a\", NULL, NULL)", "new installed to run \"C:\\New Svc\\svc.exe\""},
      {{L"install", L"new", L"C:\\svc.exe -x", L"--unquoted", L"--start", L"delayed-auto", L"--description", L"Keeps it"}, 0, "ChangeServiceConfig2W(h4, 3, ptr)", "new installed to run C:\\svc.exe -x"},
      {{L"reconfigure", L"tessera", L"--start", L"disabled"}, 0, "ChangeServiceConfigW(h2, 0xFFFFFFFF, 0x4, 0xFFFFFFFF, NULL, NULL, NULL, NULL, NULL, NULL, NULL)", "tessera reconfigured"},
      {{L"delete", L"tessera", L"--if-stopped"}, 1051, "QueryServiceStatus(h2, ptr)", "servicectl delete tessera: error 1051"},
      {{L"delete", L"tessera", L"--wait", L"--timeout", L"1000"}, 1072, "DeleteService(h2)", "servicectl delete tessera: error 1072"},
      {{L"set-recovery", L"tessera", L"--reset", L"60", L"--action", L"restart:1000", L"--action", L"none:0"}, 0, "ChangeServiceConfig2W(h2, 2, ptr)", "tessera: recovery set"},
      {{L"set-description", L"tessera", L"Keeps it"}, 0, "ChangeServiceConfig2W(h2, 1, ptr)", "tessera: description set"},
      {{L"set-start", L"tessera", L"demand"}, 0, "ChangeServiceConfigW(h2, 0xFFFFFFFF, 0x3, 0xFFFFFFFF, NULL, NULL, NULL, NULL, NULL, NULL, NULL)", "tessera: start type set to demand"},
      {{L"control", L"tessera", L"200"}, 0, "ControlService(h2, 200, ptr)", "tessera: control 200 sent"},
  };
  // clang-format on
  std::remove(kRecordFile);
  for (const Row &row : rows) {
    std::vector<const wchar_t *> argv = {L"servicectl"};
    argv.insert(argv.end(), row.arguments.begin(), row.arguments.end());
    const std::string what = std::to_string(argv.size()) + " arguments, " + row.said;
    SCOPED_TRACE(what);
    // What ran stays: the stop for an update runs before the restore.
    if (std::string(row.said).rfind("restored", 0) != 0) {
      standin::Reset();
      standin::AddService(RunningService());
    }
    standin::ClearCalls();
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int status = RunServicectl(static_cast<int>(argv.size()), argv.data());
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string error = testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, row.status);
    const std::string &said = row.status == 0 ? out : error;
    EXPECT_EQ(said.substr(0, std::string(row.said).size()), row.said);
    if (row.call == nullptr) {
      EXPECT_THAT(CallLines(),
                  testing::Not(testing::Contains(testing::StartsWith("OpenSCManager"))));
    } else {
      // Which handle a call gets is nothing that a caller sees.
      const std::regex handle("\\bh[0-9]+\\b");
      std::vector<std::string> calls = CallLines();
      for (std::string &call : calls) call = std::regex_replace(call, handle, "h");
      EXPECT_THAT(calls, testing::Contains(std::regex_replace(row.call, handle, "h")));
    }
  }
  std::remove(kRecordFile);
  // A console gets servicectl's own text through the console.
  standin::SetStandardOutputIsConsole(true);
  standin::ClearCalls();
  testing::internal::CaptureStdout();
  const wchar_t *version[] = {L"servicectl", L"--version"};
  EXPECT_EQ(RunServicectl(2, version), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "servicectl 1.0.0.5\n");
  EXPECT_EQ(CountCalls("WriteConsoleW"), 1);
}

}  // namespace
