// The scenario fixture on the stand-in: the behaviour becomes a status script.
#include <service_control.h>
#include <standin.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "service_fixture.h"

void BeginServiceTest() { standin::Reset(); }

void InstallTestService(const char *name, const TestServiceBehaviour &behaviour, DWORD start_type,
                        const std::wstring &program, const std::string &dependencies) {
  standin::ServiceSetup setup;
  setup.name = name;
  setup.start_type = start_type;
  setup.wide_binary_path = program;
  setup.dependencies = dependencies;
  setup.stop_ms = behaviour.stop_ms;
  setup.linger_ms = behaviour.linger_ms;
  setup.crashes_on_stop = behaviour.crashes_on_stop;
  if (behaviour.child_outlives_ms != 0) setup.children_outlive_ms = {behaviour.child_outlives_ms};
  setup.child_spawns_every_ms = behaviour.child_spawns_every_ms;
  setup.controls_accepted = behaviour.controls_accepted;
  setup.exit_code = behaviour.exit_code;
  const DWORD reports = behaviour.pending_ms / kReportIntervalMs;
  for (DWORD nth = 0; nth < reports; ++nth) {
    setup.start_script.push_back({nth * kReportIntervalMs, SERVICE_START_PENDING,
                                  CheckPointAt(behaviour.check_points, nth, reports),
                                  behaviour.wait_hint});
  }
  setup.start_script.push_back({behaviour.pending_ms, behaviour.end_state, 0, 0});
  standin::AddService(setup);
}

void StartTestService(const char *name) {
  SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
  SC_HANDLE service = OpenServiceA(manager, name, SERVICE_START);
  StartServiceA(service, 0, nullptr);
  CloseServiceHandle(service);
  CloseServiceHandle(manager);
  // Virtual time: let it come up at no cost.
  while (standin::ServiceState(name) == SERVICE_START_PENDING) Sleep(kReportIntervalMs);
  standin::ClearCalls();
}

DWORD TestServiceState(const char *name) { return standin::ServiceState(name); }

std::vector<DWORD> ReceivedControls(const char *name) { return standin::ControlsReceived(name); }

void RemoveTestService(const char *) {}

void WaitUntilGone(const char *name) { DeleteServiceAndWaitGone(name, 5000); }

std::wstring CopyTestServiceInto(const std::wstring &folder) {
  return L"C:\\" + folder + L"\\svc.exe";
}

DWORD OverwriteTestServiceCopy(const std::wstring &path) {
  return standin::ProgramInUse(path) ? ERROR_SHARING_VIOLATION : ERROR_SUCCESS;
}

void RemoveTestServiceCopy(const std::wstring &) {}

bool TestServiceCopyRan(const char *name, const std::wstring &path) {
  for (const std::wstring &program : standin::StartedPrograms(name)) {
    if (program == path || program == L"\"" + path + L"\"") return true;
  }
  return false;
}

DWORD RestoreFromFileInAnotherProcess(const std::string &record) {
  char path[] = "/tmp/tessera-recordXXXXXX";
  const int file = mkstemp(path);
  if (file < 0) return ERROR_FILE_NOT_FOUND;
  const bool written =
      write(file, record.c_str(), record.size()) == static_cast<ssize_t>(record.size());
  close(file);
  std::ifstream saved(path);
  std::string line;
  std::getline(saved, line);
  unlink(path);
  return written ? RestoreServicesAfterUpdate(line.c_str(), 30000) : ERROR_FILE_NOT_FOUND;
}
