// The call log and the failure injection of the simulated platform.
#include <cstdint>
#include <cstdio>
#include <map>

#include "internal.h"

namespace standin {
namespace {

struct PlannedFailure {
  std::string function;
  unsigned calls_left;
  DWORD code;
};

struct CallAction {
  std::string function;
  void (*action)();
};

std::vector<Call> calls;
std::vector<PlannedFailure> failures;
std::vector<CallAction> actions;
std::map<std::string, Faults> faults;

}  // namespace

bool EnterCall(const char *function, const std::string &arguments) {
  for (const CallAction &planned : actions) {
    if (planned.function == function) planned.action();
  }
  bool fail = false;
  DWORD code = 0;
  for (PlannedFailure &planned : failures) {
    if (planned.calls_left != 0 && planned.function == function && --planned.calls_left == 0) {
      fail = true;
      code = planned.code;
    }
  }
  calls.push_back(Call{function, arguments, fail, ""});
  if (fail && code != 0) SetLastError(code);
  return fail;
}

void OnCall(const char *function, void (*action)()) {
  actions.push_back(CallAction{function, action});
}

void FailCall(const char *function, unsigned nth, DWORD code) {
  failures.push_back(PlannedFailure{function, nth, code});
}

void ReportNeededSize(const char *function, DWORD size) { faults[function].reported_size = size; }

void GrowAfterSizeQuery(const char *function, DWORD characters) {
  faults[function].growth = characters;
}

void HandBackNullDependencies(const char *function) { faults[function].null_dependencies = true; }

Faults FaultsOf(const char *function) {
  auto found = faults.find(function);
  return found == faults.end() ? Faults() : found->second;
}

const std::vector<Call> &Calls() { return calls; }

void ClearCalls() { calls.clear(); }

void ResetCallLog() {
  calls.clear();
  failures.clear();
  actions.clear();
  faults.clear();
}

template <typename Handle>
Handle HandedOut(Handle handle) {
  calls.back().handle = HandleText(reinterpret_cast<SC_HANDLE>(handle));
  return handle;
}
template SC_HANDLE HandedOut<SC_HANDLE>(SC_HANDLE);
template HANDLE HandedOut<HANDLE>(HANDLE);

std::string HandleText(SC_HANDLE handle) {
  if (handle == nullptr) return "NULL";
  return "h" + std::to_string(reinterpret_cast<std::uintptr_t>(handle));
}

std::string PointerText(const void *pointer) { return pointer == nullptr ? "NULL" : "ptr"; }

std::string StringText(const char *text) {
  if (text == nullptr) return "NULL";
  return "\"" + std::string(text) + "\"";
}

std::string WideStringText(const WCHAR *text) {
  if (text == nullptr) return "NULL";
  return "L\"" + Utf8Of(text) + "\"";
}

std::string HexText(DWORD value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(value));
  return text;
}

}  // namespace standin
