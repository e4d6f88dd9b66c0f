// Notifications of a service's status, as Wine's manager gives them: one
// registration per handle, delivered only in an alertable wait of the
// thread (SleepEx, WaitForSingleObjectEx) at the service's next report
// whose state the mask holds, or at once for a state already reached when
// the handle has had none delivered before; closing the handle cancels it,
// unless a test makes the notifier late, as Wine's thread can be: it then
// writes the record, and runs its callback, at the next alertable wait after
// the close that lasts. Tests can queue an APC of someone else's, which wakes
// an alertable wait too.
#include <algorithm>
#include <cstdint>
#include <map>
#include <set>

#include "service_manager.h"

namespace standin {
namespace {

struct Registration {
  SERVICE_NOTIFYW *record;
  DWORD mask;
  unsigned long long registered_at;
};

std::map<std::uintptr_t, Registration> registrations;
std::set<std::uintptr_t> delivered_before;
std::vector<unsigned long long> foreign_apcs;
// Records of closed handles that the late notifier writes, with the status
// that it writes into them.
struct LateWrite {
  SERVICE_NOTIFYW *record;
  SERVICE_STATUS_PROCESS status;
  unsigned long long closed_at;
};
std::vector<LateWrite> late_writes;
bool notifier_late = false;

std::uintptr_t Key(SC_HANDLE handle) { return reinterpret_cast<std::uintptr_t>(handle); }

// When a registration's callback is due, kNever if nothing will bring it.
unsigned long long DueAt(SC_HANDLE handle, const Registration &registration) {
  Service *service = ServiceFor(handle, SERVICE_QUERY_STATUS);
  if (service == nullptr) return kNever;
  if (delivered_before.count(Key(handle)) == 0 &&
      (registration.mask & NotifyBit(StatusOf(*service).dwCurrentState)) != 0) {
    return registration.registered_at;
  }
  return NextReportAt(*service, registration.registered_at, registration.mask);
}

// Runs the APCs due at the current time. Returns whether any ran.
bool DeliverDue() {
  bool ran = false;
  // The late notifier's callbacks, read from the record as the platform reads them.
  std::vector<LateWrite> due;
  for (auto it = late_writes.begin(); it != late_writes.end();) {
    if (it->closed_at < Now()) {
      due.push_back(*it);
      it = late_writes.erase(it);
    } else {
      ++it;
    }
  }
  for (const LateWrite &late : due) {
    late.record->dwNotificationStatus = ERROR_SUCCESS;
    late.record->ServiceStatus = late.status;
    late.record->dwNotificationTriggered = NotifyBit(late.status.dwCurrentState);
    late.record->pfnNotifyCallback(late.record);
    ran = true;
  }
  for (auto it = registrations.begin(); it != registrations.end();) {
    SC_HANDLE handle = reinterpret_cast<SC_HANDLE>(it->first);
    if (DueAt(handle, it->second) > Now()) {
      ++it;
      continue;
    }
    SERVICE_NOTIFYW *record = it->second.record;
    it = registrations.erase(it);
    delivered_before.insert(Key(handle));
    record->dwNotificationStatus = ERROR_SUCCESS;
    record->ServiceStatus = StatusOf(*ServiceFor(handle, SERVICE_QUERY_STATUS));
    record->dwNotificationTriggered = NotifyBit(record->ServiceStatus.dwCurrentState);
    record->pfnNotifyCallback(record);
    ran = true;
  }
  const size_t before = foreign_apcs.size();
  foreign_apcs.erase(std::remove_if(foreign_apcs.begin(), foreign_apcs.end(),
                                    [](unsigned long long at) { return at <= Now(); }),
                     foreign_apcs.end());
  return ran || foreign_apcs.size() != before;
}

// An alertable wait of up to milliseconds, ended early by an APC or by the
// end of the process behind process (when not null).
DWORD AlertableWait(HANDLE process, DWORD milliseconds) {
  unsigned long long process_end = kNever;
  if (process != nullptr && !ProcessEndOfHandle(process, &process_end)) return WAIT_FAILED;
  if (process_end <= Now()) return WAIT_OBJECT_0;
  if (DeliverDue()) return WAIT_IO_COMPLETION;
  unsigned long long apc = kNever;
  for (const auto &entry : registrations) {
    apc = std::min(apc, DueAt(reinterpret_cast<SC_HANDLE>(entry.first), entry.second));
  }
  if (!late_writes.empty() && milliseconds != 0) apc = std::min(apc, Now() + 1);
  for (unsigned long long at : foreign_apcs) apc = std::min(apc, at);
  const unsigned long long timeout =
      milliseconds == INFINITE ? kNever : Now() + static_cast<unsigned long long>(milliseconds);
  const unsigned long long until = std::min({apc, process_end, timeout});
  // Nothing else runs in virtual time that could end it.
  if (until == kNever) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  AdvanceClock(until - Now());
  if (process_end == until) return WAIT_OBJECT_0;
  if (apc == until && DeliverDue()) return WAIT_IO_COMPLETION;
  return WAIT_TIMEOUT;
}

DWORD Register(SC_HANDLE handle, DWORD mask, SERVICE_NOTIFYW *record) {
  if (ServiceFor(handle, SERVICE_QUERY_STATUS) == nullptr) return GetLastError();
  if (record == nullptr || record->dwVersion != SERVICE_NOTIFY_STATUS_CHANGE ||
      record->pfnNotifyCallback == nullptr) {
    return ERROR_INVALID_PARAMETER;
  }
  if (registrations.count(Key(handle)) != 0) return ERROR_ALREADY_REGISTERED;
  registrations[Key(handle)] = Registration{record, mask, Now()};
  return ERROR_SUCCESS;
}

}  // namespace

void ForgetNotifications(SC_HANDLE handle) {
  auto pending = registrations.find(Key(handle));
  if (pending != registrations.end() && notifier_late) {
    Service *service = ServiceFor(handle, SERVICE_QUERY_STATUS);
    late_writes.push_back(
        LateWrite{pending->second.record,
                  service == nullptr ? SERVICE_STATUS_PROCESS{} : StatusOf(*service), Now()});
  }
  if (pending != registrations.end()) registrations.erase(pending);
  delivered_before.erase(Key(handle));
}

void ResetNotifications() {
  registrations.clear();
  delivered_before.clear();
  foreign_apcs.clear();
  late_writes.clear();
  notifier_late = false;
}

void SetNotifierLate(bool late) { notifier_late = late; }

void QueueForeignApc(unsigned long long at_ms) { foreign_apcs.push_back(at_ms); }

}  // namespace standin

using namespace standin;

extern "C" {

DWORD WINAPI NotifyServiceStatusChangeW(SC_HANDLE service, DWORD mask, PSERVICE_NOTIFYW notify) {
  if (EnterCall("NotifyServiceStatusChangeW",
                HandleText(service) + ", " + HexText(mask) + ", " + PointerText(notify))) {
    return GetLastError();
  }
  return Register(service, mask, notify);
}

DWORD WINAPI SleepEx(DWORD milliseconds, BOOL alertable) {
  EnterCall("SleepEx", std::to_string(milliseconds) + ", " + std::to_string(alertable));
  if (!alertable) {
    AdvanceClock(milliseconds);
    return 0;
  }
  const DWORD waited = AlertableWait(nullptr, milliseconds);
  return waited == WAIT_IO_COMPLETION ? WAIT_IO_COMPLETION : 0;
}

DWORD WINAPI WaitForSingleObjectEx(HANDLE handle, DWORD milliseconds, BOOL alertable) {
  if (EnterCall("WaitForSingleObjectEx", HandleText(reinterpret_cast<SC_HANDLE>(handle)) + ", " +
                                             std::to_string(milliseconds) + ", " +
                                             std::to_string(alertable))) {
    return WAIT_FAILED;
  }
  return alertable ? AlertableWait(handle, milliseconds) : WaitForProcess(handle, milliseconds);
}

}  // extern "C"
