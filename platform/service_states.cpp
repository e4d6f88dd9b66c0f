// The simulated manager's services in time: a status that follows each
// service's script over virtual time, its start, its status queries and the
// controls it takes or refuses, by the real manager's rules.
#include <cstring>

#include "service_manager.h"

namespace standin {
namespace {

// The step of the start script that applies now; the script is never empty.
const StatusStep &CurrentStep(const Service &service) {
  const unsigned long long since_start = Now() - service.started_at;
  const StatusStep *current = &service.setup.start_script.front();
  for (const StatusStep &step : service.setup.start_script) {
    if (step.at_ms <= since_start) current = &step;
  }
  return *current;
}

// Brings the service's state up to the current virtual time.
void Settle(Service &service) {
  if (service.stopping && service.setup.stop_ms != INFINITE &&
      Now() - service.stop_at >= service.setup.stop_ms) {
    service.started = false;
    service.stopping = false;
    service.exit_code = 0;
  } else if (service.started && !service.stopping &&
             CurrentStep(service).state == SERVICE_STOPPED) {
    service.started = false;
    service.exit_code = service.setup.exit_code;
  }
}

void CopyStatus(const SERVICE_STATUS_PROCESS &from, SERVICE_STATUS *to) {
  std::memcpy(to, &from, sizeof *to);
}

bool IsUserDefined(DWORD control) { return control >= 128 && control <= 255; }

// The right a control code needs, or 0 for a code the manager refuses outright.
DWORD AccessForControl(DWORD control) {
  if (IsUserDefined(control)) return SERVICE_USER_DEFINED_CONTROL;
  switch (control) {
    case SERVICE_CONTROL_STOP:
      return SERVICE_STOP;
    case SERVICE_CONTROL_INTERROGATE:
      return SERVICE_INTERROGATE;
    case SERVICE_CONTROL_PAUSE:
    case SERVICE_CONTROL_CONTINUE:
    case SERVICE_CONTROL_PARAMCHANGE:
      return SERVICE_PAUSE_CONTINUE;
    default:
      if (control >= SERVICE_CONTROL_NETBINDADD && control <= SERVICE_CONTROL_NETBINDDISABLE) {
        return SERVICE_PAUSE_CONTINUE;
      }
      return 0;
  }
}

// Whether a running service takes the control, by what it said it accepts.
bool RunningServiceAccepts(const Service &service, DWORD control) {
  const DWORD accepted = service.setup.controls_accepted;
  if (IsUserDefined(control) || control == SERVICE_CONTROL_INTERROGATE) return true;
  switch (control) {
    case SERVICE_CONTROL_STOP:
      return accepted & SERVICE_ACCEPT_STOP;
    case SERVICE_CONTROL_PAUSE:
    case SERVICE_CONTROL_CONTINUE:
      return accepted & SERVICE_ACCEPT_PAUSE_CONTINUE;
    case SERVICE_CONTROL_PARAMCHANGE:
      return accepted & SERVICE_ACCEPT_PARAMCHANGE;
    default:
      return accepted & SERVICE_ACCEPT_NETBINDCHANGE;
  }
}

// Refusal code for a valid control in the service's state, or 0 when it is taken.
DWORD RefusalFor(const Service &service, DWORD state, DWORD control) {
  switch (state) {
    case SERVICE_STOPPED:
      return ERROR_SERVICE_NOT_ACTIVE;
    case SERVICE_START_PENDING:
      return control == SERVICE_CONTROL_STOP ? 0 : ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
    case SERVICE_RUNNING:
      return RunningServiceAccepts(service, control) ? 0 : ERROR_INVALID_SERVICE_CONTROL;
    default:
      return ERROR_SERVICE_CANNOT_ACCEPT_CTRL;
  }
}

}  // namespace

SERVICE_STATUS_PROCESS StatusOf(Service &service) {
  Settle(service);
  SERVICE_STATUS_PROCESS status{};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  if (!service.started) {
    status.dwCurrentState = SERVICE_STOPPED;
    status.dwWin32ExitCode = service.exit_code;
    return status;
  }
  status.dwProcessId = ProcessIdOf(service);
  if (service.stopping) {
    status.dwCurrentState = SERVICE_STOP_PENDING;
    return status;
  }
  const StatusStep &step = CurrentStep(service);
  status.dwCurrentState = step.state;
  status.dwCheckPoint = step.check_point;
  status.dwWaitHint = step.wait_hint;
  if (step.state == SERVICE_RUNNING) status.dwControlsAccepted = service.setup.controls_accepted;
  return status;
}

BOOL Start(SC_HANDLE service) {
  Service *found = ServiceFor(service, SERVICE_START);
  if (found == nullptr) return FALSE;
  if (found->setup.start_type == SERVICE_DISABLED) {
    SetLastError(ERROR_SERVICE_DISABLED);
    return FALSE;
  }
  if (StatusOf(*found).dwCurrentState != SERVICE_STOPPED) {
    SetLastError(ERROR_SERVICE_ALREADY_RUNNING);
    return FALSE;
  }
  // A process that ends before it reports any status never started.
  if (found->setup.start_script.front().state == SERVICE_STOPPED &&
      found->setup.start_script.front().at_ms == 0) {
    SetLastError(ERROR_SERVICE_REQUEST_TIMEOUT);
    return FALSE;
  }
  found->started = true;
  found->stopping = false;
  found->started_at = Now();
  found->started_programs.push_back(found->text.binary_path);
  return TRUE;
}

BOOL QueryStatus(SC_HANDLE service, SERVICE_STATUS *status) {
  Service *found = ServiceFor(service, SERVICE_QUERY_STATUS);
  if (found == nullptr) return FALSE;
  if (status == nullptr) {
    SetLastError(ERROR_INVALID_ADDRESS);
    return FALSE;
  }
  CopyStatus(StatusOf(*found), status);
  return TRUE;
}

BOOL QueryStatusProcess(SC_HANDLE service, SC_STATUS_TYPE level, LPBYTE buffer, DWORD size,
                        LPDWORD needed) {
  Service *found = ServiceFor(service, SERVICE_QUERY_STATUS);
  if (found == nullptr) return FALSE;
  if (level != SC_STATUS_PROCESS_INFO) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  if (needed == nullptr) {
    SetLastError(ERROR_INVALID_ADDRESS);
    return FALSE;
  }
  *needed = sizeof(SERVICE_STATUS_PROCESS);
  if (size < sizeof(SERVICE_STATUS_PROCESS)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  const SERVICE_STATUS_PROCESS status = StatusOf(*found);
  std::memcpy(buffer, &status, sizeof status);
  return TRUE;
}

BOOL Control(SC_HANDLE service, DWORD control, SERVICE_STATUS *status) {
  if (!IsServiceHandle(service)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  // The code is checked before the rights, as the real manager does.
  const DWORD needed = AccessForControl(control);
  if (needed == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Service *found = ServiceFor(service, needed);
  if (found == nullptr) return FALSE;
  if (status == nullptr) {
    SetLastError(ERROR_INVALID_ADDRESS);
    return FALSE;
  }
  const DWORD refusal = RefusalFor(*found, StatusOf(*found).dwCurrentState, control);
  if (refusal == 0) {
    found->controls.push_back(control);
    if (control == SERVICE_CONTROL_STOP) {
      found->stopping = true;
      found->stop_at = Now();
    }
  }
  CopyStatus(StatusOf(*found), status);
  if (refusal != 0) {
    SetLastError(refusal);
    return FALSE;
  }
  return TRUE;
}

}  // namespace standin
