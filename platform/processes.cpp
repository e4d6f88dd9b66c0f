// The simulated system's processes: those that services' starts create and
// the children those start, each holding its program until it ends; the
// kernel's handles to them and to lists of them (OpenProcess,
// WaitForSingleObject in virtual time, CreateToolhelp32Snapshot and its
// walk, CloseHandle).
#include <algorithm>
#include <cstdint>
#include <map>

#include "service_manager.h"

namespace standin {
namespace {

struct Process {
  DWORD id;
  // The service whose current run it is, by its serial; 0 for none.
  unsigned long service;
  DWORD parent_id;
  unsigned long long created_at;
  WideString program;
  // A child that a service's process started ends this long after its
  // parent (INFINITE: never on its own).
  bool child;
  DWORD outlives_parent_ms;
  // When it was killed, or ended without a word to the manager.
  unsigned long long ended_at;
  // When it ends, once no service's run decides it any more.
  unsigned long long ends_at;
};

// What a kernel handle refers to: a process, or a list of processes taken
// when it was made, walked from next.
struct KernelObject {
  DWORD process_id;
  // The process, by its place in the table, which an id handed out again
  // does not change; its rights.
  size_t process;
  DWORD access;
  std::vector<PROCESSENTRY32W> listed;
  size_t next;
};

std::vector<Process> processes;
std::map<std::uintptr_t, KernelObject> kernel_handles;
DWORD next_process_id = 100;

// The process with this id that runs, or else the one that had it last.
Process *FindProcess(DWORD id) {
  Process *found = nullptr;
  for (Process &process : processes) {
    if (process.id == id) found = &process;
  }
  return found;
}

unsigned long long EndOf(const Process &process, int depth = 0) {
  unsigned long long end = process.ends_at;
  if (Service *service = ServiceWithSerial(process.service)) {
    end = RunEndsAt(*service);
  } else if (process.child) {
    const Process *parent = FindProcess(process.parent_id);
    const unsigned long long parent_end =
        parent == nullptr || depth > 16 ? 0 : EndOf(*parent, depth + 1);
    end = parent_end == kNever || process.outlives_parent_ms == INFINITE
              ? kNever
              : parent_end + process.outlives_parent_ms;
  }
  return std::min(end, process.ended_at);
}

KernelObject *FindKernelObject(HANDLE handle) {
  auto found = kernel_handles.find(reinterpret_cast<std::uintptr_t>(handle));
  return found == kernel_handles.end() ? nullptr : &found->second;
}

HANDLE NewKernelHandle(KernelObject object) {
  const std::uintptr_t id = NewHandleId();
  kernel_handles[id] = object;
  return reinterpret_cast<HANDLE>(id);
}

}  // namespace

DWORD StartProcess(const WideString &program, unsigned long service, DWORD parent_id, bool child,
                   DWORD outlives_parent_ms) {
  processes.push_back(Process{next_process_id, service, parent_id, Now(), program, child,
                              outlives_parent_ms, kNever, kNever});
  return next_process_id++;
}

void StartProcess(DWORD id, DWORD parent_id) {
  processes.push_back(Process{id, 0, parent_id, Now(), L"C:\\other.exe", false, 0, kNever, kNever});
}

void DetachProcess(DWORD id, unsigned long long ends_at) {
  if (Process *process = FindProcess(id)) {
    process->service = 0;
    process->ends_at = ends_at;
  }
}

unsigned long long ProcessEndedAt(DWORD id) {
  const Process *process = FindProcess(id);
  return process == nullptr ? kNever : process->ended_at;
}

void EndProcess(DWORD id, unsigned long long at) {
  if (Process *process = FindProcess(id)) process->ended_at = std::min(process->ended_at, at);
}

bool ProcessRuns(DWORD id) {
  const Process *process = FindProcess(id);
  return process != nullptr && EndOf(*process) > Now();
}

bool ProgramInUse(const WideString &program) {
  for (const Process &process : processes) {
    const WideString &path = process.program;
    const bool runs_it = path == program || path.rfind(L"\"" + program + L"\"", 0) == 0;
    if (runs_it && EndOf(process) > Now()) return true;
  }
  return false;
}

int OpenKernelHandleCount() { return static_cast<int>(kernel_handles.size()); }

void ResetProcesses() {
  processes.clear();
  kernel_handles.clear();
  next_process_id = 100;
}

HANDLE OpenRunningProcess(DWORD id, DWORD access) {
  if (!ProcessRuns(id)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const size_t place = static_cast<size_t>(FindProcess(id) - processes.data());
  return NewKernelHandle(KernelObject{id, place, access, {}, 0});
}

// The process behind a process handle that carries the right; null, with the
// last error set, otherwise.
Process *ProcessFor(HANDLE handle, DWORD needed_access) {
  const KernelObject *object = FindKernelObject(handle);
  if (object == nullptr || object->process_id == 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if ((object->access & needed_access) != needed_access) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  return &processes[object->process];
}

BOOL TerminateHeldProcess(HANDLE handle) {
  Process *process = ProcessFor(handle, PROCESS_TERMINATE);
  if (process == nullptr) return FALSE;
  process->ended_at = std::min(process->ended_at, Now());
  return TRUE;
}

BOOL TimesOfProcess(HANDLE handle, FILETIME *creation, FILETIME *exit) {
  Process *process = ProcessFor(handle, 0);
  if (process == nullptr) return FALSE;
  const KernelObject *object = FindKernelObject(handle);
  if ((object->access & (PROCESS_QUERY_LIMITED_INFORMATION | 0x400u)) == 0) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  // Virtual milliseconds as 100 ns ticks, from a day in 2015: processes made
  // in one millisecond in the order of their making, and their ends at its
  // last tick.
  const auto file_time = [](unsigned long long ms, unsigned long long tick) {
    const unsigned long long ticks = 0x01D0000000000000ull + ms * 10000 + tick;
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  };
  const unsigned long long end = EndOf(*process);
  *creation = file_time(process->created_at, static_cast<size_t>(process - processes.data()) + 1);
  *exit = end <= Now() ? file_time(end, 9999) : FILETIME{0, 0};
  return TRUE;
}

bool ProcessEndOfHandle(HANDLE handle, unsigned long long *ends_at) {
  const Process *process = ProcessFor(handle, 0);
  if (process == nullptr) return false;
  *ends_at = EndOf(*process);
  return true;
}

DWORD WaitForProcess(HANDLE handle, DWORD milliseconds) {
  unsigned long long ends_at;
  if (!ProcessEndOfHandle(handle, &ends_at)) return WAIT_FAILED;
  if (ends_at <= Now()) return WAIT_OBJECT_0;
  // Nothing else runs in virtual time that could end it.
  if (ends_at == kNever && milliseconds == INFINITE) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return WAIT_FAILED;
  }
  if (milliseconds != INFINITE && Now() + milliseconds < ends_at) {
    AdvanceClock(milliseconds);
    return WAIT_TIMEOUT;
  }
  AdvanceClock(ends_at - Now());
  return WAIT_OBJECT_0;
}

HANDLE ListProcesses(DWORD flags) {
  if (flags != TH32CS_SNAPPROCESS) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  KernelObject list{0, 0, 0, {}, 0};
  for (const Process &process : processes) {
    if (EndOf(process) <= Now()) continue;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    entry.th32ProcessID = process.id;
    entry.th32ParentProcessID = process.parent_id;
    const WideString name = process.program.substr(process.program.find_last_of(L'\\') + 1);
    std::copy_n(name.c_str(), std::min<size_t>(name.size(), MAX_PATH - 1), entry.szExeFile);
    list.listed.push_back(entry);
  }
  return NewKernelHandle(list);
}

BOOL NextListedProcess(HANDLE handle, PROCESSENTRY32W *entry, bool first) {
  KernelObject *list = FindKernelObject(handle);
  if (list == nullptr || list->process_id != 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (entry == nullptr || entry->dwSize != sizeof *entry) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (first) list->next = 0;
  if (list->next == list->listed.size()) {
    SetLastError(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  *entry = list->listed[list->next++];
  return TRUE;
}

BOOL CloseKernelHandle(HANDLE handle, bool failing) {
  const bool known = kernel_handles.erase(reinterpret_cast<std::uintptr_t>(handle)) != 0;
  if (failing) return FALSE;
  if (!known) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

}  // namespace standin

using namespace standin;

namespace {

std::string KernelHandleText(HANDLE handle) {
  return HandleText(reinterpret_cast<SC_HANDLE>(handle));
}

}  // namespace

extern "C" {

HANDLE WINAPI OpenProcess(DWORD desiredAccess, BOOL inheritHandle, DWORD processId) {
  if (EnterCall("OpenProcess", HexText(desiredAccess) + ", " + std::to_string(inheritHandle) +
                                   ", " + std::to_string(processId))) {
    return nullptr;
  }
  return HandedOut(OpenRunningProcess(processId, desiredAccess));
}

BOOL WINAPI TerminateProcess(HANDLE process, UINT exitCode) {
  if (EnterCall("TerminateProcess", KernelHandleText(process) + ", " + std::to_string(exitCode))) {
    return FALSE;
  }
  return TerminateHeldProcess(process);
}

BOOL WINAPI GetProcessTimes(HANDLE process, FILETIME *creation, FILETIME *exit, FILETIME *,
                            FILETIME *) {
  if (EnterCall("GetProcessTimes", KernelHandleText(process))) return FALSE;
  return TimesOfProcess(process, creation, exit);
}

DWORD WINAPI GetCurrentProcessId(void) { return kCallingProcessId; }

DWORD WINAPI WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  if (EnterCall("WaitForSingleObject",
                KernelHandleText(handle) + ", " + std::to_string(milliseconds))) {
    return WAIT_FAILED;
  }
  return WaitForProcess(handle, milliseconds);
}

BOOL WINAPI CloseHandle(HANDLE handle) {
  return CloseKernelHandle(handle, EnterCall("CloseHandle", KernelHandleText(handle)));
}

HANDLE WINAPI CreateToolhelp32Snapshot(DWORD flags, DWORD processId) {
  if (EnterCall("CreateToolhelp32Snapshot", HexText(flags) + ", " + std::to_string(processId))) {
    return INVALID_HANDLE_VALUE;
  }
  return HandedOut(ListProcesses(flags));
}

BOOL WINAPI Process32FirstW(HANDLE snapshot, PROCESSENTRY32W *entry) {
  if (EnterCall("Process32FirstW", KernelHandleText(snapshot) + ", " + PointerText(entry))) {
    return FALSE;
  }
  return NextListedProcess(snapshot, entry, true);
}

BOOL WINAPI Process32NextW(HANDLE snapshot, PROCESSENTRY32W *entry) {
  if (EnterCall("Process32NextW", KernelHandleText(snapshot) + ", " + PointerText(entry))) {
    return FALSE;
  }
  return NextListedProcess(snapshot, entry, false);
}

}  // extern "C"
