// A service whose path the ANSI code page cannot hold, through the wide
// forms: installed, started, read back and deleted. The ANSI read of the same
// path gives a '?' for each character that the page lacks.
#include <gtest/gtest.h>
#include <service_control.h>

#include <string>

#include "service_fixture.h"

namespace {

TEST(UnicodeRoundTrip, WideFormsKeepWhatTheAnsiCodePageCannotHold) {
  const char kName[] = "tessera-unicode";
  const wchar_t kWideName[] = L"tessera-unicode";
  BeginServiceTest();
  RemoveTestService(kName);
  // A space, Cyrillic and CJK, none of which but the space code page 1252 holds.
  const std::wstring program = CopyTestServiceInto(L"\x0422\x0435\x0441\x0442 \x670D\x52A1");
  std::wstring path = program + std::wstring(3, L'\0');
  DWORD error = 0xDEADBEEF;
  ASSERT_EQ(InstallServiceQuotedW(&path[0], kWideName, L"Tessera \x0422\x0435\x0441\x0442",
                                  SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, L"",
                                  SERVICE_ERROR_NORMAL, L"", L"", L"", &error),
            0u);
  const std::wstring quoted = L"\"" + program + L"\"";
  EXPECT_EQ(std::wstring(path.c_str()), quoted);

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

}  // namespace
