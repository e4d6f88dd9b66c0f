// The scenario fixture on the real manager: the test service program,
// registered with its behaviour in its binary path.
#include <service_control.h>

#include <cstdio>
#include <string>

#include "service_fixture.h"
#include "windows_paths.h"

namespace {

std::string ControlLogPath(const char *name) { return BesideThisProgram(name) + ".controls"; }

// A text of the ANSI code page, as the A calls would take it.
std::wstring FromAnsi(const std::string &text) {
  std::wstring wide(text.size(), L'\0');
  wide.resize(MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0],
                                  static_cast<int>(wide.size())));
  return wide;
}

DWORD WaitForStateOtherThan(SC_HANDLE service, DWORD state, DWORD timeout_ms) {
  SERVICE_STATUS status = {};
  for (DWORD waited = 0;; waited += 100) {
    if (!QueryServiceStatus(service, &status)) return 0;
    if (status.dwCurrentState != state || waited >= timeout_ms) return status.dwCurrentState;
    Sleep(100);
  }
}

bool WaitUntilStopped(SC_HANDLE service, DWORD timeout_ms) {
  SERVICE_STATUS status = {};
  for (DWORD waited = 0; waited <= timeout_ms; waited += 100) {
    if (QueryServiceStatus(service, &status) && status.dwCurrentState == SERVICE_STOPPED) {
      return true;
    }
    Sleep(100);
  }
  return false;
}

}  // namespace

void BeginServiceTest() {}

void InstallTestService(const char *name, const TestServiceBehaviour &behaviour, DWORD start_type,
                        const std::wstring &program, const std::string &dependencies) {
  RemoveTestService(name);
  TestServiceBehaviour logged = behaviour;
  logged.control_log = ControlLogPath(name);
  DeleteFileA(logged.control_log.c_str());
  const std::string arguments = BehaviourArguments(logged);
  const std::wstring path =
      L"\"" + (program.empty() ? FromAnsi(BesideThisProgram("test_service.exe")) : program) +
      L"\" " + FromAnsi(arguments);
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  const std::wstring wide_name = FromAnsi(name);
  const std::wstring list = FromAnsi(dependencies + '\0');
  SC_HANDLE service = CreateServiceW(
      manager, wide_name.c_str(), wide_name.c_str(), SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
      start_type, SERVICE_ERROR_NORMAL, path.c_str(), nullptr, nullptr,
      dependencies.empty() ? nullptr : list.c_str(), nullptr, nullptr);
  if (service == nullptr) {
    std::fprintf(stderr, "CreateServiceW(%s) failed: %lu\n", name, GetLastError());
  }
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
}

void StartTestService(const char *name) {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE service = OpenServiceA(manager, name, SERVICE_START | SERVICE_QUERY_STATUS);
  StartServiceA(service, 0, nullptr);
  WaitForStateOtherThan(service, SERVICE_START_PENDING, 10000);
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
}

DWORD TestServiceState(const char *name) {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE service = OpenServiceA(manager, name, SERVICE_QUERY_STATUS);
  SERVICE_STATUS status = {};
  QueryServiceStatus(service, &status);
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
  return status.dwCurrentState;
}

std::vector<DWORD> ReceivedControls(const char *name) {
  std::vector<DWORD> controls;
  FILE *log = std::fopen(ControlLogPath(name).c_str(), "r");
  if (log == nullptr) return controls;
  unsigned long control;
  while (std::fscanf(log, "%lu", &control) == 1) controls.push_back(control);
  std::fclose(log);
  return controls;
}

void RemoveTestService(const char *name) {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
  SC_HANDLE service = OpenServiceA(manager, name, SERVICE_ALL_ACCESS);
  if (service != nullptr) {
    SERVICE_STATUS_PROCESS process = {};
    DWORD needed;
    QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<LPBYTE>(&process),
                         sizeof process, &needed);
    if (process.dwCurrentState != SERVICE_STOPPED) {
      SERVICE_STATUS status;
      if (process.dwCurrentState != SERVICE_STOP_PENDING) {
        ControlService(service, SERVICE_CONTROL_STOP, &status);
      }
      if (!WaitUntilStopped(service, 5000)) {
        // A service stuck in its start or stop is killed.
        HANDLE stuck = OpenProcess(PROCESS_TERMINATE, FALSE, process.dwProcessId);
        if (stuck != nullptr) {
          TerminateProcess(stuck, 1);
          CloseHandle(stuck);
        }
        // Wine's manager does not see a killed process end; Windows' does.
        WaitUntilStopped(service, 2000);
      }
    }
    DeleteService(service);
    CloseServiceHandle(service);
  }
  CloseServiceHandle(manager);
  DeleteFileA(ControlLogPath(name).c_str());
  WaitUntilGone(name);
}

void WaitUntilGone(const char *name) { DeleteServiceAndWaitGone(name, 5000); }

std::wstring CopyTestServiceInto(const std::wstring &folder) {
  wchar_t program[MAX_PATH];
  const std::wstring self(program, GetModuleFileNameW(nullptr, program, MAX_PATH));
  const std::wstring beside = self.substr(0, self.find_last_of(L'\\') + 1);
  const std::wstring path = beside + folder + L"\\svc.exe";
  CreateDirectoryW((beside + folder).c_str(), nullptr);
  if (!CopyFileW((beside + L"test_service.exe").c_str(), path.c_str(), FALSE)) {
    std::fprintf(stderr, "CopyFileW failed: %lu\n", GetLastError());
  }
  return path;
}

DWORD OverwriteTestServiceCopy(const std::wstring &path) {
  wchar_t program[MAX_PATH];
  const std::wstring self(program, GetModuleFileNameW(nullptr, program, MAX_PATH));
  const std::wstring original = self.substr(0, self.find_last_of(L'\\') + 1) + L"test_service.exe";
  return CopyFileW(original.c_str(), path.c_str(), FALSE) ? ERROR_SUCCESS : GetLastError();
}

void RemoveTestServiceCopy(const std::wstring &path) {
  DeleteFileW(path.c_str());
  DeleteFileW((path + L".ran").c_str());
  RemoveDirectoryW(path.substr(0, path.find_last_of(L'\\')).c_str());
}

bool TestServiceCopyRan(const char *, const std::wstring &path) {
  return GetFileAttributesW((path + L".ran").c_str()) != INVALID_FILE_ATTRIBUTES;
}

DWORD RestoreFromFileInAnotherProcess(const std::string &record) {
  const std::string file = BesideThisProgram("tessera-update.record");
  FILE *saved = std::fopen(file.c_str(), "w");
  if (saved == nullptr) return ERROR_FILE_NOT_FOUND;
  std::fputs(record.c_str(), saved);
  std::fclose(saved);
  std::string line = "\"" + BesideThisProgram("demo_service.exe") + "\" restore \"" + file + "\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION restorer;
  if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &restorer)) {
    return GetLastError();
  }
  WaitForSingleObject(restorer.hProcess, INFINITE);
  DWORD result = 0;
  GetExitCodeProcess(restorer.hProcess, &result);
  CloseHandle(restorer.hThread);
  CloseHandle(restorer.hProcess);
  DeleteFileA(file.c_str());
  return result;
}
