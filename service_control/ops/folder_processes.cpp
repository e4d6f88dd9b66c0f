// The processes that hold a folder's programs: those whose program lies in
// it, or below it, as the update's wait for a folder finds them.
#include "core/owned.h"
#include "core/scm_session.h"
#include "service_control.h"
#include "wait/process_tree.h"

namespace service_control {
namespace {

const DWORD kLongestImage = 32768;

// The folder as UTF-16, without a backslash at its end. Returns false where
// it does not fit.
bool FolderOf(const wchar_t *given, WCHAR *folder) {
  size_t length = TextLength(given);
  while (length > 0 && given[length - 1] == '\\') --length;
  if (length >= MAX_PATH) return false;
  for (size_t at = 0; at < length; ++at) folder[at] = given[at];
  folder[length] = 0;
  return true;
}
bool FolderOf(const char *given, WCHAR *folder) {
  WCHAR wide[MAX_PATH];
  return MultiByteToWideChar(CP_ACP, 0, given, -1, wide, MAX_PATH) != 0 && FolderOf(wide, folder);
}

void CopyProgram(const WCHAR *image, SERVICE_FOLDER_PROCESSW *process) {
  CopyBounded(process->program, image, MAX_PATH);
}
// The ANSI form's path, converted whole before it is cut.
void CopyProgram(const WCHAR *image, SERVICE_FOLDER_PROCESSA *process) {
  HeapBuffer<char> ansi(kLongestImage * 2);
  const bool converted =
      ansi.get() != NULL &&
      WideCharToMultiByte(CP_ACP, 0, image, -1, ansi.records(), kLongestImage * 2, NULL, NULL) != 0;
  CopyBounded(process->program, converted ? ansi.records() : "", MAX_PATH);
}

template <typename Char, typename Record>
DWORD ListInFolder(const Char *given, Record *processes, DWORD *count) {
  WCHAR folder[MAX_PATH];
  if (given == NULL || count == NULL || (processes == NULL && *count != 0) ||
      !FolderOf(given, folder)) {
    return CodeResult(ERROR_INVALID_PARAMETER);
  }
  GrowingList<ListedProcess> list;
  DWORD code = ReadProcessList(&list);
  HeapBuffer<WCHAR> image(kLongestImage * sizeof(WCHAR));
  if (code == ERROR_SUCCESS && image.get() == NULL) code = ERROR_NOT_ENOUGH_MEMORY;
  if (code != ERROR_SUCCESS) return CodeResult(code);
  DWORD found = 0;
  for (size_t i = 0; i < list.count(); ++i) {
    const KernelHandle process(
        list[i].id == 0 ? NULL : OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, list[i].id));
    if (!ImageOf(process.get(), image.records(), kLongestImage) ||
        !LiesIn(image.records(), folder)) {
      continue;
    }
    if (found < *count) {
      processes[found].processId = list[i].id;
      processes[found].parentProcessId = list[i].parentId;
      CopyProgram(image.records(), &processes[found]);
    }
    ++found;
  }
  const bool fits = found <= *count;
  *count = found;
  return CodeResult(fits ? ERROR_SUCCESS : ERROR_INSUFFICIENT_BUFFER);
}

}  // namespace
}  // namespace service_control

using namespace service_control;

extern "C" {

DWORD ListFolderProcesses(const char *folder, SERVICE_FOLDER_PROCESSA *processes, DWORD *count) {
  return ListInFolder(folder, processes, count);
}
DWORD ListFolderProcessesW(const wchar_t *folder, SERVICE_FOLDER_PROCESSW *processes,
                           DWORD *count) {
  return ListInFolder(folder, processes, count);
}

}  // extern "C"
