// The simulated manager's configuration records: a change in place, and the
// records that the queries hand back, with their texts in UTF-16 as the
// manager keeps them or converted to the ANSI code page.
#include <cstring>

#include "service_manager.h"

namespace standin {

template <>
std::string InForm<char>(const WideString &text) {
  return WideToAnsi(text);
}
template <>
WideString InForm<WCHAR>(const WideString &text) {
  return text;
}

BOOL ChangeConfig(SC_HANDLE service, const ConfigTexts &text, DWORD serviceType, DWORD startType,
                  DWORD errorControl) {
  Service *found = ServiceFor(service, SERVICE_CHANGE_CONFIG);
  if (found == nullptr) return FALSE;
  if (found->marked_for_delete) {
    SetLastError(ERROR_SERVICE_MARKED_FOR_DELETE);
    return FALSE;
  }
  if (startType != SERVICE_NO_CHANGE && !IsProgramStartType(startType)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  ServiceSetup &setup = found->setup;
  if (serviceType != SERVICE_NO_CHANGE) setup.service_type = serviceType;
  if (startType != SERVICE_NO_CHANGE) setup.start_type = startType;
  if (errorControl != SERVICE_NO_CHANGE) setup.error_control = errorControl;
  Texts &held = found->text;
  const std::pair<const Text *, WideString *> changes[] = {
      {&text.binary_path, &held.binary_path},   {&text.load_order_group, &held.load_order_group},
      {&text.dependencies, &held.dependencies}, {&text.account, &held.account},
      {&text.password, &held.password},         {&text.display_name, &held.display_name}};
  for (const auto &change : changes) {
    if (!change.first->null) *change.second = change.first->value;
  }
  return TRUE;
}

// The configuration record with its texts in Char: UTF-16 as the manager
// keeps them, or converted to the ANSI code page.
template <typename Char>
BOOL QueryConfig(SC_HANDLE service, typename Records<Char>::Config *config, DWORD bufferSize,
                 LPDWORD bytesNeeded, const Faults &faults) {
  typedef typename Records<Char>::Config Config;
  Service *found = ServiceFor(service, SERVICE_QUERY_CONFIG);
  if (found == nullptr) return FALSE;
  if (bytesNeeded == nullptr) {
    SetLastError(ERROR_INVALID_ADDRESS);
    return FALSE;
  }
  const ServiceSetup &setup = found->setup;
  Texts &text = found->text;
  typedef std::basic_string<Char> String;
  const Char zero = 0;
  // The strings follow the record in one buffer; an empty dependency list is
  // a single zero, with the account name right after it.
  const String strings[] = {
      InForm<Char>(text.binary_path) + zero, InForm<Char>(text.load_order_group) + zero,
      text.dependencies.empty() ? String(1, zero) : InForm<Char>(text.dependencies) + zero,
      InForm<Char>(text.account) + zero, InForm<Char>(text.display_name) + zero};
  DWORD needed = sizeof(Config);
  for (const String &string : strings) needed += static_cast<DWORD>(string.size() * sizeof(Char));
  *bytesNeeded = faults.reported_size != 0 ? faults.reported_size : needed;
  if (config == nullptr || bufferSize < needed) {
    text.display_name.append(faults.growth, '+');
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  Char *next = reinterpret_cast<Char *>(config + 1);
  Char **fields[] = {&config->lpBinaryPathName, &config->lpLoadOrderGroup, &config->lpDependencies,
                     &config->lpServiceStartName, &config->lpDisplayName};
  for (size_t i = 0; i < 5; ++i) {
    std::memcpy(next, strings[i].data(), strings[i].size() * sizeof(Char));
    *fields[i] = next;
    next += strings[i].size();
  }
  if (faults.null_dependencies) config->lpDependencies = nullptr;
  config->dwServiceType = setup.service_type;
  config->dwStartType = setup.start_type;
  config->dwErrorControl = setup.error_control;
  config->dwTagId = setup.tag;
  return TRUE;
}

// A change of one optional setting, with the platform's checks on its value.
template <typename Char>
BOOL ChangeOptional(SC_HANDLE service, DWORD level, LPVOID info) {
  typedef typename Records<Char>::Description Description;
  typedef typename Records<Char>::FailureActions FailureActions;
  Service *found = ServiceFor(service, SERVICE_CHANGE_CONFIG);
  if (found == nullptr) return FALSE;
  if (found->marked_for_delete) {
    SetLastError(ERROR_SERVICE_MARKED_FOR_DELETE);
    return FALSE;
  }
  if (level < SERVICE_CONFIG_DESCRIPTION || level > SERVICE_CONFIG_FAILURE_ACTIONS_FLAG) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  // No information leaves the setting as it is.
  if (info == nullptr) return TRUE;
  ServiceSetup &settings = found->setup;
  if (level == SERVICE_CONFIG_DESCRIPTION) {
    const Char *text = static_cast<Description *>(info)->lpDescription;
    if (text != nullptr) settings.description = Argument(text).value;
  } else if (level == SERVICE_CONFIG_FAILURE_ACTIONS) {
    const FailureActions &given = *static_cast<FailureActions *>(info);
    // Without actions, the actions and the reset period stay as they are.
    if (given.lpsaActions != nullptr) {
      bool restarts = false;
      for (DWORD i = 0; i < given.cActions; ++i) {
        // A caller may pass any value, which the enumeration cannot hold.
        DWORD type;
        std::memcpy(&type, &given.lpsaActions[i].Type, sizeof type);
        if (type > SC_ACTION_RUN_COMMAND) {
          SetLastError(ERROR_INVALID_PARAMETER);
          return FALSE;
        }
        restarts = restarts || type == SC_ACTION_RESTART;
      }
      // Restarting the service takes the right to start it.
      if (restarts && ServiceFor(service, SERVICE_START) == nullptr) return FALSE;
      settings.failure_actions.assign(given.lpsaActions, given.lpsaActions + given.cActions);
      settings.reset_period = given.dwResetPeriod;
    }
    if (given.lpRebootMsg != nullptr) settings.reboot_message = Argument(given.lpRebootMsg).value;
    if (given.lpCommand != nullptr) settings.command = Argument(given.lpCommand).value;
  } else if (level == SERVICE_CONFIG_DELAYED_AUTO_START_INFO) {
    settings.delayed_auto_start =
        static_cast<SERVICE_DELAYED_AUTO_START_INFO *>(info)->fDelayedAutostart != FALSE;
  } else {
    settings.on_non_crash_failures =
        static_cast<SERVICE_FAILURE_ACTIONS_FLAG *>(info)->fFailureActionsOnNonCrashFailures !=
        FALSE;
  }
  return TRUE;
}

// One optional setting in the platform's record, its texts after it in the
// buffer (an empty text is a null pointer).
template <typename Char>
BOOL QueryOptional(SC_HANDLE service, DWORD level, LPBYTE buffer, DWORD bufferSize,
                   LPDWORD bytesNeeded) {
  typedef typename Records<Char>::Description Description;
  typedef typename Records<Char>::FailureActions FailureActions;
  Service *found = ServiceFor(service, SERVICE_QUERY_CONFIG);
  if (found == nullptr) return FALSE;
  if (level < SERVICE_CONFIG_DESCRIPTION || level > SERVICE_CONFIG_FAILURE_ACTIONS_FLAG) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  if (bytesNeeded == nullptr) {
    SetLastError(ERROR_INVALID_ADDRESS);
    return FALSE;
  }
  const ServiceSetup &settings = found->setup;
  typedef std::basic_string<Char> String;
  const auto text_size = [](const String &text) {
    return text.empty() ? 0 : static_cast<DWORD>((text.size() + 1) * sizeof(Char));
  };
  const String description = InForm<Char>(settings.description);
  const String reboot_message = InForm<Char>(settings.reboot_message);
  const String command = InForm<Char>(settings.command);
  const DWORD actions_size =
      static_cast<DWORD>(settings.failure_actions.size() * sizeof(SC_ACTION));
  const DWORD sizes[] = {0, static_cast<DWORD>(sizeof(Description)) + text_size(description),
                         static_cast<DWORD>(sizeof(FailureActions)) + actions_size +
                             text_size(reboot_message) + text_size(command),
                         sizeof(SERVICE_DELAYED_AUTO_START_INFO),
                         sizeof(SERVICE_FAILURE_ACTIONS_FLAG)};
  *bytesNeeded = sizes[level];
  if (buffer == nullptr || bufferSize < sizes[level]) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memset(buffer, 0, sizes[level]);
  // Places a text after the record and returns where it went, or null for none.
  BYTE *next = buffer;
  const auto place = [&next](const String &text) -> Char * {
    if (text.empty()) return nullptr;
    Char *at = reinterpret_cast<Char *>(next);
    std::memcpy(at, text.c_str(), (text.size() + 1) * sizeof(Char));
    next += (text.size() + 1) * sizeof(Char);
    return at;
  };
  if (level == SERVICE_CONFIG_DESCRIPTION) {
    next += sizeof(Description);
    reinterpret_cast<Description *>(buffer)->lpDescription = place(description);
  } else if (level == SERVICE_CONFIG_FAILURE_ACTIONS) {
    FailureActions *record = reinterpret_cast<FailureActions *>(buffer);
    next += sizeof(FailureActions);
    record->dwResetPeriod = settings.reset_period;
    record->cActions = static_cast<DWORD>(settings.failure_actions.size());
    record->lpsaActions = nullptr;
    if (!settings.failure_actions.empty()) {
      record->lpsaActions = reinterpret_cast<SC_ACTION *>(next);
      std::memcpy(next, settings.failure_actions.data(), actions_size);
      next += actions_size;
    }
    record->lpRebootMsg = place(reboot_message);
    record->lpCommand = place(command);
  } else if (level == SERVICE_CONFIG_DELAYED_AUTO_START_INFO) {
    reinterpret_cast<SERVICE_DELAYED_AUTO_START_INFO *>(buffer)->fDelayedAutostart =
        settings.delayed_auto_start;
  } else {
    reinterpret_cast<SERVICE_FAILURE_ACTIONS_FLAG *>(buffer)->fFailureActionsOnNonCrashFailures =
        settings.on_non_crash_failures;
  }
  return TRUE;
}

template BOOL QueryConfig<char>(SC_HANDLE, QUERY_SERVICE_CONFIGA *, DWORD, LPDWORD, const Faults &);
template BOOL QueryConfig<WCHAR>(SC_HANDLE, QUERY_SERVICE_CONFIGW *, DWORD, LPDWORD,
                                 const Faults &);
template BOOL ChangeOptional<char>(SC_HANDLE, DWORD, LPVOID);
template BOOL ChangeOptional<WCHAR>(SC_HANDLE, DWORD, LPVOID);
template BOOL QueryOptional<char>(SC_HANDLE, DWORD, LPBYTE, DWORD, LPDWORD);
template BOOL QueryOptional<WCHAR>(SC_HANDLE, DWORD, LPBYTE, DWORD, LPDWORD);

}  // namespace standin
