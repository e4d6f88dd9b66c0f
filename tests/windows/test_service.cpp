// A real Windows service for the tests, run by the Service Control Manager as
// its own process. Its behaviour comes from the arguments in its binary path
// (see test_service_behaviour.h). Each start leaves a mark beside the
// program, PROGRAM.ran, so that a test sees which copy of it ran.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "test_service_behaviour.h"

namespace {

TestServiceBehaviour behaviour;
SERVICE_STATUS_HANDLE status_handle;
HANDLE stop_requested;

// Notes a status, or the process's exit (0), with the system time.
void LogStatus(DWORD state) {
  if (behaviour.status_log.empty()) return;
  FILETIME now;
  GetSystemTimePreciseAsFileTime(&now);
  FILE *log = std::fopen(behaviour.status_log.c_str(), "a");
  if (log == nullptr) return;
  std::fprintf(log, "%lu %llu\n", static_cast<unsigned long>(state),
               (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime);
  std::fclose(log);
}

void Report(DWORD state, DWORD check_point, DWORD wait_hint, DWORD exit_code = 0) {
  SERVICE_STATUS status = {};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = state;
  status.dwControlsAccepted = state == SERVICE_RUNNING ? behaviour.controls_accepted : 0;
  status.dwWin32ExitCode = exit_code;
  status.dwCheckPoint = check_point;
  status.dwWaitHint = wait_hint;
  LogStatus(state);
  SetServiceStatus(status_handle, &status);
}

void LogControl(DWORD control) {
  if (behaviour.control_log.empty()) return;
  FILE *log = std::fopen(behaviour.control_log.c_str(), "a");
  if (log == nullptr) return;
  std::fprintf(log, "%lu\n", static_cast<unsigned long>(control));
  std::fclose(log);
}

DWORD WINAPI Handler(DWORD control, DWORD, LPVOID, LPVOID) {
  LogControl(control);
  if (control == SERVICE_CONTROL_STOP) {
    Report(SERVICE_STOP_PENDING, 1, behaviour.stop_ms == INFINITE ? 0 : behaviour.stop_ms);
    SetEvent(stop_requested);
  }
  return NO_ERROR;
}

void StartChild();

void WINAPI ServiceMain(DWORD, LPSTR *argv) {
  status_handle = RegisterServiceCtrlHandlerExA(argv[0], Handler, nullptr);
  if (status_handle == nullptr) return;
  if (behaviour.child_outlives_ms != 0) StartChild();
  const DWORD reports = behaviour.pending_ms / kReportIntervalMs;
  bool stopping = false;
  for (DWORD nth = 0; nth < reports && !stopping; ++nth) {
    Report(SERVICE_START_PENDING, CheckPointAt(behaviour.check_points, nth, reports),
           behaviour.wait_hint);
    stopping = WaitForSingleObject(stop_requested, kReportIntervalMs) == WAIT_OBJECT_0;
  }
  if (!stopping && behaviour.end_state == SERVICE_STOPPED) {
    Report(SERVICE_STOPPED, 0, 0, behaviour.exit_code);
    return;
  }
  if (!stopping) {
    Report(SERVICE_RUNNING, 0, 0);
    WaitForSingleObject(stop_requested, INFINITE);
  }
  Sleep(behaviour.stop_ms);
  if (behaviour.crashes_on_stop) ExitProcess(3);
  Report(SERVICE_STOPPED, 0, 0);
}

void LeaveMark() {
  wchar_t program[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, program, MAX_PATH);
  const std::wstring mark = std::wstring(program, length) + L".ran";
  HANDLE file = CreateFileW(mark.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
}

// Starts this program again with the arguments.
void StartSelf(const std::wstring &arguments) {
  wchar_t program[MAX_PATH];
  GetModuleFileNameW(nullptr, program, MAX_PATH);
  std::wstring line = L"\"" + std::wstring(program) + L"\" " + arguments;
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION child;
  if (CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                     &child)) {
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
  }
}

// Starts a child, which stays child_outlives_ms after this process has
// exited, starting a grandchild every child_spawns_every_ms meanwhile.
// It logs its exit to the service's status log, where there is one.
void StartChild() {
  StartSelf(L"--child-of " + std::to_wstring(GetCurrentProcessId()) + L" " +
            std::to_wstring(behaviour.child_outlives_ms) + L" " +
            std::to_wstring(behaviour.child_spawns_every_ms) + L" \"" +
            std::wstring(behaviour.status_log.begin(), behaviour.status_log.end()) + L"\"");
}

// As a child: stays ms (INFINITE: for good) after the parent has exited,
// starting a grandchild, which stays a minute, every spawn_ms (0: never).
int RunAsChild(DWORD parent, DWORD ms, DWORD spawn_ms) {
  const wchar_t grandchild[] = L"--child-of 0 60000 0 \"\"";
  const DWORD pace = spawn_ms == 0 ? INFINITE : spawn_ms;
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, parent);
  while (process != nullptr && WaitForSingleObject(process, pace) == WAIT_TIMEOUT) {
    StartSelf(grandchild);
  }
  if (process != nullptr) CloseHandle(process);
  for (DWORD left = ms; left != 0;) {
    const DWORD pause = left < pace ? left : pace;
    Sleep(pause);
    if (left != INFINITE) left -= pause;
    if (spawn_ms != 0) StartSelf(grandchild);
  }
  LogStatus(0);
  return 0;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc == 6 && std::strcmp(argv[1], "--child-of") == 0) {
    behaviour.status_log = argv[5];
    return RunAsChild(std::strtoul(argv[2], nullptr, 10), std::strtoul(argv[3], nullptr, 10),
                      std::strtoul(argv[4], nullptr, 10));
  }
  if (!ParseBehaviour(argc, argv, &behaviour)) return 2;
  LeaveMark();
  stop_requested = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  char name[] = "";
  SERVICE_TABLE_ENTRYA table[] = {{name, ServiceMain}, {nullptr, nullptr}};
  const BOOL dispatched = StartServiceCtrlDispatcherA(table);
  // The process may outlive its report that the service stopped.
  Sleep(behaviour.linger_ms);
  LogStatus(0);
  return dispatched ? 0 : 1;
}
