#include "module_forms.h"

#include <cstring>
#include <vector>

namespace {

// A string argument, widened; null stays null.
class Wide {
 public:
  explicit Wide(const char *text) : null_(text == nullptr) {
    if (text != nullptr) text_ = Widened(text);
  }
  const wchar_t *get() const { return null_ ? nullptr : text_.c_str(); }

 private:
  bool null_;
  std::wstring text_;
};

// A dependency list argument (names up to an empty one), widened with its closing zero.
std::vector<wchar_t> WidenedList(const char *list) {
  std::vector<wchar_t> wide;
  if (list == nullptr) return wide;
  while (*list != '\0') {
    for (; *list != '\0'; ++list) wide.push_back(static_cast<unsigned char>(*list));
    wide.push_back(L'\0');
    ++list;
  }
  wide.push_back(L'\0');
  return wide;
}

const wchar_t *ListOrNull(const char *list, const std::vector<wchar_t> &wide) {
  return list == nullptr ? nullptr : wide.data();
}

// A caller's buffer of count characters (none for null), widened whole, to
// be narrowed back whole after the call.
std::wstring WidenedBuffer(const char *narrow, size_t count) {
  std::wstring wide(count, L'\0');
  for (size_t i = 0; narrow != nullptr && i < count; ++i)
    wide[i] = static_cast<unsigned char>(narrow[i]);
  return wide;
}

// Narrows count units; a unit above 0xFF, which no widened text holds, shows as '?'.
void Narrow(char *to, const wchar_t *from, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    to[i] = from[i] <= 0xFF ? static_cast<char>(from[i]) : '?';
  }
}

DWORD StartAndWaitW(const char *name, DWORD *flag) {
  return StartServiceAndWaitW(Wide(name).get(), flag);
}
DWORD StartAndPollW(const char *name) { return StartServiceAndPollW(Wide(name).get()); }
DWORD StopAndWaitW(const char *name) { return StopServiceAndWaitW(Wide(name).get()); }
DWORD ControlAndWaitStoppedW(const char *name) {
  return ControlServiceAndWaitStoppedW(Wide(name).get());
}
DWORD SendControlW(const char *name, DWORD control) {
  return SendServiceControlW(Wide(name).get(), control);
}
DWORD QueryStateW(const char *name, SERVICE_STATUS *status) {
  return QueryServiceStateW(Wide(name).get(), status);
}
typedef decltype(&InstallServiceQuotedW) QuotingCallW;

// An install or a reconfiguration that quotes the path in the caller's buffer.
DWORD QuotingW(QuotingCallW call, char *path, const char *name, const char *display, DWORD type,
               DWORD start, const char *dependencies, DWORD error_control, const char *group,
               const char *account, const char *password, DWORD *error) {
  // The caller's buffer holds the path's length plus 3, and so does this
  // one, with what the caller's holds behind the path.
  std::wstring wide;
  if (path != nullptr) wide = Widened(std::string(path, std::strlen(path) + 3));
  const std::vector<wchar_t> list = WidenedList(dependencies);
  const DWORD result =
      call(path == nullptr ? nullptr : &wide[0], Wide(name).get(), Wide(display).get(), type, start,
           ListOrNull(dependencies, list), error_control, Wide(group).get(), Wide(account).get(),
           Wide(password).get(), error);
  if (path != nullptr) Narrow(path, wide.c_str(), std::wcslen(wide.c_str()) + 1);
  return result;
}
DWORD InstallQuotedW(char *path, const char *name, const char *display, DWORD type, DWORD start,
                     const char *dependencies, DWORD error_control, const char *group,
                     const char *account, const char *password, DWORD *error) {
  return QuotingW(InstallServiceQuotedW, path, name, display, type, start, dependencies,
                  error_control, group, account, password, error);
}
DWORD ReconfigureQuotedW(char *path, const char *name, const char *display, DWORD type, DWORD start,
                         const char *dependencies, DWORD error_control, const char *group,
                         const char *account, const char *password, DWORD *error) {
  return QuotingW(ReconfigureServiceQuotedW, path, name, display, type, start, dependencies,
                  error_control, group, account, password, error);
}
DWORD SetDescriptionW(const char *name, const char *description) {
  return SetServiceDescriptionW(Wide(name).get(), Wide(description).get());
}
DWORD SetFailureActionsW(const char *name, DWORD reset, const SC_ACTION *actions, DWORD count,
                         int on_non_crash) {
  return SetServiceFailureActionsW(Wide(name).get(), reset, actions, count, on_non_crash);
}
DWORD SetDelayedAutoStartW(const char *name, int delayed) {
  return SetServiceDelayedAutoStartW(Wide(name).get(), delayed);
}
DWORD InstallUnquotedW(const char *path, const char *name, const char *display, DWORD type,
                       DWORD start, const char *dependencies, DWORD error_control,
                       const char *group, const char *account, const char *password, DWORD *error) {
  const std::vector<wchar_t> list = WidenedList(dependencies);
  return InstallServiceUnquotedW(Wide(path).get(), Wide(name).get(), Wide(display).get(), type,
                                 start, ListOrNull(dependencies, list), error_control,
                                 Wide(group).get(), Wide(account).get(), Wide(password).get(),
                                 error);
}
DWORD DeleteIfStoppedW(const char *name, int stopped_only) {
  return DeleteServiceIfStoppedW(Wide(name).get(), stopped_only);
}
DWORD DeleteByNameW(const char *name) { return DeleteServiceByNameW(Wide(name).get()); }
DWORD SetStartTypeW(const char *name, DWORD start_type) {
  return SetServiceStartTypeW(Wide(name).get(), start_type);
}
DWORD ReadConfigW(const char *name, DWORD *type, DWORD *start, DWORD *error_control, DWORD *tag,
                  char *path, char *group, char *dependencies, char *display, DWORD *error) {
  // Buffers the module may fill, holding what the caller's hold, narrowed
  // back whole so that what the module left alone stays as it was.
  wchar_t wide_path[MAX_PATH];
  wchar_t wide_group[100];
  wchar_t wide_dependencies[100];
  wchar_t wide_display[100];
  const struct {
    char *narrow;
    wchar_t *wide;
    size_t count;
  } buffers[] = {{path, wide_path, MAX_PATH},
                 {group, wide_group, 100},
                 {dependencies, wide_dependencies, 100},
                 {display, wide_display, 100}};
  for (const auto &buffer : buffers) {
    for (size_t i = 0; buffer.narrow != nullptr && i < buffer.count; ++i) {
      buffer.wide[i] = static_cast<unsigned char>(buffer.narrow[i]);
    }
  }
  const DWORD result = ReadServiceConfigW(Wide(name).get(), type, start, error_control, tag,
                                          path == nullptr ? nullptr : wide_path,
                                          group == nullptr ? nullptr : wide_group,
                                          dependencies == nullptr ? nullptr : wide_dependencies,
                                          display == nullptr ? nullptr : wide_display, error);
  for (const auto &buffer : buffers) {
    if (buffer.narrow != nullptr) Narrow(buffer.narrow, buffer.wide, buffer.count);
  }
  return result;
}

DWORD StopAndWaitForExitW(const char *name, DWORD timeout) {
  return StopServiceAndWaitForExitW(Wide(name).get(), timeout);
}
DWORD DeleteAndWaitGoneW(const char *name, DWORD timeout) {
  return DeleteServiceAndWaitGoneW(Wide(name).get(), timeout);
}
DWORD StopWithDependentsW(const char *name, DWORD timeout, char *stopped, DWORD size) {
  std::wstring wide = WidenedBuffer(stopped, size);
  const DWORD result = StopServiceWithDependentsW(Wide(name).get(), timeout,
                                                  stopped == nullptr ? nullptr : &wide[0], size);
  if (stopped != nullptr) Narrow(stopped, wide.data(), size);
  return result;
}
DWORD StartWithDependentsW(const char *name, const char *dependents, DWORD timeout) {
  const std::vector<wchar_t> list = WidenedList(dependents);
  return StartServiceWithDependentsW(Wide(name).get(), ListOrNull(dependents, list), timeout);
}

DWORD StopForUpdateW(const char *name, DWORD timeout, DWORD flags, char *record, DWORD *size) {
  const DWORD room = size == nullptr ? 0 : *size;
  std::wstring wide = WidenedBuffer(record, room);
  const DWORD result = StopServicesForUpdateW(Wide(name).get(), timeout, flags,
                                              record == nullptr ? nullptr : &wide[0], size);
  if (record != nullptr) Narrow(record, wide.data(), room);
  return result;
}
DWORD RestoreAfterUpdateW(const char *record, DWORD timeout) {
  return RestoreServicesAfterUpdateW(Wide(record).get(), timeout);
}
DWORD ListFolderProcessesNarrowedW(const char *folder, SERVICE_FOLDER_PROCESSA *processes,
                                   DWORD *count) {
  std::vector<SERVICE_FOLDER_PROCESSW> wide(count == nullptr ? 0 : *count);
  const DWORD result =
      ListFolderProcessesW(Wide(folder).get(), processes == nullptr ? nullptr : wide.data(), count);
  for (size_t i = 0; processes != nullptr && count != nullptr && i < *count && i < wide.size();
       ++i) {
    processes[i].processId = wide[i].processId;
    processes[i].parentProcessId = wide[i].parentProcessId;
    Narrow(processes[i].program, wide[i].program, MAX_PATH);
  }
  return result;
}

}  // namespace

std::wstring Widened(const std::string &text) {
  std::wstring wide;
  for (char c : text) wide += static_cast<wchar_t>(static_cast<unsigned char>(c));
  return wide;
}

const ModuleForm kAnsiForm = {"A",
                              StartServiceAndWait,
                              StartServiceAndPoll,
                              StopServiceAndWait,
                              ControlServiceAndWaitStopped,
                              SendServiceControl,
                              QueryServiceState,
                              InstallServiceQuoted,
                              InstallServiceUnquoted,
                              DeleteServiceIfStopped,
                              DeleteServiceByName,
                              SetServiceStartType,
                              ReadServiceConfig,
                              ReconfigureServiceQuoted,
                              SetServiceDescription,
                              SetServiceFailureActions,
                              SetServiceDelayedAutoStart,
                              StopServiceAndWaitForExit,
                              DeleteServiceAndWaitGone,
                              StopServiceWithDependents,
                              StartServiceWithDependents,
                              StopServicesForUpdate,
                              RestoreServicesAfterUpdate,
                              ListFolderProcesses};

const ModuleForm kWideForm = {"W",
                              StartAndWaitW,
                              StartAndPollW,
                              StopAndWaitW,
                              ControlAndWaitStoppedW,
                              SendControlW,
                              QueryStateW,
                              InstallQuotedW,
                              InstallUnquotedW,
                              DeleteIfStoppedW,
                              DeleteByNameW,
                              SetStartTypeW,
                              ReadConfigW,
                              ReconfigureQuotedW,
                              SetDescriptionW,
                              SetFailureActionsW,
                              SetDelayedAutoStartW,
                              StopAndWaitForExitW,
                              DeleteAndWaitGoneW,
                              StopWithDependentsW,
                              StartWithDependentsW,
                              StopForUpdateW,
                              RestoreAfterUpdateW,
                              ListFolderProcessesNarrowedW};

const ModuleForm *const kBothForms[2] = {&kAnsiForm, &kWideForm};
