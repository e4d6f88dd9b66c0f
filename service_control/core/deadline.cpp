#include "core/deadline.h"

namespace service_control {

Deadline DeadlineIn(DWORD timeoutMs) {
  const Deadline deadline = {GetTickCount(), timeoutMs};
  return deadline;
}

DWORD RemainingMs(const Deadline &deadline) {
  if (deadline.timeoutMs == INFINITE) return INFINITE;
  const DWORD elapsed = GetTickCount() - deadline.start;
  return elapsed < deadline.timeoutMs ? deadline.timeoutMs - elapsed : 0;
}

}  // namespace service_control
