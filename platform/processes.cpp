// The simulated system's processes: those that services' starts create and
// the children those start (one of which may start a grandchild at a
// pace), each holding its program until it ends, and running as its
// service's account; the kernel's handles to them, to lists of them and to
// tokens (OpenProcess, WaitForSingleObject in virtual time, the image path,
// CreateToolhelp32Snapshot and its walk, CloseHandle, which closes the files
// of files.cpp too). A process that runs
// as LocalSystem may be opened to be ended only with the SeDebugPrivilege
// enabled, as an administrator's on Windows.
#include <unistd.h>

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
  WideString account;
  // It starts a process of its program this often (0: never), which runs
  // spawned_lives_ms (INFINITE: until Reset); the last one it started then.
  DWORD spawns_every_ms;
  DWORD spawned_lives_ms;
  unsigned long long spawned_at;
};

// What a kernel handle refers to: a process, or a list of processes taken
// when it was made, walked from next.
struct KernelObject {
  bool token;
  DWORD process_id;
  // The process, by its place in the table, which an id handed out again
  // does not change; its rights.
  size_t process;
  DWORD access;
  std::vector<PROCESSENTRY32W> listed;
  size_t next;
  // The host's descriptor of a file that it stands for; -1 for none.
  int file = -1;
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

// Virtual milliseconds as 100 ns ticks, from a day in 2015: processes made
// in one millisecond in the order of their making, and their ends, and the
// time now, at its last tick.
FILETIME FileTimeAt(unsigned long long ms, unsigned long long tick) {
  const unsigned long long ticks = 0x01D0000000000000ull + ms * 10000 + tick;
  return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

// Starts what the pacing processes would have started by now, up to their end.
void SpawnDue() {
  for (size_t i = 0; i < processes.size(); ++i) {
    if (processes[i].spawns_every_ms == 0) continue;
    const unsigned long long end = std::min(EndOf(processes[i]), Now() + 1);
    while (processes[i].spawned_at + processes[i].spawns_every_ms < end) {
      const Process &parent = processes[i];
      const unsigned long long at = parent.spawned_at + parent.spawns_every_ms;
      const unsigned long long ends_at =
          parent.spawned_lives_ms == INFINITE ? kNever : at + parent.spawned_lives_ms;
      processes.push_back(Process{next_process_id++, 0, parent.id, at, parent.program, false, 0,
                                  kNever, ends_at, parent.account, 0, 0, 0});
      processes[i].spawned_at = at;
    }
  }
}

// The program file of a process, from the command line that started it.
WideString ImageOf(const Process &process) {
  const WideString &line = process.program;
  if (!line.empty() && line[0] == '"') return line.substr(1, line.find('"', 1) - 1);
  return line.substr(0, line.find(' '));
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
                   DWORD outlives_parent_ms, const WideString &account) {
  processes.push_back(Process{next_process_id, service, parent_id, Now(), program, child,
                              outlives_parent_ms, kNever, kNever, account, 0, 0, 0});
  return next_process_id++;
}

void SpawnEvery(DWORD id, DWORD every_ms, DWORD lives_ms) {
  if (Process *process = FindProcess(id)) {
    process->spawns_every_ms = every_ms;
    process->spawned_lives_ms = lives_ms;
    process->spawned_at = process->created_at;
  }
}

void StartProcess(DWORD id, DWORD parent_id, const WideString &program) {
  processes.push_back(
      Process{id, 0, parent_id, Now(), program, false, 0, kNever, kNever, L"", 0, 0, 0});
}

void KillProcess(DWORD id) { EndProcess(id, Now()); }

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
  SpawnDue();
  const Process *process = FindProcess(id);
  return process != nullptr && EndOf(*process) > Now();
}

bool ProgramInUse(const WideString &program) {
  SpawnDue();
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
  for (const auto &entry : kernel_handles) {
    if (entry.second.file >= 0) close(entry.second.file);
  }
  kernel_handles.clear();
  next_process_id = 100;
}

HANDLE OpenRunningProcess(DWORD id, DWORD access) {
  if (!ProcessRuns(id)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const Process *process = FindProcess(id);
  if ((access & PROCESS_TERMINATE) != 0 && process->account == L"LocalSystem" &&
      !DebugPrivilegeEnabled()) {
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  const size_t place = static_cast<size_t>(process - processes.data());
  return NewKernelHandle(KernelObject{false, id, place, access, {}, 0});
}

HANDLE NewTokenHandle() { return NewKernelHandle(KernelObject{true, 0, 0, 0, {}, 0}); }

bool IsTokenHandle(HANDLE handle) {
  const KernelObject *object = FindKernelObject(handle);
  return object != nullptr && object->token;
}

// The process behind a process handle that carries the right; null, with the
// last error set, otherwise.
Process *ProcessFor(HANDLE handle, DWORD needed_access) {
  const KernelObject *object = FindKernelObject(handle);
  if (object == nullptr || object->token || object->process_id == 0) {
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
  const unsigned long long end = EndOf(*process);
  *creation = FileTimeAt(process->created_at, static_cast<size_t>(process - processes.data()) + 1);
  *exit = end <= Now() ? FileTimeAt(end, 9999) : FILETIME{0, 0};
  return TRUE;
}

BOOL ImageOfProcess(HANDLE handle, LPWSTR name, LPDWORD size) {
  const Process *process = ProcessFor(handle, 0);
  if (process == nullptr) return FALSE;
  if ((FindKernelObject(handle)->access & (PROCESS_QUERY_LIMITED_INFORMATION | 0x400u)) == 0) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  const WideString image = ImageOf(*process);
  if (name == nullptr || size == nullptr || *size <= image.size()) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::copy(image.begin(), image.end(), name);
  name[image.size()] = 0;
  *size = static_cast<DWORD>(image.size());
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
  SpawnDue();
  KernelObject list{false, 0, 0, 0, {}, 0};
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
  if (list == nullptr || list->token || list->process_id != 0) {
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

HANDLE NewFileHandle(int file) {
  KernelObject object{false, 0, 0, 0, {}, 0};
  object.file = file;
  return NewKernelHandle(object);
}

int FileOfHandle(HANDLE handle) {
  const KernelObject *object = FindKernelObject(handle);
  return object == nullptr ? -1 : object->file;
}

BOOL CloseKernelHandle(HANDLE handle, bool failing) {
  const int file = FileOfHandle(handle);
  if (file >= 0) close(file);
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

void WINAPI GetSystemTimeAsFileTime(FILETIME *now) { *now = FileTimeAt(Now(), 9999); }

void WINAPI GetSystemTime(SYSTEMTIME *now) {
  FILETIME time;
  GetSystemTimeAsFileTime(&time);
  const unsigned long long ms =
      ((static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime) / 10000;
  // Days since 1601-01-01 as a civil date, counted in eras of 400 years
  // from 0000-03-01, which 1601-01-01 follows by 584,694 days.
  const long long days = static_cast<long long>(ms / 86400000) + 584694;
  const long long era = days / 146097, day_of_era = days % 146097;
  const long long year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const long long day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const long long month_index = (5 * day_of_year + 2) / 153;
  const long long month = month_index < 10 ? month_index + 3 : month_index - 9;
  const unsigned long long in_day = ms % 86400000;
  now->wYear = static_cast<WORD>(era * 400 + year_of_era + (month <= 2 ? 1 : 0));
  now->wMonth = static_cast<WORD>(month);
  now->wDay = static_cast<WORD>(day_of_year - (153 * month_index + 2) / 5 + 1);
  now->wDayOfWeek = static_cast<WORD>((ms / 86400000 + 1) % 7);  // 1601-01-01 was a Monday
  now->wHour = static_cast<WORD>(in_day / 3600000);
  now->wMinute = static_cast<WORD>(in_day / 60000 % 60);
  now->wSecond = static_cast<WORD>(in_day / 1000 % 60);
  now->wMilliseconds = static_cast<WORD>(in_day % 1000);
}

BOOL WINAPI QueryFullProcessImageNameW(HANDLE process, DWORD flags, LPWSTR name, LPDWORD size) {
  if (EnterCall("QueryFullProcessImageNameW",
                KernelHandleText(process) + ", " + std::to_string(flags))) {
    return FALSE;
  }
  return ImageOfProcess(process, name, size);
}

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
