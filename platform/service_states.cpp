// The simulated manager's services in time: a status that follows each
// service's script over virtual time, its start, its status queries and the
// controls it takes or refuses, by the real manager's rules.
#include <algorithm>
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

// When the service's latest run reports that it stopped, as things stand:
// kNever while nothing will make it.
unsigned long long ReportedStopAt(const Service &service) {
  if (service.stopping) {
    if (service.setup.crashes_on_stop || service.setup.stop_ms == INFINITE) return kNever;
    return service.stop_at + service.setup.stop_ms;
  }
  for (const StatusStep &step : service.setup.start_script) {
    if (step.state == SERVICE_STOPPED) return service.started_at + step.at_ms;
  }
  return kNever;
}

// Brings the service's state up to the current virtual time: the run ends
// with its report, or when its process ends without one (killed, or a crash),
// which Windows' manager sees and counts as a failure, and answers with the
// first failure action: a restart, or its command run.
void Settle(Service &service) {
  if (service.command_at <= Now()) {
    service.command_at = kNever;
    ++service.commands_run;
  }
  if (!service.started) {
    // A restart failure action, unless the service is disabled by then.
    if (service.restart_at > Now()) return;
    const unsigned long long restart_at = service.restart_at;
    service.restart_at = kNever;
    if (service.setup.start_type == SERVICE_DISABLED) return;
    StartRun(service);
    service.started_at = restart_at;
    service.started_programs.push_back(service.text.binary_path);
    return;
  }
  const unsigned long long reported = ReportedStopAt(service);
  const unsigned long long ended = ProcessEndedAt(service.process_id);
  if (reported <= Now() && reported <= ended) {
    service.exit_code = service.stopping ? 0 : service.setup.exit_code;
    service.stopped_at = reported;
  } else if (ended <= Now() && !ManagerIgnoresProcessExit()) {
    service.exit_code = ERROR_PROCESS_ABORTED;
    service.stopped_at = ended;
    const std::vector<SC_ACTION> &actions = service.setup.failure_actions;
    if (!actions.empty() && actions.front().Type == SC_ACTION_RESTART) {
      service.restart_at = ended + actions.front().Delay;
    }
    if (!actions.empty() && actions.front().Type == SC_ACTION_RUN_COMMAND) {
      service.command_at = ended + actions.front().Delay;
    }
  } else {
    return;
  }
  service.started = false;
  service.stopping = false;
}

// Whether the service depends on target, directly or through others.
bool DependsOn(const Service &service, const Service &target, int depth = 0) {
  const WideString &list = service.text.dependencies;
  for (size_t at = 0; at < list.size(); at = list.find(WCHAR(0), at) + 1) {
    const WideString dependency(list.c_str() + at);
    if (dependency.empty() || dependency[0] == '+') continue;  // a group
    const Service *found = FindService(dependency);
    if (found == &target ||
        (found != nullptr && depth < 16 && DependsOn(*found, target, depth + 1))) {
      return true;
    }
  }
  return false;
}

// The services that depend on the service and are in one of the states
// (SERVICE_ACTIVE, SERVICE_INACTIVE), the one started last first.
std::vector<Service *> DependentsOf(const Service &service, DWORD states) {
  std::vector<Service *> dependents;
  for (Service &other : Services()) {
    const bool active = StatusOf(other).dwCurrentState != SERVICE_STOPPED;
    if (&other != &service && !IsGone(other) && DependsOn(other, service) &&
        (states & (active ? SERVICE_ACTIVE : SERVICE_INACTIVE)) != 0) {
      dependents.push_back(&other);
    }
  }
  std::sort(dependents.begin(), dependents.end(),
            [](const Service *a, const Service *b) { return a->process_id > b->process_id; });
  return dependents;
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

unsigned long long RunEndsAt(Service &service) {
  Settle(service);
  if (service.process_id == 0) return 0;
  if (!service.started) return service.stopped_at + service.setup.linger_ms;
  const unsigned long long reported = ReportedStopAt(service);
  return reported == kNever ? kNever : reported + service.setup.linger_ms;
}

void StartRun(Service &service) {
  service.started = true;
  service.stopping = false;
  service.stop_at = kNever;
  service.started_at = Now();
  service.process_id = StartProcess(service.text.binary_path, service.serial, kManagerProcessId,
                                    false, INFINITE, service.text.account);
  for (size_t i = 0; i < service.setup.children_outlive_ms.size(); ++i) {
    const DWORD child = StartProcess(service.text.binary_path, 0, service.process_id, true,
                                     service.setup.children_outlive_ms[i], service.text.account);
    if (i == 0 && service.setup.child_spawns_every_ms != 0) {
      SpawnEvery(child, service.setup.child_spawns_every_ms, service.setup.spawned_lives_ms);
    }
  }
}

unsigned long long NextReportAt(Service &service, unsigned long long after, DWORD mask) {
  Settle(service);
  if (service.process_id == 0) return kNever;
  // When the manager shows the run stopped: its report, or (Windows) its
  // process's end without one.
  unsigned long long end = service.stopped_at;
  if (service.started) {
    end = ReportedStopAt(service);
    if (!ManagerIgnoresProcessExit()) end = std::min(end, ProcessEndedAt(service.process_id));
  }
  unsigned long long next = kNever;
  const auto consider = [&](unsigned long long at, DWORD state) {
    if (at > after && at < next && (mask & NotifyBit(state)) != 0) next = at;
  };
  // Its script reports until it is stopped; a stop reports stop-pending.
  for (const StatusStep &step : service.setup.start_script) {
    const unsigned long long at = service.started_at + step.at_ms;
    if (at < std::min(end, service.stop_at)) consider(at, step.state);
  }
  if (service.stop_at < end) consider(service.stop_at, SERVICE_STOP_PENDING);
  if (end != kNever) consider(end, SERVICE_STOPPED);
  return next;
}

SERVICE_STATUS_PROCESS StatusOf(Service &service) {
  Settle(service);
  SERVICE_STATUS_PROCESS status{};
  status.dwServiceType = service.setup.service_type;
  if (!service.started) {
    status.dwCurrentState = SERVICE_STOPPED;
    status.dwWin32ExitCode = service.exit_code;
    return status;
  }
  status.dwProcessId = service.process_id;
  if (service.stopping) {
    // As a service that says how long its stop takes.
    status.dwCurrentState = SERVICE_STOP_PENDING;
    status.dwCheckPoint = 1;
    status.dwWaitHint = service.setup.stop_ms == INFINITE ? 0 : service.setup.stop_ms;
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
  // A run whose process has ended unseen (Wine) is started again all the same.
  if (StatusOf(*found).dwCurrentState != SERVICE_STOPPED && ProcessRuns(found->process_id)) {
    SetLastError(ERROR_SERVICE_ALREADY_RUNNING);
    return FALSE;
  }
  // A process that ends before it reports any status never started.
  if (found->setup.start_script.front().state == SERVICE_STOPPED &&
      found->setup.start_script.front().at_ms == 0) {
    SetLastError(ERROR_SERVICE_REQUEST_TIMEOUT);
    return FALSE;
  }
  // The last run's process may still be there: the new one starts beside it.
  if (found->process_id != 0) DetachProcess(found->process_id, RunEndsAt(*found));
  StartRun(*found);
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
  DWORD refusal = RefusalFor(*found, StatusOf(*found).dwCurrentState, control);
  if (refusal == 0 && control == SERVICE_CONTROL_STOP &&
      !DependentsOf(*found, SERVICE_ACTIVE).empty()) {
    refusal = ERROR_DEPENDENT_SERVICES_RUNNING;
  }
  if (refusal == 0) {
    found->controls.push_back(control);
    if (control == SERVICE_CONTROL_STOP) {
      found->stopping = true;
      found->stop_at = Now();
      if (found->setup.crashes_on_stop) EndProcess(found->process_id, Now() + found->setup.stop_ms);
    }
  }
  CopyStatus(StatusOf(*found), status);
  if (refusal != 0) {
    SetLastError(refusal);
    return FALSE;
  }
  return TRUE;
}

template <typename Char>
BOOL EnumDependents(SC_HANDLE service, DWORD states, typename Records<Char>::Dependent *records,
                    DWORD size, LPDWORD needed, LPDWORD returned) {
  typedef typename Records<Char>::Dependent Record;
  typedef std::basic_string<Char> String;
  Service *found = ServiceFor(service, SERVICE_ENUMERATE_DEPENDENTS);
  if (found == nullptr) return FALSE;
  if (needed == nullptr || returned == nullptr || states == 0 || states > SERVICE_STATE_ALL) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (records == nullptr && size != 0) {
    SetLastError(ERROR_INVALID_ADDRESS);
    return FALSE;
  }
  const std::vector<Service *> dependents = DependentsOf(*found, states);
  std::vector<String> texts;
  DWORD total = static_cast<DWORD>(dependents.size() * sizeof(Record));
  for (const Service *dependent : dependents) {
    for (const WideString &text : {dependent->text.name, dependent->text.display_name}) {
      texts.push_back(InForm<Char>(text));
      total += static_cast<DWORD>((texts.back().size() + 1) * sizeof(Char));
    }
  }
  *needed = total;
  *returned = 0;
  if (records == nullptr || size < total) {
    SetLastError(ERROR_MORE_DATA);
    return FALSE;
  }
  // The records first, their texts after them.
  Char *next = reinterpret_cast<Char *>(records + dependents.size());
  for (size_t i = 0; i < dependents.size(); ++i) {
    CopyStatus(StatusOf(*dependents[i]), &records[i].ServiceStatus);
    Char **fields[] = {&records[i].lpServiceName, &records[i].lpDisplayName};
    for (size_t field = 0; field < 2; ++field) {
      const String &text = texts[2 * i + field];
      std::memcpy(next, text.c_str(), (text.size() + 1) * sizeof(Char));
      *fields[field] = next;
      next += text.size() + 1;
    }
  }
  *returned = static_cast<DWORD>(dependents.size());
  return TRUE;
}

template BOOL EnumDependents<char>(SC_HANDLE, DWORD, ENUM_SERVICE_STATUSA *, DWORD, LPDWORD,
                                   LPDWORD);
template BOOL EnumDependents<WCHAR>(SC_HANDLE, DWORD, ENUM_SERVICE_STATUSW *, DWORD, LPDWORD,
                                    LPDWORD);

}  // namespace standin
