// Services whose paths the ANSI code page cannot hold, through the wide
// forms. A round trip: installed, started, read back and deleted, where the
// ANSI read of the same path gives a '?' for each character that the page
// lacks. An update in place, as an updater runs it: the service moves to a
// new version's folder by a change of its configuration, never by deleting
// and creating it again, so no "marked for deletion" (1072) can come up.
#include <gtest/gtest.h>
#include <service_control.h>

#include <string>

#include "service_fixture.h"

namespace {

const char kName[] = "tessera-wide";
const wchar_t kWideName[] = L"tessera-wide";

class WideServiceTest : public testing::Test {
 protected:
  void SetUp() override {
    BeginServiceTest();
    RemoveTestService(kName);
  }
  void TearDown() override { RemoveTestService(kName); }
};

// Installs the test service program at path, quoted, on demand. Returns the
// stage, or the code when the stage is 0.
DWORD InstallQuotedAt(const std::wstring &program, const wchar_t *display) {
  std::wstring path = program + std::wstring(3, L'\0');
  DWORD error = 0xDEADBEEF;
  const DWORD result =
      InstallServiceQuotedW(&path[0], kWideName, display, SERVICE_WIN32_OWN_PROCESS,
                            SERVICE_DEMAND_START, L"", SERVICE_ERROR_NORMAL, L"", L"", L"", &error);
  return result == 0 ? error : result;
}

TEST_F(WideServiceTest, UnicodeRoundTrip) {
  // A space, Cyrillic and CJK, none of which but the space code page 1252 holds.
  const std::wstring program = CopyTestServiceInto(L"\x0422\x0435\x0441\x0442 \x670D\x52A1");
  ASSERT_EQ(InstallQuotedAt(program, L"Tessera \x0422\x0435\x0441\x0442"), 0u);
  const std::wstring quoted = L"\"" + program + L"\"";
  DWORD error = 0xDEADBEEF;

  DWORD not_running = 42;
  EXPECT_EQ(StartServiceAndWaitW(kWideName, &not_running), 0u);
  EXPECT_EQ(not_running, 42u);
  EXPECT_EQ(TestServiceState(kName), static_cast<DWORD>(SERVICE_RUNNING));

  DWORD values[4];
  wchar_t wide[4][MAX_PATH];
  ASSERT_EQ(ReadServiceConfigW(kWideName, &values[0], &values[1], &values[2], &values[3], wide[0],
                               wide[1], wide[2], wide[3], &error),
            0u);
  EXPECT_EQ(std::wstring(wide[0]), quoted);
  EXPECT_EQ(std::wstring(wide[3]), L"Tessera \x0422\x0435\x0441\x0442");
  char ansi[4][MAX_PATH];
  ASSERT_EQ(ReadServiceConfig(kName, &values[0], &values[1], &values[2], &values[3], ansi[0],
                              ansi[1], ansi[2], ansi[3], &error),
            0u);
  std::string expected;
  for (wchar_t c : quoted) expected += c < 0x80 ? static_cast<char>(c) : '?';
  EXPECT_EQ(std::string(ansi[0]), expected);

  EXPECT_EQ(StopServiceAndWaitW(kWideName), 0u);
  EXPECT_EQ(DeleteServiceByNameW(kWideName), 0u);
  WaitUntilGone(kName);
  SERVICE_STATUS status;
  EXPECT_EQ(QueryServiceStateW(kWideName, &status), ERROR_SERVICE_DOES_NOT_EXIST);
  RemoveTestServiceCopy(program);
}

TEST_F(WideServiceTest, UpgradeMovesTheServiceToANewFolderInPlace) {
  const std::wstring first = CopyTestServiceInto(L"tessera 1");
  // A space, Cyrillic and CJK in the new version's folder.
  const std::wstring second =
      CopyTestServiceInto(L"tessera \x0432\x0435\x0440\x0441\x0438\x044F 2 \x7248");
  ASSERT_EQ(InstallQuotedAt(first, L"Tessera"), 0u);
  DWORD not_running = 42;
  ASSERT_EQ(StartServiceAndWaitW(kWideName, &not_running), 0u);
  EXPECT_TRUE(TestServiceCopyRan(kName, first));
  ASSERT_EQ(StopServiceAndWaitW(kWideName), 0u);

  std::wstring path = second + std::wstring(3, L'\0');
  DWORD error = 0xDEADBEEF;
  ASSERT_EQ(
      ReconfigureServiceQuotedW(&path[0], kWideName, L"", SERVICE_NO_CHANGE, SERVICE_NO_CHANGE, L"",
                                SERVICE_NO_CHANGE, L"", L"", L"", &error),
      0u);
  EXPECT_EQ(error, 0u);
  ASSERT_EQ(StartServiceAndWaitW(kWideName, &not_running), 0u);
  EXPECT_EQ(not_running, 42u);
  EXPECT_TRUE(TestServiceCopyRan(kName, second)) << "the new version's program did not run";
  DWORD values[4];
  wchar_t texts[4][MAX_PATH];
  ASSERT_EQ(ReadServiceConfigW(kWideName, &values[0], &values[1], &values[2], &values[3], texts[0],
                               texts[1], texts[2], texts[3], &error),
            0u);
  EXPECT_EQ(std::wstring(texts[0]), L"\"" + second + L"\"");
  EXPECT_EQ(std::wstring(texts[3]), L"Tessera");  // what was left empty stays

  ASSERT_EQ(StopServiceAndWaitW(kWideName), 0u);
  EXPECT_EQ(DeleteServiceByNameW(kWideName), 0u);
  WaitUntilGone(kName);
  RemoveTestServiceCopy(first);
  RemoveTestServiceCopy(second);
}

}  // namespace
