/* An updater built with MSVC's ABI (clang-cl, lld-link) against the shipped
 * header and service_control.lib, running with service_control.dll beside
 * it: query, install, read back, reconfigure, delete and wait until gone,
 * through the wide and the ANSI forms. Built without a C runtime, and for
 * x86 with stdcall as the default convention (/Gz), which the header's own
 * convention overrides. Exit status 0 when every check holds. */
#include <service_control.h>
#include <windows.h>

static int failures;

static void Say(const char *text) {
  DWORD written;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, (DWORD)lstrlenA(text), &written, NULL);
}

static void Check(int holds, const char *what) {
  if (holds) return;
  Say("consumer: failed: ");
  Say(what);
  Say("\r\n");
  ++failures;
}

void __cdecl mainCRTStartup(void) {
  static wchar_t widePath[64] = L"C:\\Tessera MSVC\\svc.exe";
  static char path[64] = "C:\\Tessera MSVC 2\\svc.exe";
  static char texts[4][MAX_PATH];
  static wchar_t wideTexts[4][MAX_PATH];
  DWORD values[4];
  DWORD error = 42;
  SERVICE_STATUS status;

  Check(QueryServiceStateW(L"tessera-msvc", &status) == ERROR_SERVICE_DOES_NOT_EXIST,
        "a service that is not installed is reported so");
  Check(InstallServiceQuotedW(widePath, L"tessera-msvc", L"Tessera MSVC", SERVICE_WIN32_OWN_PROCESS,
                              SERVICE_DEMAND_START, L"", SERVICE_ERROR_NORMAL, L"", L"", L"",
                              &error) == 0 &&
            error == 0,
        "InstallServiceQuotedW");
  Check(ReadServiceConfig("tessera-msvc", &values[0], &values[1], &values[2], &values[3], texts[0],
                          texts[1], texts[2], texts[3], &error) == 0,
        "ReadServiceConfig");
  Check(lstrcmpA(texts[0], "\"C:\\Tessera MSVC\\svc.exe\"") == 0 &&
            values[1] == SERVICE_DEMAND_START && lstrcmpA(texts[3], "Tessera MSVC") == 0,
        "the installed path, start type and display name read back");
  Check(ReconfigureServiceQuoted(path, "tessera-msvc", "", SERVICE_NO_CHANGE, SERVICE_DISABLED, "",
                                 SERVICE_NO_CHANGE, "", "", "", &error) == 0,
        "ReconfigureServiceQuoted");
  Check(ReadServiceConfigW(L"tessera-msvc", &values[0], &values[1], &values[2], &values[3],
                           wideTexts[0], wideTexts[1], wideTexts[2], wideTexts[3], &error) == 0,
        "ReadServiceConfigW");
  Check(lstrcmpW(wideTexts[0], L"\"C:\\Tessera MSVC 2\\svc.exe\"") == 0 &&
            values[1] == SERVICE_DISABLED,
        "the new path and start type read back");
  Check(QueryServiceState("tessera-msvc", &status) == 0 && status.dwCurrentState == SERVICE_STOPPED,
        "QueryServiceState");
  Check(DeleteServiceAndWaitGoneW(L"tessera-msvc", 5000) == 0, "DeleteServiceAndWaitGoneW");
  Check(DeleteServiceAndWaitGone("tessera-msvc", 5000) == 0 &&
            QueryServiceState("tessera-msvc", &status) == ERROR_SERVICE_DOES_NOT_EXIST,
        "gone, and deleting it again is no failure");
  Say(failures == 0 ? "consumer: every check held\r\n" : "");
  ExitProcess(failures == 0 ? 0 : 1);
}
