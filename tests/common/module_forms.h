// The module's ANSI and wide forms behind the ANSI signatures, so that one
// table runs for both. The wide form widens each byte of a name or text to
// the UTF-16 unit of the same value (Latin-1) and narrows what it hands back
// the same way, so the table's texts and expectations stay as they are.
#ifndef MODULE_FORMS_H
#define MODULE_FORMS_H

#include <service_control.h>

#include <ostream>
#include <string>

struct ModuleForm {
  const char *suffix;  // "A" for the ANSI form, "W" for the wide form
  DWORD (*start_and_wait)(const char *, DWORD *);
  DWORD (*start_and_poll)(const char *);
  DWORD (*stop_and_wait)(const char *);
  DWORD (*control_and_wait_stopped)(const char *);
  DWORD (*send_control)(const char *, DWORD);
  DWORD (*query_state)(const char *, SERVICE_STATUS *);
  DWORD(*install_quoted)
  (char *, const char *, const char *, DWORD, DWORD, const char *, DWORD, const char *,
   const char *, const char *, DWORD *);
  DWORD(*install_unquoted)
  (const char *, const char *, const char *, DWORD, DWORD, const char *, DWORD, const char *,
   const char *, const char *, DWORD *);
  DWORD (*delete_if_stopped)(const char *, int);
  DWORD (*delete_by_name)(const char *);
  DWORD (*set_start_type)(const char *, DWORD);
  DWORD(*read_config)
  (const char *, DWORD *, DWORD *, DWORD *, DWORD *, char *, char *, char *, char *, DWORD *);
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
