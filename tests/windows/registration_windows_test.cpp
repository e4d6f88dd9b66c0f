// Registration and configuration against the real manager, for the ANSI and
// the wide form of the module.
#include <gtest/gtest.h>
#include <service_control.h>

#include <cstring>
#include <string>
#include <vector>

#include "module_forms.h"
#include "service_fixture.h"
#include "windows_paths.h"

namespace {

const char kName[] = "tessera-registration";

class RegistrationWindowsTest : public testing::TestWithParam<const ModuleForm *> {
 protected:
  void SetUp() override { RemoveTestService(kName); }
  void TearDown() override { RemoveTestService(kName); }
  const ModuleForm &form() const { return *GetParam(); }
};

struct Config {
  DWORD type = 0, start = 0, error_control = 0, tag = 0;
  char path[260] = {}, group[100] = {}, dependencies[100] = {}, display[100] = {};
  DWORD error = 0xDEADBEEF;
  DWORD Read(const ModuleForm &form) {
    return form.read_config(kName, &type, &start, &error_control, &tag, path, group, dependencies,
                            display, &error);
  }
};

TEST_P(RegistrationWindowsTest, InstallBothWaysAndReadBack) {
  struct Case {
    const char *what;
    bool quoted;
    std::string path;
    std::string stored;
  };
  const Case cases[] = {
      {"quoted: a path with spaces arrives quoted", true, "C:\\Tessera Test\\svc.exe",
       "\"C:\\Tessera Test\\svc.exe\""},
      {"unquoted: the path as it stands", false, "C:\\Tessera Test\\svc.exe",
       "C:\\Tessera Test\\svc.exe"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    RemoveTestService(kName);
    std::string buffer = c.path + std::string(3, '\0');
    DWORD error = 0xDEADBEEF;
    const DWORD result =
        c.quoted ? form().install_quoted(&buffer[0], kName, "Tessera test",
                                         SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, "",
                                         SERVICE_ERROR_NORMAL, "", "", "", &error)
                 : form().install_unquoted(c.path.c_str(), kName, "Tessera test",
                                           SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, "",
                                           SERVICE_ERROR_NORMAL, "", "", "", &error);
    ASSERT_EQ(result, 0u);
    EXPECT_EQ(error, 0u);
    Config config;
    std::memset(config.dependencies, '#', sizeof config.dependencies);
    ASSERT_EQ(config.Read(form()), 0u);
    EXPECT_EQ(config.error, 0u);
    EXPECT_EQ(std::string(config.path), c.stored);
    EXPECT_EQ(std::string(config.display), "Tessera test");
    EXPECT_EQ(std::string(config.group), "");
    EXPECT_EQ(config.type, SERVICE_WIN32_OWN_PROCESS);
    EXPECT_EQ(config.start, SERVICE_DEMAND_START);
    EXPECT_EQ(config.error_control, SERVICE_ERROR_NORMAL);
    // No dependencies: two zeros, and nothing of the account name behind them.
    EXPECT_EQ(config.dependencies[0], '\0');
    EXPECT_EQ(config.dependencies[1], '\0');
  }
  DWORD error = 0;
  EXPECT_EQ(
      form().install_unquoted("C:\\x.exe", kName, "", SERVICE_WIN32_OWN_PROCESS,
                              SERVICE_DEMAND_START, "", SERVICE_ERROR_NORMAL, "", "", "", &error),
      SERVICE_STAGE_CREATE_SERVICE);
  EXPECT_EQ(error, ERROR_SERVICE_EXISTS);
}

// Whether the manager kept the service's dependencies, read without the
// module: Windows keeps them, Wine keeps none.
bool ManagerKeptDependencies() {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE service = OpenServiceA(manager, kName, SERVICE_QUERY_CONFIG);
  std::vector<char> record(8192);
  auto *config = reinterpret_cast<QUERY_SERVICE_CONFIGA *>(record.data());
  DWORD needed;
  const bool kept =
      QueryServiceConfigA(service, config, static_cast<DWORD>(record.size()), &needed) &&
      config->lpDependencies[0] != '\0';
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
  return kept;
}

TEST_P(RegistrationWindowsTest, DependencyListRoundTrip) {
  const std::string list("A\0+G\0", 5);
  char path[64] = "C:\\Tessera Test\\svc.exe";
  DWORD error = 0xDEADBEEF;
  ASSERT_EQ(form().install_quoted(path, kName, "Tessera test", SERVICE_WIN32_OWN_PROCESS,
                                  SERVICE_DEMAND_START, list.c_str(), SERVICE_ERROR_NORMAL, "", "",
                                  "", &error),
            0u);
  if (!ManagerKeptDependencies()) GTEST_SKIP() << "this manager keeps no dependencies (Wine)";
  Config config;
  ASSERT_EQ(config.Read(form()), 0u);
  // The names, each with its zero, and the list's closing zero.
  EXPECT_EQ(std::string(config.dependencies, list.size() + 1), list + '\0');
}

TEST_P(RegistrationWindowsTest, AQuotedProgramsArgumentsReachTheServiceAsGiven) {
  TestServiceBehaviour logged;
  logged.control_log = BesideThisProgram(kName) + ".controls";
  const std::string line =
      "\"" + BesideThisProgram("test_service.exe") + "\" " + BehaviourArguments(logged);
  // A final backslash would escape the quote added behind it: refused, nothing made or changed.
  std::string refused = line + "\\" + std::string(3, '\0');
  DWORD error = 0;
  EXPECT_EQ(
      form().install_quoted(&refused[0], kName, "Tessera test", SERVICE_WIN32_OWN_PROCESS,
                            SERVICE_DEMAND_START, "", SERVICE_ERROR_NORMAL, "", "", "", &error),
      SERVICE_STAGE_CREATE_SERVICE);
  EXPECT_EQ(error, ERROR_INVALID_NAME);
  SERVICE_STATUS status;
  EXPECT_EQ(form().query_state(kName, &status), ERROR_SERVICE_DOES_NOT_EXIST);
  std::string buffer = line + std::string(3, '\0');
  ASSERT_EQ(
      form().install_quoted(&buffer[0], kName, "Tessera test", SERVICE_WIN32_OWN_PROCESS,
                            SERVICE_DEMAND_START, "", SERVICE_ERROR_NORMAL, "", "", "", &error),
      0u);
  EXPECT_EQ(std::string(buffer.c_str()), line + "\"");
  EXPECT_EQ(form().reconfigure_quoted(&refused[0], kName, "", SERVICE_NO_CHANGE, SERVICE_DISABLED,
                                      "", SERVICE_NO_CHANGE, "", "", "", &error),
            SERVICE_STAGE_CREATE_SERVICE);
  // The service finds its control log at its last argument, without the quote added behind it.
  StartTestService(kName);
  EXPECT_EQ(form().send_control(kName, 200), 0u);
  EXPECT_EQ(ReceivedControls(kName), std::vector<DWORD>{200});
}

TEST_P(RegistrationWindowsTest, DisabledServiceIsRefusedItsStart) {
  InstallTestService(kName, TestServiceBehaviour(), SERVICE_DEMAND_START);
  EXPECT_EQ(form().set_start_type(kName, SERVICE_DISABLED), 0u);
  Config config;
  ASSERT_EQ(config.Read(form()), 0u);
  EXPECT_EQ(config.start, SERVICE_DISABLED);
  DWORD flag = 0;
  EXPECT_EQ(form().start_and_wait(kName, &flag), ERROR_SERVICE_DISABLED);
  EXPECT_EQ(flag, 0u);
}

TEST_P(RegistrationWindowsTest, DeleteIfStoppedThenTwice) {
  InstallTestService(kName, TestServiceBehaviour(), SERVICE_DEMAND_START);
  StartTestService(kName);
  EXPECT_EQ(form().delete_if_stopped(kName, 1), ERROR_DEPENDENT_SERVICES_RUNNING);
  EXPECT_EQ(TestServiceState(kName), SERVICE_RUNNING);
  ASSERT_EQ(form().stop_and_wait(kName), 0u);
  // Hold a handle, so that the deleted service stays marked for deletion.
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE held = OpenServiceA(manager, kName, SERVICE_QUERY_STATUS);
  EXPECT_EQ(form().delete_if_stopped(kName, 1), 0u);
  EXPECT_EQ(form().delete_by_name(kName), ERROR_SERVICE_MARKED_FOR_DELETE);
  CloseServiceHandle(held);
  CloseServiceHandle(manager);
  WaitUntilGone(kName);
  EXPECT_EQ(form().delete_by_name(kName), ERROR_SERVICE_DOES_NOT_EXIST);
}

INSTANTIATE_TEST_SUITE_P(BothForms, RegistrationWindowsTest, testing::ValuesIn(kBothForms),
                         [](const testing::TestParamInfo<const ModuleForm *> &param) {
                           return std::string(param.param->suffix);
                         });

}  // namespace
