// Registration and configuration against the stand-in: quoting, optional
// strings, conditional deletion, the start type, and the configuration read
// with its bounds, dependency forms and stage results, each for the ANSI and
// the wide form of the module.
#include <service_control.h>

#include <cstddef>
#include <cstring>
#include <functional>
#include <tuple>

#include "ops/config_reading.h"
#include "module_forms.h"
#include "standin_fixture.h"

// The allocation-failure test asks for more than the sanitizer's heap allows.
extern "C" const char *__asan_default_options() {
  return "allocator_may_return_null=1:max_allocation_size_mb=1024";
}

namespace {

class RegistrationTest : public StandinTest,
                         public testing::WithParamInterface<const ModuleForm *> {
 protected:
  const ModuleForm &form() const { return *GetParam(); }
  // A text argument as the call log shows it in this form.
  std::string Text(const std::string &text) const {
    return (GetParam() == &kWideForm ? "L\"" : "\"") + text + "\"";
  }
  // The size of one character of the platform's configuration record.
  DWORD CharSize() const { return GetParam() == &kWideForm ? sizeof(WCHAR) : 1; }
  DWORD InstallQuoted(char *path, DWORD *error, const char *optional = "",
                      const char *name = kService) const;
  // The CreateService call that InstallQuoted makes for this path.
  std::string CreateCallFor(const std::string &path) const {
    return form().Platform("CreateService") + "(h1, " + Text("tessera") + ", " + Text("Tessera") +
           ", 0xF01FF, 0x10, 3, 1, " + Text(path) + ", NULL, NULL, NULL, NULL, NULL)";
  }
};

DWORD RegistrationTest::InstallQuoted(char *path, DWORD *error, const char *optional,
                                      const char *name) const {
  return form().install_quoted(path, name, "Tessera", SERVICE_WIN32_OWN_PROCESS,
                               SERVICE_DEMAND_START, optional, SERVICE_ERROR_NORMAL, optional,
                               optional, optional, error);
}

TEST_P(RegistrationTest, QuotedInstallQuotesOnlyTheEndsThatLackAQuote) {
  struct Case {
    const char *what;
    std::string path;
    std::string quoted;  // empty: refused with refusal, before anything is opened
    DWORD refusal;
  };
  const std::string x257(257, 'x');
  const DWORD kTooLong = ERROR_FILENAME_EXCED_RANGE;
  // clang-format off
  const Case cases[] = {
      {"no quotes", "C:\\Tessera Test\\svc.exe", "\"C:\\Tessera Test\\svc.exe\"", 0},
      {"both ends", "\"C:\\svc.exe\"", "\"C:\\svc.exe\"", 0},
      {"front only, with arguments", "\"C:\\svc.exe\" -x", "\"C:\\svc.exe\" -x\"", 0},
      {"back only", "C:\\svc.exe\"", "\"C:\\svc.exe\"", 0},
      {"a single quote character", "\"", "\"", 0},
      {"a quote inside, which would end the added one early", "C:\\Tessera\" Test\\svc.exe", "", ERROR_INVALID_NAME},
      {"a quote inside and arguments", "C:\\Tessera\" Test\\svc.exe\" x", "", ERROR_INVALID_NAME},
      {"a quote inside and at the end", "C:\\a\"b\"", "", ERROR_INVALID_NAME},
      {"a quote second", "C\":\\svc.exe", "", ERROR_INVALID_NAME},
      {"a quote last but one", "C:\\svc.ex\"e", "", ERROR_INVALID_NAME},
      {"front only, an argument that ends in a backslash", "\"C:\\svc.exe\" C:\\data\\", "", ERROR_INVALID_NAME},
      {"front only, a lone backslash", "\"\\", "", ERROR_INVALID_NAME},
      {"back only, ending in a backslash and a quote", "C:\\data\\\"", "\"C:\\data\\\"", 0},
      {"257 characters become 259, which the read holds", x257, "\"" + x257 + "\"", 0},
      {"258 with a front quote become 259", "\"" + x257, "\"" + x257 + "\"", 0},
      {"258 without quotes would be 260", x257 + "x", "", kTooLong},
      {"259 with a front quote would be 260", "\"" + x257 + "x", "", kTooLong},
      {"quoted at both ends, 259", "\"" + x257 + "\"", "\"" + x257 + "\"", 0},
      {"quoted at both ends, 260", "\"" + x257 + "x\"", "", kTooLong},
  };
  // clang-format on
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    standin::Reset();
    // What the caller's buffer holds behind the path is not zeros.
    std::vector<char> buffer(c.path.begin(), c.path.end());
    buffer.push_back('\0');
    buffer.resize(c.path.size() + 3, '#');
    DWORD error = kSentinel;
    const DWORD result = InstallQuoted(buffer.data(), &error);
    if (c.quoted.empty()) {
      EXPECT_EQ(result, SERVICE_STAGE_CREATE_SERVICE);
      EXPECT_EQ(error, c.refusal);
      EXPECT_EQ(std::string(buffer.data()), c.path);
      EXPECT_TRUE(standin::Calls().empty());
      continue;
    }
    EXPECT_EQ(result, 0u);
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(std::string(buffer.data()), c.quoted);
    EXPECT_THAT(CallLines(), testing::Contains(CreateCallFor(c.quoted)));
  }
}

TEST_P(RegistrationTest, QuotingTwiceQuotesOnce) {
  char path[64] = "C:\\Tessera Test\\svc.exe";
  DWORD error;
  ASSERT_EQ(InstallQuoted(path, &error), 0u);
  ASSERT_EQ(form().delete_by_name(kService), 0u);
  ASSERT_EQ(InstallQuoted(path, &error), 0u);
  EXPECT_STREQ(path, "\"C:\\Tessera Test\\svc.exe\"");
}

TEST_P(RegistrationTest, EmptyOrNullOptionalStringsReachThePlatformAsNull) {
  char empty_path[4] = "";
  DWORD error;
  for (const char *optional : {"", static_cast<const char *>(nullptr)}) {
    standin::Reset();
    EXPECT_EQ(InstallQuoted(empty_path, &error, optional), SERVICE_STAGE_CREATE_SERVICE);
    EXPECT_EQ(error, ERROR_INVALID_PARAMETER);  // the empty path itself is the platform's refusal
    EXPECT_THAT(CallLines(), testing::Contains(CreateCallFor("")));
  }
  standin::Reset();
  EXPECT_EQ(form().install_unquoted("C:\\svc.exe", kService, "", SERVICE_WIN32_OWN_PROCESS,
                                    SERVICE_AUTO_START, "A\0B\0", SERVICE_ERROR_NORMAL, "Group",
                                    "user", "secret", &error),
            0u);
  EXPECT_THAT(CallLines(),
              testing::Contains(form().Platform("CreateService") + "(h1, " + Text("tessera") +
                                ", " + Text("") + ", 0xF01FF, 0x10, 2, 1, " + Text("C:\\svc.exe") +
                                ", " + Text("Group") + ", NULL, " + Text("A") + ", " +
                                Text("user") + ", " + Text("secret") + ")"));
}

TEST_P(RegistrationTest, InstallStagesAndTheBufferAfterAFailure) {
  struct Case {
    const char *failing;
    DWORD stage;
    const char *path_after;
  };
  const Case cases[] = {{"OpenSCManager", SERVICE_STAGE_OPEN_MANAGER, "C:\\svc.exe"},
                        {"CreateService", SERVICE_STAGE_CREATE_SERVICE, "\"C:\\svc.exe\""}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.failing);
    standin::Reset();
    standin::FailCall(form().Platform(c.failing).c_str(), 1, 0x1234);
    char path[16] = "C:\\svc.exe";
    DWORD error = kSentinel;
    EXPECT_EQ(InstallQuoted(path, &error), c.stage);
    EXPECT_EQ(error, 0x1234u);
    EXPECT_EQ(GetLastError(), 0x1234u);
    EXPECT_STREQ(path, c.path_after);
  }
  standin::Reset();
  standin::AddService(RunningService());
  char path[16] = "C:\\svc.exe";
  DWORD error;
  EXPECT_EQ(InstallQuoted(path, &error), SERVICE_STAGE_CREATE_SERVICE);
  EXPECT_EQ(error, ERROR_SERVICE_EXISTS);
}

TEST_P(RegistrationTest, DeletionAsksTheStateOnlyForFlagOne) {
  struct Deletion {
    const char *what;
    std::function<DWORD(const ModuleForm &)> call;
    bool asks;
  };
  const Deletion deletions[] = {
      {"flag 1", [](const ModuleForm &f) { return f.delete_if_stopped(kService, 1); }, true},
      {"flag 0", [](const ModuleForm &f) { return f.delete_if_stopped(kService, 0); }, false},
      {"flag 2", [](const ModuleForm &f) { return f.delete_if_stopped(kService, 2); }, false},
      {"by name", [](const ModuleForm &f) { return f.delete_by_name(kService); }, false},
  };
  for (const Deletion &deletion : deletions) {
    for (DWORD state : {SERVICE_RUNNING, SERVICE_START_PENDING, SERVICE_STOPPED}) {
      SCOPED_TRACE(testing::Message() << deletion.what << ", state " << state);
      standin::Reset();
      standin::ServiceSetup setup = PendingService(0);
      setup.start_script[0].state = state == SERVICE_STOPPED ? SERVICE_RUNNING : state;
      setup.started = state != SERVICE_STOPPED;
      standin::AddService(setup);
      const bool refused = deletion.asks && state != SERVICE_STOPPED;
      EXPECT_EQ(deletion.call(form()), refused ? ERROR_DEPENDENT_SERVICES_RUNNING : 0u);
      // One deleted while it runs stays registered until it stops.
      EXPECT_EQ(standin::ServiceState(kService) != 0, state != SERVICE_STOPPED);
      EXPECT_EQ(CountCalls("QueryServiceStatus"), deletion.asks ? 1 : 0);
    }
  }
}

TEST_P(RegistrationTest, DeletingTwice) {
  standin::AddService(PendingService(0));
  EXPECT_EQ(form().delete_by_name(kService), 0u);
  EXPECT_EQ(form().delete_by_name(kService), ERROR_SERVICE_DOES_NOT_EXIST);
  // While another handle is open, the service stays, marked for deletion.
  standin::AddService(PendingService(0));
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE held = OpenServiceA(manager, kService, SERVICE_QUERY_STATUS);
  EXPECT_EQ(form().delete_by_name(kService), 0u);
  EXPECT_EQ(form().delete_by_name(kService), ERROR_SERVICE_MARKED_FOR_DELETE);
  EXPECT_EQ(GetLastError(), ERROR_SERVICE_MARKED_FOR_DELETE);
  CloseServiceHandle(held);
  CloseServiceHandle(manager);
  EXPECT_EQ(standin::ServiceState(kService), 0u);
}

TEST_P(RegistrationTest, StartTypeChangesNothingElse) {
  standin::ServiceSetup setup = PendingService(0);
  setup.binary_path = "C:\\svc.exe -x";
  setup.load_order_group = "Group";
  setup.dependencies = std::string("A\0B\0", 4);
  setup.account = "user";
  setup.password = "secret";
  setup.display_name = "Tessera";
  setup.error_control = 0;
  standin::AddService(setup);
  EXPECT_EQ(form().set_start_type(kService, SERVICE_DISABLED), 0u);
  standin::ServiceSetup after;
  ASSERT_TRUE(standin::ServiceConfig(kService, &after));
  EXPECT_EQ(after.start_type, SERVICE_DISABLED);
  after.start_type = setup.start_type;
  EXPECT_EQ(std::make_tuple(after.service_type, after.error_control, after.binary_path,
                            after.load_order_group, after.dependencies, after.account,
                            after.password, after.display_name),
            std::make_tuple(setup.service_type, setup.error_control, setup.binary_path,
                            setup.load_order_group, setup.dependencies, setup.account,
                            setup.password, setup.display_name));
  DWORD flag = 0;
  EXPECT_EQ(form().start_and_wait(kService, &flag), ERROR_SERVICE_DISABLED);
}

struct ConfigOut {
  DWORD type = kSentinel, start = kSentinel, error_control = kSentinel, tag = kSentinel;
  char path[270], group[110], dependencies[110], display[110];
  DWORD error = kSentinel;
  ConfigOut() {
    std::memset(path, 0xAA, sizeof path);
    std::memset(group, 0xAA, sizeof group);
    std::memset(dependencies, 0xAA, sizeof dependencies);
    std::memset(display, 0xAA, sizeof display);
  }
  DWORD Read(const ModuleForm &form, const char *name = kService) {
    return form.read_config(name, &type, &start, &error_control, &tag, path, group, dependencies,
                            display, &error);
  }
  // Everything but the error out-parameter is as it was made.
  bool Untouched() const {
    const ConfigOut fresh;
    return std::memcmp(this, &fresh, offsetof(ConfigOut, error)) == 0;
  }
};

TEST_P(RegistrationTest, ReadCutsStringsAndLeavesTheAccountOut) {
  standin::ServiceSetup setup = PendingService(0);
  setup.binary_path = std::string(300, 'p');
  setup.load_order_group = std::string(150, 'g');
  setup.display_name = std::string(99, 'd');
  setup.tag = 7;
  standin::AddService(setup);
  ConfigOut out;
  EXPECT_EQ(out.Read(form()), 0u);
  EXPECT_EQ(out.error, 0u);  // even though the size query reported 122
  EXPECT_EQ(
      std::make_tuple(out.type, out.start, out.error_control, out.tag),
      std::make_tuple(SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, 7u));
  EXPECT_EQ(std::string(out.path), std::string(259, 'p'));
  EXPECT_EQ(std::string(out.group), std::string(99, 'g'));
  EXPECT_EQ(std::string(out.display), std::string(99, 'd'));
  EXPECT_EQ(static_cast<unsigned char>(out.path[260]), 0xAAu);
  EXPECT_THAT(CallLines(),
              testing::Contains(form().Platform("QueryServiceConfig") + "(h2, NULL, 0, ptr)"));
}

TEST_P(RegistrationTest, DependencyListForms) {
  struct Case {
    const char *what;
    bool null_pointer;
    std::string names;
    std::string copied;  // then the next byte of the buffer is untouched
    std::string account;
    std::string display;
    DWORD grows;  // after the size query, by at most the spare bytes
  };
  std::string long_list;
  for (int i = 0; i < 60; ++i) long_list += std::string("ab\0", 3);
  // The spare room behind the record, in characters.
  const DWORD spare = service_control::kSpareRecordBytes / CharSize();
  const Case cases[] = {
      {"null pointer", true, "", std::string("\0\1", 2), "LocalSystem", "", 0},
      {"none: two zeros, not the account name behind them", false, "", std::string(2, '\0'),
       "LocalSystem", "", 0},
      {"two names, closed", false, std::string("A\0B\0", 4), std::string("A\0B\0\0", 5),
       "LocalSystem", "", 0},
      {"whole names within 100 bytes, closed", false, long_list, long_list.substr(0, 99) + '\0',
       "LocalSystem", "", 0},
      {"a name that would end at the closing zero's place is left out", false,
       std::string(97, 'n') + '\0' + "B" + '\0', std::string(97, 'n') + std::string(2, '\0'),
       "LocalSystem", "", 0},
      {"one name of 120: none fits", false, std::string(120, 'n') + '\0', std::string(2, '\0'),
       "LocalSystem", "", 0},
      // Found by fuzzing: a list without a closing pair ran on into the spare
      // bytes behind the record and carried old heap contents out.
      {"no closing pair before the record ends: nothing behind it", false, "A",
       std::string("A\0B\0C\0\0", 7), "B", "C", 0},
      // Grown by the spare bytes, the record fills the buffer: its end stops the scan.
      {"no closing pair, up to the buffer's last byte", false, "A",
       std::string("A\0B\0C", 5) + std::string(spare, '+') + std::string(2, '\0'), "B", "C", spare},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    standin::Reset();
    standin::ServiceSetup setup = PendingService(0);
    setup.dependencies = c.names;
    setup.account = c.account;
    setup.display_name = c.display;
    standin::AddService(setup);
    const std::string query = form().Platform("QueryServiceConfig");
    if (c.null_pointer) standin::HandBackNullDependencies(query.c_str());
    standin::GrowAfterSizeQuery(query.c_str(), c.grows);
    ConfigOut out;
    ASSERT_EQ(out.Read(form()), 0u);
    EXPECT_EQ(std::string(out.dependencies, c.copied.size()), c.copied);
    EXPECT_EQ(static_cast<unsigned char>(out.dependencies[c.copied.size()]), 0xAAu);
  }
}

TEST_P(RegistrationTest, ReadStagesLeaveTheOutputsUntouched) {
  struct Case {
    const char *what;
    const char *failing;
    unsigned nth;
    DWORD grows;
    DWORD reported_size;
    DWORD stage;
    DWORD error;
  };
  const Case cases[] = {
      {"manager", "OpenSCManager", 1, 0, 0, SERVICE_STAGE_OPEN_MANAGER, 0x1234},
      {"service", "OpenService", 1, 0, 0, SERVICE_STAGE_OPEN_SERVICE, 0x1234},
      {"size query", "QueryServiceConfig", 1, 0, 0, SERVICE_STAGE_READ_CONFIG, 0x1234},
      {"second query", "QueryServiceConfig", 2, 0, 0, SERVICE_STAGE_READ_CONFIG, 0x1234},
      {"grows by more than 4 bytes", nullptr, 0, 5, 0, SERVICE_STAGE_READ_CONFIG,
       ERROR_INSUFFICIENT_BUFFER},
      {"allocation fails", nullptr, 0, 0, 0x7FFFFFF0, SERVICE_STAGE_ALLOCATE,
       ERROR_NOT_ENOUGH_MEMORY},
      {"size plus spare would overflow", nullptr, 0, 0, 0xFFFFFFFE, SERVICE_STAGE_ALLOCATE,
       ERROR_NOT_ENOUGH_MEMORY},
      {"overflow by 1", nullptr, 0, 0, 0xFFFFFFFC, SERVICE_STAGE_ALLOCATE, ERROR_NOT_ENOUGH_MEMORY},
      {"overflow by 2", nullptr, 0, 0, 0xFFFFFFFD, SERVICE_STAGE_ALLOCATE, ERROR_NOT_ENOUGH_MEMORY},
      {"overflow by 4", nullptr, 0, 0, 0xFFFFFFFF, SERVICE_STAGE_ALLOCATE, ERROR_NOT_ENOUGH_MEMORY},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    standin::Reset();
    standin::AddService(PendingService(0));
    const std::string query = form().Platform("QueryServiceConfig");
    standin::GrowAfterSizeQuery(query.c_str(), c.grows);
    standin::ReportNeededSize(query.c_str(), c.reported_size);
    if (c.failing != nullptr) standin::FailCall(form().Platform(c.failing).c_str(), c.nth, 0x1234);
    SetLastError(kSentinel);
    ConfigOut out;
    EXPECT_EQ(out.Read(form()), c.stage);
    EXPECT_EQ(out.error, c.error);
    EXPECT_EQ(GetLastError(), c.error);
    EXPECT_TRUE(out.Untouched());
    EXPECT_EQ(standin::OpenHandleCount(), 0);
  }
  standin::Reset();
  standin::AddService(PendingService(0));
  standin::GrowAfterSizeQuery(form().Platform("QueryServiceConfig").c_str(),
                              service_control::kSpareRecordBytes / CharSize());
  ConfigOut out;
  EXPECT_EQ(out.Read(form()), 0u);
}

TEST_P(RegistrationTest, NullRequiredArgumentsAreRefused) {
  DWORD error = kSentinel;
  const ModuleForm &f = form();
  EXPECT_EQ(f.install_unquoted(nullptr, kService, "", 0x10, 3, "", 1, "", "", "", &error),
            SERVICE_STAGE_OPEN_MANAGER);
  EXPECT_EQ(error, ERROR_INVALID_PARAMETER);
  ConfigOut out;
  EXPECT_EQ(out.Read(form(), nullptr), SERVICE_STAGE_OPEN_MANAGER);
  EXPECT_EQ(out.error, ERROR_INVALID_PARAMETER);
  // Without an error out-parameter, the code is left as the last error alone.
  const std::function<DWORD()> without_error_out[] = {
      [&f] { return f.install_quoted(nullptr, kService, "", 0x10, 3, "", 1, "", "", "", nullptr); },
      [&f] {
        return f.install_unquoted("C:\\svc.exe", kService, "", 0x10, 3, "", 1, "", "", "", nullptr);
      },
      [&f] {
        char path[4] = "";
        return f.reconfigure_quoted(path, kService, "", 0x10, 3, "", 1, "", "", "", nullptr);
      },
      [&f, &out] {
        return f.read_config(kService, &out.type, &out.start, &out.error_control, &out.tag,
                             out.path, out.group, out.dependencies, out.display, nullptr);
      }};
  for (const std::function<DWORD()> &call : without_error_out) {
    SetLastError(kSentinel);
    EXPECT_EQ(call(), SERVICE_STAGE_OPEN_MANAGER);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  }
  EXPECT_TRUE(out.Untouched());
  EXPECT_EQ(f.delete_by_name(nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(f.set_start_type(nullptr, SERVICE_DISABLED), ERROR_INVALID_PARAMETER);
  EXPECT_TRUE(standin::Calls().empty());
}

TEST_P(RegistrationTest, OverlongNamesAreRefusedBeforeAnyCall) {
  // The bad-input table holds each operation's answer; here, that nothing was asked.
  const std::string name(257, 't');
  SERVICE_STATUS status;
  char path[16] = "C:\\svc.exe";
  DWORD error;
  ConfigOut out;
  EXPECT_EQ(form().query_state(name.c_str(), &status), ERROR_INVALID_NAME);
  EXPECT_EQ(InstallQuoted(path, &error, "", name.c_str()), SERVICE_STAGE_CREATE_SERVICE);
  EXPECT_EQ(out.Read(form(), name.c_str()), SERVICE_STAGE_OPEN_SERVICE);
  EXPECT_STREQ(path, "C:\\svc.exe");
  EXPECT_TRUE(standin::Calls().empty());
}

TEST_P(RegistrationTest, ReconfigureChangesOnlyWhatIsGiven) {
  struct Case {
    const char *what;
    std::string path;  // in a buffer of its length plus 3
    const char *display;
    DWORD start_type;
    const char *group;
    DWORD stage;
    DWORD error;
    std::string path_after;  // the caller's buffer and the manager's path
    std::string display_after;
    DWORD start_type_after;
  };
  const std::string x259(259, 'x');
  // clang-format off
  const Case cases[] = {
      {"nothing given",               "",                 "",      SERVICE_NO_CHANGE, "",  0, 0, "", "Tessera", SERVICE_DEMAND_START},
      {"a new path, quoted",          "C:\\New Dir\\svc.exe", nullptr, SERVICE_NO_CHANGE, nullptr, 0, 0, "\"C:\\New Dir\\svc.exe\"", "Tessera", SERVICE_DEMAND_START},
      {"display name and start type", "",                 "Tessera 2", SERVICE_AUTO_START, "G", 0, 0, "", "Tessera 2", SERVICE_AUTO_START},
      {"a path that quoted would not fit", x259,          "Tessera 2", SERVICE_AUTO_START, "", SERVICE_STAGE_CREATE_SERVICE, ERROR_FILENAME_EXCED_RANGE, x259, "Tessera", SERVICE_DEMAND_START},
      {"a start type the manager refuses", "",            "Tessera 2", 0,                 "", SERVICE_STAGE_CHANGE_CONFIG, ERROR_INVALID_PARAMETER, "", "Tessera", SERVICE_DEMAND_START},
  };
  // clang-format on
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    standin::Reset();
    standin::ServiceSetup setup = PendingService(0);
    setup.binary_path = "C:\\svc.exe";
    setup.display_name = "Tessera";
    standin::AddService(setup);
    std::vector<char> buffer(c.path.begin(), c.path.end());
    buffer.resize(c.path.size() + 3, '\0');
    DWORD error = kSentinel;
    SetLastError(kSentinel);
    EXPECT_EQ(
        form().reconfigure_quoted(buffer.data(), kService, c.display, SERVICE_NO_CHANGE,
                                  c.start_type, "", SERVICE_NO_CHANGE, c.group, "", "", &error),
        c.stage);
    EXPECT_EQ(error, c.error);
    if (c.error != 0) {
      EXPECT_EQ(GetLastError(), c.error);
    }
    EXPECT_EQ(std::string(buffer.data()), c.path_after.empty() ? c.path : c.path_after);
    standin::ServiceSetup after;
    ASSERT_TRUE(standin::ServiceConfig(kService, &after));
    EXPECT_EQ(after.binary_path,
              c.path_after.empty() || c.stage != 0 ? "C:\\svc.exe" : c.path_after);
    EXPECT_EQ(after.display_name, c.display_after);
    EXPECT_EQ(after.start_type, c.start_type_after);
    EXPECT_EQ(
        std::make_tuple(after.service_type, after.error_control, after.dependencies, after.account),
        std::make_tuple(setup.service_type, setup.error_control, setup.dependencies,
                        setup.account));
    EXPECT_EQ(standin::OpenHandleCount(), 0);
  }
  // Empty strings reach the platform as null, which leaves their values.
  standin::Reset();
  standin::AddService(PendingService(0));
  char empty[4] = "";
  DWORD error;
  EXPECT_EQ(form().reconfigure_quoted(empty, kService, "", SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, "",
                                      SERVICE_NO_CHANGE, "", "", "", &error),
            0u);
  EXPECT_THAT(
      CallLines(),
      testing::ElementsAre(form().Platform("OpenSCManager") + "(NULL, NULL, 0x1)",
                           form().Platform("OpenService") + "(h1, " + Text("tessera") + ", 0x2)",
                           form().Platform("ChangeServiceConfig") +
                               "(h2, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, NULL, NULL, NULL, "
                               "NULL, NULL, NULL, NULL)",
                           "CloseServiceHandle(h2)", "CloseServiceHandle(h1)"));
  // Every value given reaches the manager (the bad-input table holds the refusals).
  char path[32] = "C:\\svc2.exe";
  EXPECT_EQ(form().reconfigure_quoted(path, kService, "Tessera 2", 0x20, SERVICE_DISABLED, "A\0B\0",
                                      0, "Group", "user", "secret", &error),
            0u);
  standin::ServiceSetup after;
  ASSERT_TRUE(standin::ServiceConfig(kService, &after));
  EXPECT_EQ(std::make_tuple(after.binary_path, after.display_name, after.service_type,
                            after.start_type, after.dependencies, after.error_control,
                            after.load_order_group, after.account, after.password),
            std::make_tuple(std::string("\"C:\\svc2.exe\""), std::string("Tessera 2"), 0x20u,
                            static_cast<DWORD>(SERVICE_DISABLED), std::string("A\0B\0", 4), 0u,
                            std::string("Group"), std::string("user"), std::string("secret")));
}

TEST_P(RegistrationTest, OptionalSettingsReachTheManager) {
  standin::AddService(PendingService(0));
  standin::ServiceSetup after;
  EXPECT_EQ(form().set_description(kService, "Keeps Tessera running"), 0u);
  ASSERT_TRUE(standin::ServiceConfig(kService, &after));
  EXPECT_EQ(after.description, L"Keeps Tessera running");
  EXPECT_EQ(form().set_description(kService, ""), 0u);  // clears it
  ASSERT_TRUE(standin::ServiceConfig(kService, &after));
  EXPECT_EQ(after.description, L"");

  const SC_ACTION actions[3] = {
      {SC_ACTION_RESTART, 1000}, {SC_ACTION_RESTART, 5000}, {SC_ACTION_NONE, 0}};
  EXPECT_EQ(form().set_failure_actions(kService, 86400, actions, 3, 1), 0u);
  ASSERT_TRUE(standin::ServiceConfig(kService, &after));
  ASSERT_EQ(after.failure_actions.size(), 3u);
  EXPECT_EQ(after.failure_actions[1].Type, SC_ACTION_RESTART);
  EXPECT_EQ(after.failure_actions[1].Delay, 5000u);
  EXPECT_EQ(after.reset_period, 86400u);
  EXPECT_TRUE(after.on_non_crash_failures);
  // The handle may restart the service; a restart takes that right.
  EXPECT_THAT(CallLines(),
              testing::Contains(testing::AllOf(testing::StartsWith(form().Platform("OpenService")),
                                               testing::EndsWith(", 0x12)"))));
  EXPECT_EQ(form().set_failure_actions(kService, 0, nullptr, 0, 0), 0u);  // none clears them
  ASSERT_TRUE(standin::ServiceConfig(kService, &after));
  EXPECT_TRUE(after.failure_actions.empty());
  EXPECT_FALSE(after.on_non_crash_failures);

  EXPECT_EQ(form().set_delayed_auto_start(kService, 1), 0u);
  ASSERT_TRUE(standin::ServiceConfig(kService, &after));
  EXPECT_TRUE(after.delayed_auto_start);
  EXPECT_EQ(form().set_delayed_auto_start(kService, 0), 0u);
  ASSERT_TRUE(standin::ServiceConfig(kService, &after));
  EXPECT_FALSE(after.delayed_auto_start);
}

TEST_P(RegistrationTest, FailureActionsThatAreRefused) {
  standin::AddService(PendingService(0));
  const SC_ACTION restart = {SC_ACTION_RESTART, 1000};
  // An action type the platform does not know, which the enumeration cannot hold.
  SC_ACTION unknown = {SC_ACTION_NONE, 0};
  const DWORD kUnknownType = 4;
  std::memcpy(&unknown.Type, &kUnknownType, sizeof kUnknownType);
  const std::string change = form().Platform("ChangeServiceConfig2");
  struct Case {
    const char *what;
    const SC_ACTION *actions;
    DWORD count;
    unsigned failing_nth;  // of ChangeServiceConfig2, 0 for none
    DWORD failing_code;
    DWORD result;
    size_t actions_after;
  };
  const Case cases[] = {
      {"null actions with a count, before anything is opened", nullptr, 1, 0, 0,
       ERROR_INVALID_PARAMETER, 0},
      {"an action the platform does not know", &unknown, 1, 0, 0, ERROR_INVALID_PARAMETER, 0},
      {"the flag refused: the actions stay", &restart, 1, 2, 0x1234, 0x1234, 1},
      {"the flag refused without a code: never a success", &restart, 1, 2, 0, ERROR_NOT_SUPPORTED,
       1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    standin::Reset();
    standin::AddService(PendingService(0));
    if (c.failing_nth != 0) standin::FailCall(change.c_str(), c.failing_nth, c.failing_code);
    SetLastError(kSentinel);
    EXPECT_EQ(form().set_failure_actions(kService, 60, c.actions, c.count, 1), c.result);
    EXPECT_EQ(GetLastError(), c.result);
    standin::ServiceSetup after;
    ASSERT_TRUE(standin::ServiceConfig(kService, &after));
    EXPECT_EQ(after.failure_actions.size(), c.actions_after);
    EXPECT_FALSE(after.on_non_crash_failures);
  }
  EXPECT_EQ(form().set_description(kService, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(CountCalls(form().Platform("OpenSCManager").c_str()), 1);  // the last case's only
}

INSTANTIATE_TEST_SUITE_P(BothForms, RegistrationTest, testing::ValuesIn(kBothForms),
                         [](const testing::TestParamInfo<const ModuleForm *> &param) {
                           return std::string(param.param->suffix);
                         });

}  // namespace
