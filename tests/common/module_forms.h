// The module's ANSI and wide forms behind the ANSI signatures, so that one
// table runs for both. The wide form widens each byte of a name or text to
// the UTF-16 unit of the same value (Latin-1) and narrows what it hands back
// the same way, so the table's texts and expectations stay as they are.
#ifndef MODULE_FORMS_H
#define MODULE_FORMS_H

#include <service_control.h>

#include <ostream>
#include <string>

// Each call has the signature of the ANSI operation.
struct ModuleForm {
  const char *suffix;  // "A" for the ANSI form, "W" for the wide form
  decltype(&StartServiceAndWait) start_and_wait;
  decltype(&StartServiceAndPoll) start_and_poll;
  decltype(&StopServiceAndWait) stop_and_wait;
  decltype(&ControlServiceAndWaitStopped) control_and_wait_stopped;
  decltype(&SendServiceControl) send_control;
  decltype(&QueryServiceState) query_state;
  decltype(&InstallServiceQuoted) install_quoted;
  decltype(&InstallServiceUnquoted) install_unquoted;
  decltype(&DeleteServiceIfStopped) delete_if_stopped;
  decltype(&DeleteServiceByName) delete_by_name;
  decltype(&SetServiceStartType) set_start_type;
  decltype(&ReadServiceConfig) read_config;
  decltype(&ReconfigureServiceQuoted) reconfigure_quoted;
  decltype(&SetServiceDescription) set_description;
  decltype(&SetServiceFailureActions) set_failure_actions;
  decltype(&SetServiceDelayedAutoStart) set_delayed_auto_start;
  decltype(&StopServiceAndWaitForExit) stop_and_wait_for_exit;
  decltype(&DeleteServiceAndWaitGone) delete_and_wait_gone;
  decltype(&StopServiceWithDependents) stop_with_dependents;
  decltype(&StartServiceWithDependents) start_with_dependents;
  decltype(&StopServicesForUpdate) stop_for_update;
  decltype(&RestoreServicesAfterUpdate) restore_after_update;
  decltype(&ListFolderProcesses) list_folder_processes;
  // The platform's name for one of its A/W calls in this form: "OpenServiceA" or "OpenServiceW".
  std::string Platform(const char *call) const { return std::string(call) + suffix; }
};

extern const ModuleForm kAnsiForm;
extern const ModuleForm kWideForm;
extern const ModuleForm *const kBothForms[2];

// Names the form in test output.
inline void PrintTo(const ModuleForm *form, std::ostream *out) { *out << form->suffix; }

// A text with each byte widened to the unit of the same value.
std::wstring Widened(const std::string &text);

#endif
