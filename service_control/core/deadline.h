// A time limit of the caller's, for the waits of the update steps.
#ifndef DEADLINE_H
#define DEADLINE_H

#include <windows.h>

namespace service_control {

// From when it was set; INFINITE is none.
struct Deadline {
  DWORD start;
  DWORD timeoutMs;
};

// A deadline timeoutMs from now.
Deadline DeadlineIn(DWORD timeoutMs);

// The shorter of two times.
inline DWORD ShorterMs(DWORD a, DWORD b) { return a < b ? a : b; }

// The milliseconds left before the deadline, 0 once it has passed, INFINITE
// for none.
DWORD RemainingMs(const Deadline &deadline);

}  // namespace service_control

#endif
