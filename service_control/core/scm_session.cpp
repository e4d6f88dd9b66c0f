#include "core/scm_session.h"

namespace service_control {

DWORD CodeResult(DWORD code) {
  if (code != ERROR_SUCCESS) SetLastError(code);
  return code;
}

DWORD StageResult(DWORD *error, Outcome outcome) {
  if (error != NULL) *error = outcome.code;
  if (outcome.code == ERROR_SUCCESS) return 0;
  SetLastError(outcome.code);
  return outcome.stage;
}

}  // namespace service_control
