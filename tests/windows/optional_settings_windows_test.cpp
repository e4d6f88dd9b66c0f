// The optional settings against the real manager, for both forms. Windows
// keeps and shows them all; what Wine 8 does differs (README, test section),
// and the stand-in's tests hold what Wine cannot show.
#include <gtest/gtest.h>
#include <service_control.h>

#include <string>
#include <vector>

#include "module_forms.h"
#include "service_fixture.h"
#include "wine_or_windows.h"

namespace {

const char kName[] = "tessera-optional";

class OptionalSettingsWindowsTest : public testing::TestWithParam<const ModuleForm *> {
 protected:
  void SetUp() override { InstallTestService(kName, TestServiceBehaviour(), SERVICE_AUTO_START); }
  void TearDown() override { RemoveTestService(kName); }
  const ModuleForm &form() const { return *GetParam(); }
  // Under Wine, checks what it answers a setting that it does not keep: 87
  // through the ANSI call, 124 (ERROR_INVALID_LEVEL) through the wide one,
  // and 124 for reading it back. True under Wine.
  bool WineRefused(DWORD result, DWORD read_code) const {
    if (!RunsOnWine()) return false;
    EXPECT_EQ(result, GetParam() == &kWideForm ? 124u : 87u);
    EXPECT_EQ(read_code, static_cast<DWORD>(ERROR_INVALID_LEVEL));
    return true;
  }
};

// One optional setting read back through QueryServiceConfig2W; empty when the
// manager cannot show it, with its code in *code.
std::vector<BYTE> ReadSetting(DWORD level, DWORD *code) {
  SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE service = OpenServiceW(manager, L"tessera-optional", SERVICE_QUERY_CONFIG);
  std::vector<BYTE> record(8192);
  DWORD needed;
  *code = 0;
  if (!QueryServiceConfig2W(service, level, record.data(), static_cast<DWORD>(record.size()),
                            &needed)) {
    *code = GetLastError();
    record.clear();
  }
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
  return record;
}

TEST_P(OptionalSettingsWindowsTest, DescriptionIsKeptAndCleared) {
  ASSERT_EQ(form().set_description(kName, "Keeps Tessera running"), 0u);
  DWORD code;
  std::vector<BYTE> record = ReadSetting(SERVICE_CONFIG_DESCRIPTION, &code);
  ASSERT_EQ(code, 0u);
  EXPECT_EQ(std::wstring(reinterpret_cast<SERVICE_DESCRIPTIONW *>(record.data())->lpDescription),
            L"Keeps Tessera running");
  ASSERT_EQ(form().set_description(kName, ""), 0u);
  record = ReadSetting(SERVICE_CONFIG_DESCRIPTION, &code);
  ASSERT_EQ(code, 0u);
  const wchar_t *cleared = reinterpret_cast<SERVICE_DESCRIPTIONW *>(record.data())->lpDescription;
  EXPECT_TRUE(cleared == nullptr || *cleared == L'\0');
}

TEST_P(OptionalSettingsWindowsTest, FailureActionsAndTheirFlag) {
  const SC_ACTION actions[2] = {{SC_ACTION_RESTART, 1000}, {SC_ACTION_NONE, 0}};
  const DWORD result = form().set_failure_actions(kName, 86400, actions, 2, 1);
  DWORD code;
  const std::vector<BYTE> record = ReadSetting(SERVICE_CONFIG_FAILURE_ACTIONS, &code);
  // Wine takes the actions but refuses the flag, and shows neither.
  if (WineRefused(result, code)) return;
  ASSERT_EQ(result, 0u);
  ASSERT_EQ(code, 0u);
  const auto *kept = reinterpret_cast<const SERVICE_FAILURE_ACTIONSW *>(record.data());
  EXPECT_EQ(kept->dwResetPeriod, 86400u);
  ASSERT_EQ(kept->cActions, 2u);
  EXPECT_EQ(kept->lpsaActions[0].Type, SC_ACTION_RESTART);
  EXPECT_EQ(kept->lpsaActions[0].Delay, 1000u);
  const std::vector<BYTE> flag = ReadSetting(SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, &code);
  ASSERT_EQ(code, 0u);
  EXPECT_TRUE(reinterpret_cast<const SERVICE_FAILURE_ACTIONS_FLAG *>(flag.data())
                  ->fFailureActionsOnNonCrashFailures);
}

TEST_P(OptionalSettingsWindowsTest, DelayedAutoStart) {
  const DWORD result = form().set_delayed_auto_start(kName, 1);
  DWORD code;
  const std::vector<BYTE> record = ReadSetting(SERVICE_CONFIG_DELAYED_AUTO_START_INFO, &code);
  if (WineRefused(result, code)) return;
  ASSERT_EQ(result, 0u);
  ASSERT_EQ(code, 0u);
  EXPECT_TRUE(
      reinterpret_cast<const SERVICE_DELAYED_AUTO_START_INFO *>(record.data())->fDelayedAutostart);
}

INSTANTIATE_TEST_SUITE_P(BothForms, OptionalSettingsWindowsTest, testing::ValuesIn(kBothForms),
                         [](const testing::TestParamInfo<const ModuleForm *> &param) {
                           return std::string(param.param->suffix);
                         });

}  // namespace
