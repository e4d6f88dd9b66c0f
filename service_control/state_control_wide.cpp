// Moving a service between its running states, and reading its state: the
// wide forms.
#include "service_control.h"
#include "state_control.h"

extern "C" {
STATE_CONTROL_EXPORTS(wchar_t, W)
}  // extern "C"
