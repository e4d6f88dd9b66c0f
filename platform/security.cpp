// The calling thread's token, as an elevated administrator's: the process's
// token holds the SeDebugPrivilege, disabled; a thread that impersonates
// itself may enable it on its own token, and drops that token when it
// reverts.
#include <cstring>

#include "service_manager.h"

namespace standin {
namespace {

const LUID kDebugPrivilege = {20, 0};
const HANDLE kCurrentThread = reinterpret_cast<HANDLE>(static_cast<intptr_t>(-2));

bool caller_holds_debug = true;
bool impersonates = false;
bool debug_enabled = false;

}  // namespace

bool DebugPrivilegeEnabled() { return impersonates && debug_enabled; }

void SetCallerHoldsDebugPrivilege(bool holds) { caller_holds_debug = holds; }

void ResetSecurity() {
  caller_holds_debug = true;
  impersonates = false;
  debug_enabled = false;
}

}  // namespace standin

using namespace standin;

extern "C" {

HANDLE WINAPI GetCurrentThread(void) { return kCurrentThread; }

BOOL WINAPI OpenThreadToken(HANDLE thread, DWORD access, BOOL openAsSelf, HANDLE *token) {
  if (EnterCall("OpenThreadToken",
                HexText(access) + ", " + std::to_string(openAsSelf) + ", " + PointerText(token))) {
    return FALSE;
  }
  if (thread != kCurrentThread || token == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!impersonates) {
    SetLastError(ERROR_NO_TOKEN);
    return FALSE;
  }
  *token = HandedOut(NewTokenHandle());
  return TRUE;
}

BOOL WINAPI ImpersonateSelf(SECURITY_IMPERSONATION_LEVEL level) {
  if (EnterCall("ImpersonateSelf", std::to_string(level))) return FALSE;
  impersonates = true;
  debug_enabled = false;
  return TRUE;
}

BOOL WINAPI RevertToSelf(void) {
  if (EnterCall("RevertToSelf", "")) return FALSE;
  impersonates = false;
  debug_enabled = false;
  return TRUE;
}

BOOL WINAPI LookupPrivilegeValueW(LPCWSTR system, LPCWSTR name, LUID *luid) {
  if (EnterCall("LookupPrivilegeValueW", WideStringText(system) + ", " + WideStringText(name))) {
    return FALSE;
  }
  if (system != nullptr || name == nullptr || WideString(name) != L"SeDebugPrivilege") {
    SetLastError(ERROR_NO_SUCH_PRIVILEGE);
    return FALSE;
  }
  *luid = kDebugPrivilege;
  return TRUE;
}

BOOL WINAPI AdjustTokenPrivileges(HANDLE token, BOOL disableAll, TOKEN_PRIVILEGES *state, DWORD,
                                  TOKEN_PRIVILEGES *, LPDWORD) {
  if (EnterCall("AdjustTokenPrivileges", std::to_string(disableAll))) return FALSE;
  if (!IsTokenHandle(token) || state == nullptr || state->PrivilegeCount != 1) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  const LUID_AND_ATTRIBUTES &asked = state->Privileges[0];
  const bool debug = std::memcmp(&asked.Luid, &kDebugPrivilege, sizeof kDebugPrivilege) == 0;
  // A privilege that the token does not hold stays off, and the call says so.
  if (!debug || !caller_holds_debug) {
    SetLastError(ERROR_NOT_ALL_ASSIGNED);
    return TRUE;
  }
  debug_enabled = (asked.Attributes & SE_PRIVILEGE_ENABLED) != 0;
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

}  // extern "C"
