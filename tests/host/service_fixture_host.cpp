// The scenario fixture on the stand-in: the behaviour becomes a status script.
#include <standin.h>

#include "service_fixture.h"

void BeginServiceTest() { standin::Reset(); }

void InstallTestService(const char *name, const TestServiceBehaviour &behaviour, DWORD start_type) {
  standin::ServiceSetup setup;
  setup.name = name;
  setup.start_type = start_type;
  setup.stop_ms = behaviour.stop_ms;
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

// The stand-in removes a deleted service with its last handle, as Wine does.
void WaitUntilGone(const char *) {}

std::wstring CopyTestServiceInto(const std::wstring &folder) {
  return L"C:\\" + folder + L"\\svc.exe";
}

void RemoveTestServiceCopy(const std::wstring &) {}

bool TestServiceCopyRan(const char *name, const std::wstring &path) {
  for (const std::wstring &program : standin::StartedPrograms(name)) {
    if (program == path || program == L"\"" + path + L"\"") return true;
  }
  return false;
}
