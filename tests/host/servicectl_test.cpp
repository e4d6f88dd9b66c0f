// servicectl's arguments against the stand-in: each usage error exits with
// 160, says why on standard error and touches no service; each command makes
// the module's call that it names, with its arguments, and exits with its
// result.
#include <servicectl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <vector>

#include "standin_fixture.h"

namespace {

struct Row {
  std::vector<const wchar_t *> arguments;
  int status;
  const char *call;  // a call that the run makes; null for no manager opened
  const char *said;  // what standard output (or, failing with none, standard error) begins with
  std::function<void()> setup = nullptr;  // after the running service is added
  std::function<void()> check = nullptr;  // after the run
};

// A service whose start stays pending (its hint never runs out) until
// running_at, when it runs.
void AddStarting(DWORD running_at) {
  standin::Reset();
  standin::ServiceSetup setup = PendingService(INFINITE - 1);
  if (running_at != INFINITE) setup.start_script.push_back({running_at, SERVICE_RUNNING, 0, 0});
  standin::AddService(setup);
}

void AddHung() {
  standin::Reset();
  standin::ServiceSetup setup = RunningService();
  setup.stop_ms = INFINITE;
  standin::AddService(setup);
}

standin::ServiceSetup ConfigOf(const char *name) {
  standin::ServiceSetup config;
  EXPECT_TRUE(standin::ServiceConfig(name, &config));
  return config;
}

void FailWithAccessDenied(const char *call) { standin::FailCall(call, 1, ERROR_ACCESS_DENIED); }

// The running service with this start type and error control.
void AddConfigured(DWORD start_type, DWORD error_control) {
  standin::Reset();
  standin::ServiceSetup setup = RunningService();
  setup.start_type = start_type;
  setup.error_control = error_control;
  standin::AddService(setup);
}

const char kRecordFile[] = "servicectl.record";

// Runs in a folder of its own, which goes with what the runs left in it:
// suites that run at once never share a file.
class ServicectlTest : public StandinTest {
 protected:
  void SetUp() override {
    StandinTest::SetUp();
    char folder[] = "/tmp/tessera-servicectlXXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    ASSERT_EQ(chdir(folder), 0);
  }
  void TearDown() override {
    std::filesystem::remove_all(std::filesystem::current_path());
    EXPECT_EQ(chdir("/"), 0);
    StandinTest::TearDown();
  }
};

// Runs servicectl with the arguments; returns its exit status, and what it
// wrote to standard output and standard error.
int RunWith(const std::vector<const wchar_t *> &arguments, std::string *out, std::string *error) {
  std::vector<const wchar_t *> argv = {L"servicectl"};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  const int status = RunServicectl(static_cast<int>(argv.size()), argv.data());
  *out = testing::internal::GetCapturedStdout();
  *error = testing::internal::GetCapturedStderr();
  return status;
}

std::string FileText(const char *name) {
  std::ifstream in(name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST_F(ServicectlTest, ArgumentsCallsAndExitStatus) {
  const wchar_t *record = L"servicectl.record";
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
      {{L"stop", L"tessera", L"--for-update", L"--record", record, L"--timeout", L"100"}, 1053, "ControlService(h2, 1, ptr)", "servicectl stop tessera: error 1053", AddHung},
      {{L"stop", L"tessera", L"--for-update", L"--record", record}, 82, "MoveFileExW(L\"servicectl.record.new\", L\"servicectl.record\", 0x9)", "servicectl stop tessera: error 82",
       [] { standin::FailCall("MoveFileExW", 1, ERROR_ACCESS_DENIED); }, [] { EXPECT_NE(access("servicectl.record.new", F_OK), 0); }},
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
      {{L"set-recovery", L"tessera", L"--reset", L"60", L"--action", L"restart:1000", L"--action", L"none:0"}, 0, "ChangeServiceConfig2W(h2, 2, ptr)", "tessera: recovery set",
       nullptr, [] { const standin::ServiceSetup c = ConfigOf(kService); EXPECT_FALSE(c.on_non_crash_failures); EXPECT_EQ(c.failure_actions.size(), 2u); }},
      {{L"set-description", L"tessera", L"Keeps it"}, 0, "ChangeServiceConfig2W(h2, 1, ptr)", "tessera: description set"},
      {{L"set-start", L"tessera", L"demand"}, 0, "ChangeServiceConfigW(h2, 0xFFFFFFFF, 0x3, 0xFFFFFFFF, NULL, NULL, NULL, NULL, NULL, NULL, NULL)", "tessera: start type set to demand"},
      {{L"control", L"tessera", L"200"}, 0, "ControlService(h2, 200, ptr)", "tessera: control 200 sent"},
      {{L"control", L"tessera", L"128"}, 0, "ControlService(h2, 128, ptr)", "tessera: control 128 sent"},
      {{L"control", L"tessera", L"255"}, 0, "ControlService(h2, 255, ptr)", "tessera: control 255 sent"},
      {{L"--help"}, 0, nullptr, "usage: servicectl [--json] start NAME [--timeout VALUE]\nusage: servicectl [--json] stop NAME"},
      {{L"restore", L"--help"}, 0, nullptr, "usage: servicectl [--json] restore [--record VALUE] [--timeout VALUE]\n       every command also takes"},
      {{L"start", L"tessera", L"--timeout", L"4294967294"}, 1056, "StartServiceW(h2, 0, NULL)", "servicectl start tessera: error 1056"},
      {{L"start", L"tessera", L"--timeout", L"00000000001"}, 160, nullptr, "servicectl: bad value for --timeout: 00000000001"},
      {{L"install", L"new", L"C:\\svc.exe", L"--unquoted", L"--error", L"ignore", L"--depends", L",a,,b,"}, 0, "CreateServiceW(h1, L\"new\", L\"new\", 0xF01FF, 0x10, 3, 0, L\"C:\\svc.exe\", NULL, NULL, L\"a\", NULL, NULL)", "new installed",
       nullptr, [] { EXPECT_EQ(ConfigOf("new").dependencies, std::string("a\0b\0", 4)); }},
      {{L"reconfigure", L"tessera", L"--error", L"critical", L"--path", L"C:\\x y\\svc.exe"}, 0, "ChangeServiceConfigW(h2, 0xFFFFFFFF, 0xFFFFFFFF, 0x3, L\"\"C:\\x y\\svc.exe\"\", NULL, NULL, NULL, NULL, NULL, NULL)", "tessera reconfigured"},
      {{L"set-recovery", L"tessera", L"--reset", L"60", L"--action", L"run:0", L"--on-non-crash-failures"}, 0, "ChangeServiceConfig2W(h2, 2, ptr)", "tessera: recovery set",
       nullptr, [] { const standin::ServiceSetup c = ConfigOf(kService); EXPECT_TRUE(c.on_non_crash_failures); ASSERT_EQ(c.failure_actions.size(), 1u); EXPECT_EQ(c.failure_actions[0].Type, SC_ACTION_RUN_COMMAND); }},
      {{L"set-start", L"tessera", L"delayed-auto"}, 0, "ChangeServiceConfig2W(h2, 3, ptr)", "tessera: start type set to delayed-auto", nullptr, [] { EXPECT_TRUE(ConfigOf(kService).delayed_auto_start); }},
      {{L"delete", L"tessera"}, 0, "DeleteService(h2)", "tessera deleted ("},
      {{L"delete", L"absent", L"--wait"}, 1060, "OpenServiceW(h1, L\"absent\", 0xF01FF)", "servicectl delete absent: error 1060"},
      {{L"config", L"absent"}, 1060, "OpenServiceW(h1, L\"absent\", 0x1)", "servicectl config absent: error 1060"},
      {{L"config", L"tessera"}, 0, "QueryServiceConfigW(h2, NULL, 0, ptr)", "tessera: type 16, start 5, error control 4,", [] { AddConfigured(5, 4); }},
      {{L"restart", L"tessera", L"--with-dependents"}, 0, "StartServiceW(h5, 0, NULL)", "tessera restarted", [] {
         for (const char *name : {"a", "b"}) { standin::ServiceSetup s = RunningService(); s.name = name; s.dependencies = std::string("tessera\0", 8); standin::AddService(s); } },
       [] { EXPECT_EQ(standin::ServiceState("a"), SERVICE_RUNNING); EXPECT_EQ(standin::ServiceState("b"), SERVICE_RUNNING); }},
      // Milliseconds as people read them; the wait's deadline unless given.
      {{L"start", L"tessera", L"--timeout", L"infinite"}, 0, "StartServiceW(h2, 0, NULL)", "tessera is running (123,456 ms)\n", [] { AddStarting(123456); }},
      {{L"start", L"tessera", L"--timeout", L"infinite"}, 0, "StartServiceW(h2, 0, NULL)", "tessera is running (1,234,567 ms)\n", [] { AddStarting(1234567); standin::SetTickCountStart(5000); }},
      {{L"--json", L"start", L"tessera"}, 1053, "StartServiceW(h2, 0, NULL)", "{\"command\":\"start\",\"service\":\"tessera\",\"result\":1053,\"text\":\"The service did not respond to the start or control request in a timely fashion.\",\"elapsedMs\":30000,\"data\":{},\"accepted\":false}\n", [] { AddStarting(INFINITE); }},
      // Every key of the JSON objects.
      {{L"--json", L"query", L"tessera"}, 0, "QueryServiceStatusEx(h2, 0, ptr, 36, ptr)", "{\"command\":\"query\",\"service\":\"tessera\",\"result\":0,\"text\":\"The operation completed successfully.\",\"elapsedMs\":0,\"data\":{\"state\":\"RUNNING\",\"processId\":100,\"exitCode\":0,\"serviceExitCode\":0,\"checkPoint\":0,\"waitHint\":0},\"accepted\":false}\n"},
      {{L"--json", L"config", L"tessera"}, 0, "QueryServiceConfigW(h2, NULL, 0, ptr)", "{\"command\":\"config\",\"service\":\"tessera\",\"result\":0,\"text\":\"The operation completed successfully.\",\"elapsedMs\":0,\"data\":{\"serviceType\":16,\"startType\":\"demand\",\"errorControl\":\"normal\",\"tag\":0,\"path\":\"C:\\\\svc.exe\",\"group\":\"\",\"dependencies\":\"\",\"displayName\":\"\"},\"accepted\":false}\n"},
      {{L"--json", L"holders", L"c:\\"}, 0, "QueryFullProcessImageNameW(h2, 0)", "{\"command\":\"holders\",\"service\":\"c:\\\\\",\"result\":0,\"text\":\"The operation completed successfully.\",\"elapsedMs\":0,\"data\":{\"processes\":[{\"id\":100,\"parentId\":8,\"program\":\"C:\\\\svc.exe\"}]},\"accepted\":false}\n"},
      {{L"--json", L"stop", L"tessera", L"--for-update", L"--record", L"servicectl.json-record"}, 0, "ControlService(h2, 1, ptr)", "{\"command\":\"stop\",\"service\":\"tessera\",\"result\":0,\"text\":\"The operation completed successfully.\",\"elapsedMs\":0,\"data\":{\"record\":\"SCU2/1/1;R-3=tessera/20/2230C1E1\"},\"accepted\":false}\n"},
      // Help is the command or the first word after it, never a value; a value may begin with '-'.
      {{L"install", L"X", L"C:\\a.exe", L"--display", L"--help"}, 0, "CreateServiceW(h1, L\"X\", L\"--help\", 0xF01FF, 0x10, 3, 1, L\"\"C:\\a.exe\"\", NULL, NULL, NULL, NULL, NULL)", "X installed"},
      {{L"set-description", L"tessera", L"-h"}, 0, "ChangeServiceConfig2W(h2, 1, ptr)", "tessera: description set"},
      {{L"start", L"tessera", L"--help"}, 160, nullptr, "servicectl: unknown option --help"},
      {{L"--json", L"stop"}, 160, nullptr, "{\"command\":\"stop\",\"service\":\"\",\"result\":160,\"text\":\"One or more arguments are not correct.\",\"elapsedMs\":0,\"data\":{\"why\":\"missing NAME\",\"usage\":\"usage: servicectl [--json] stop NAME [--timeout VALUE]"},
      {{L"frob", L"tessera", L"--json"}, 160, nullptr, "{\"command\":\"\",\"service\":\"\",\"result\":160,"},
      {{L"--json", L"start", L"a\"b\\c\x1f"}, 123, "OpenServiceW(h1, L\"a\"b\\c\x1f\", 0x14)", "{\"command\":\"start\",\"service\":\"a\\\"b\\\\c\\u001f\",\"result\":123,"},
      // Codes that a step may accept exit 0, and say so.
      {{L"delete", L"absent", L"--ok", L"1060"}, 0, "OpenServiceW(h1, L\"absent\", 0xF01FF)", "servicectl delete absent: error 1060 accepted: The specified service does not exist as an installed service.\n"},
      {{L"--ok", L"1056,1060,5", L"--json", L"delete", L"absent"}, 0, "OpenServiceW(h1, L\"absent\", 0xF01FF)", "{\"command\":\"delete\",\"service\":\"absent\",\"result\":1060,\"text\":\"The specified service does not exist as an installed service.\",\"elapsedMs\":0,\"data\":{},\"accepted\":true}\n"},
      {{L"delete", L"absent", L"--ok", L"1056"}, 1060, "OpenServiceW(h1, L\"absent\", 0xF01FF)", "servicectl delete absent: error 1060: "},
      {{L"delete", L"absent", L"--ok", L"1060,"}, 160, nullptr, "servicectl: bad value for --ok: 1060,"},
      // What install and reconfigure set besides the configuration counts in their result.
      {{L"reconfigure", L"tessera", L"--description", L"Keeps it"}, 5, "ChangeServiceConfig2W(h2, 1, ptr)", "servicectl reconfigure tessera: error 5", [] { FailWithAccessDenied("ChangeServiceConfig2W"); }},
      {{L"install", L"new", L"C:\\svc.exe", L"--start", L"auto"}, 0, "ChangeServiceConfig2W(h4, 3, ptr)", "new installed", [] { standin::FailCall("ChangeServiceConfig2W", 1, ERROR_INVALID_LEVEL); }},
      {{L"set-start", L"tessera", L"delayed-auto"}, 124, "ChangeServiceConfig2W(h2, 3, ptr)", "servicectl set-start tessera: error 124", [] { standin::FailCall("ChangeServiceConfig2W", 1, ERROR_INVALID_LEVEL); }},
      {{L"reconfigure", L"tessera", L"--start", L"auto", L"--description", L"x"}, 5, "ChangeServiceConfig2W(h2, 3, ptr)", "servicectl reconfigure tessera: error 5", [] { FailWithAccessDenied("ChangeServiceConfig2W"); }},
      {{L"config", L"tessera"}, 0, "QueryServiceConfigW(h2, NULL, 0, ptr)", "tessera: type 16, start disabled, error control critical", [] { AddConfigured(SERVICE_DISABLED, SERVICE_ERROR_CRITICAL); }},
      // Every command's failure is its exit status.
      {{L"install", L"new", L"C:\\svc.exe"}, 5, "CreateServiceW(h1, L\"new\", L\"new\", 0xF01FF, 0x10, 3, 1, L\"\"C:\\svc.exe\"\", NULL, NULL, NULL, NULL, NULL)", "servicectl install new: error 5", [] { FailWithAccessDenied("CreateServiceW"); }},
      {{L"--json", L"install", L"new", L"C:\\svc.exe"}, 0, "CreateServiceW(h1, L\"new\", L\"new\", 0xF01FF, 0x10, 3, 1, L\"\"C:\\svc.exe\"\", NULL, NULL, NULL, NULL, NULL)", "{\"command\":\"install\",\"service\":\"new\",\"result\":0,\"text\":\"The operation completed successfully.\",\"elapsedMs\":0,\"data\":{\"path\":\"\\\"C:\\\\svc.exe\\\"\"},\"accepted\":false}\n"},
      {{L"restart", L"absent"}, 1060, "OpenServiceW(h1, L\"absent\", 0x24)", "servicectl restart absent: error 1060"},
      {{L"holders", L"c:\\"}, 5, "CreateToolhelp32Snapshot(0x2, 0)", "servicectl holders c:\\: error 5", [] { FailWithAccessDenied("CreateToolhelp32Snapshot"); }},
      {{L"set-recovery", L"absent", L"--reset", L"0"}, 1060, "OpenServiceW(h1, L\"absent\", 0x12)", "servicectl set-recovery absent: error 1060"},
      {{L"set-description", L"absent", L"x"}, 1060, "OpenServiceW(h1, L\"absent\", 0x2)", "servicectl set-description absent: error 1060"},
      {{L"set-start", L"absent", L"auto"}, 1060, "OpenServiceW(h1, L\"absent\", 0xF01FF)", "servicectl set-start absent: error 1060"},
      {{L"control", L"absent", L"200"}, 1060, "OpenServiceW(h1, L\"absent\", 0x104)", "servicectl control absent: error 1060"},
  };
  // clang-format on
  for (const Row &row : rows) {
    const std::string what = std::to_string(row.arguments.size()) + " arguments, " + row.said;
    SCOPED_TRACE(what);
    // What ran stays: the stop for an update runs before the restore.
    if (std::string(row.said).rfind("restored", 0) != 0) {
      standin::Reset();
      standin::AddService(RunningService());
    }
    if (row.setup) row.setup();
    standin::ClearCalls();
    std::string out, error;
    EXPECT_EQ(RunWith(row.arguments, &out, &error), row.status);
    EXPECT_EQ(standin::OpenHandleCount(), 0);
    if (row.check) row.check();
    const std::string &said = row.status == 0 || !out.empty() ? out : error;
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
  // The record file holds a line, kept whole: a stop refused before it recorded left it.
  EXPECT_THAT(FileText(kRecordFile), testing::MatchesRegex("SCU2/3/1;R-3[^\r\n]*\r\n"));
  // A console gets servicectl's own text through the console.
  standin::SetStandardOutputIsConsole(true);
  standin::ClearCalls();
  testing::internal::CaptureStdout();
  const wchar_t *version[] = {L"servicectl", L"--version"};
  EXPECT_EQ(RunServicectl(2, version), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "servicectl 1.0.0.5\n");
  EXPECT_EQ(CountCalls("WriteConsoleW"), 1);
}

TEST_F(ServicectlTest, StandardInputTheLogAndOneEncodingAStream) {
  const char input_file[] = "servicectl.input", log_file[] = "servicectl.log";
  std::string out, error;
  // Exactly one line of standard input: none at all, or the option twice, is a usage error.
  struct Input {
    const char *text;
    bool twice;
    int status;
    const char *password;  // as the call shows it
  };
  for (const Input &input :
       {Input{"", false, 160, nullptr}, Input{"pw\r\nnext\n", true, 160, nullptr},
        Input{"\n", false, 0, "NULL"}, Input{"pw\r\nnext\n", false, 0, "L\"pw\""},
        Input{"pw", false, 0, "L\"pw\""}}) {
    SCOPED_TRACE(input.text);
    std::ofstream(input_file, std::ios::binary) << input.text;
    ASSERT_NE(std::freopen(input_file, "rb", stdin), nullptr);
    standin::Reset();
    standin::AddService(RunningService());
    std::vector<const wchar_t *> arguments = {L"reconfigure", L"tessera", L"--account", L".\\u",
                                              L"--password-stdin"};
    if (input.twice) arguments.push_back(L"--password-stdin");
    EXPECT_EQ(RunWith(arguments, &out, &error), input.status);
    if (input.password == nullptr) {
      EXPECT_EQ(error.substr(0, 67),
                "servicectl: --password-stdin takes one line of standard input, once");
      EXPECT_EQ(CountCalls("OpenSCManagerW"), 0);
    } else {
      EXPECT_THAT(CallLines(), testing::Contains(testing::HasSubstr(std::string("L\".\\u\", ") +
                                                                    input.password + ", NULL)")));
    }
  }
  std::freopen("/dev/null", "rb", stdin);
  // The system's text reaches a pipe as UTF-8, as servicectl's own does.
  standin::SetMessageText(ERROR_SERVICE_DOES_NOT_EXIST,
                          "Le service sp\xE9"
                          "cifi\xE9 n'existe pas.\r\n");
  EXPECT_EQ(RunWith({L"start", L"fr\u00E9", L"--log", L"/no/such/folder/log"}, &out, &error), 1060);
  EXPECT_EQ(error,
            "servicectl start fr\xC3\xA9: error 1060: Le service sp\xC3\xA9"
            "cifi\xC3\xA9 n'existe pas.\n"
            "servicectl: cannot write the log /no/such/folder/log: error 3: \n");
  // One line a run, whatever it came to.
  standin::Reset();
  standin::AddService(RunningService());
  Sleep(4202525631u);  // to 2015-01-02T03:04:05.006Z
  const std::vector<std::vector<const wchar_t *>> runs = {
      {L"--log", L"servicectl.log", L"query", L"tessera"},
      {L"stop", L"--log", L"servicectl.log"},
      {L"delete", L"\"\u20AC b\\", L"--ok", L"1060,123", L"--log", L"servicectl.log"}};
  for (const auto &run : runs) RunWith(run, &out, &error);
  const std::string logged = FileText(log_file);
  EXPECT_EQ(logged.substr(0, 25), "2015-01-02T03:04:05.006Z ");
  const std::regex line(
      "\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z servicectl ([^\r\n]+) \\(\\d+ "
      "ms\\)\r\n");
  std::vector<std::string> said;
  for (std::sregex_iterator at(logged.begin(), logged.end(), line), end; at != end; ++at)
    said.push_back((*at)[1]);
  EXPECT_THAT(said,
              testing::ElementsAre(
                  "--log servicectl.log query tessera => 0: The operation "
                  "completed successfully.",
                  "stop --log servicectl.log => 160: One or more arguments are "
                  "not correct. (missing NAME)",
                  "delete \"\\\"\xE2\x82\xAC b\\\\\" --ok 1060,123 --log "
                  "servicectl.log => 123 "
                  "accepted: The filename, directory name, or volume label syntax is incorrect."));
}

TEST(ProgressLine, ShownAfterASecondRewrittenInPlaceAndCleared) {
  EXPECT_EQ(ProgressLine(L"tessera", SERVICE_START_PENDING, 3, 999, 30000), L"");
  EXPECT_EQ(ProgressLine(L"tessera", SERVICE_START_PENDING, 3, 1000, 30000),
            L"\rtessera: starting, check point 3, 1 s waited, deadline 30 s  ");
  EXPECT_EQ(ProgressLine(L"tessera", SERVICE_STOP_PENDING, 0, 61999, INFINITE),
            L"\rtessera: stopping, check point 0, 61 s waited, no deadline  ");
  EXPECT_EQ(ProgressLine(L"tessera", SERVICE_PAUSED, 0, 1000, 3600000),
            L"\rtessera: paused, check point 0, 1 s waited, deadline 3600 s  ");
  EXPECT_EQ(ProgressLine(L"tessera", 8, 0, 1000, 3600000),
            L"\rtessera: ?, check point 0, 1 s waited, deadline 3600 s  ");
  EXPECT_EQ(ProgressEnd(false), L"");
  EXPECT_EQ(ProgressEnd(true), L"\r" + std::wstring(79, L' ') + L"\r");
}

}  // namespace
