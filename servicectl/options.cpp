#include "options.h"

#include <stdio.h>

#include "output.h"

namespace {

// Which of names the text is; -1 for none.
int IndexOf(const std::wstring &text, const wchar_t *const *names, int count) {
  for (int i = 0; i < count; ++i) {
    if (text == names[i]) return i;
  }
  return -1;
}

// TYPE:MS, TYPE restart, reboot, run or none.
bool ParseAction(const std::wstring &text, Options *options) {
  static const wchar_t *const kTypes[] = {L"none", L"restart", L"reboot", L"run"};
  const size_t colon = text.find(L':');
  const int type = IndexOf(text.substr(0, colon), kTypes, 4);
  DWORD delay;
  if (colon == std::wstring::npos || type < 0 ||
      !ParseNumber(text.substr(colon + 1), 0xFFFFFFFFu, &delay)) {
    return false;
  }
  options->actions.push_back({static_cast<SC_ACTION_TYPE>(type), delay});
  return true;
}

// Reads one line from standard input, without its line break.
std::wstring ReadPasswordLine() {
  char line[1024];
  if (fgets(line, sizeof line, stdin) == NULL) return std::wstring();
  std::string text(line);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return FromAnsi(text);
}

template <std::wstring Options::*field>
bool TakeText(const std::wstring &value, Options *options) {
  options->*field = value;
  return !value.empty();
}

template <bool Options::*field>
bool TakeSwitch(const std::wstring &, Options *options) {
  options->*field = true;
  return true;
}

// One option: its name, whether a value follows it, and what takes it,
// false for a malformed value.
struct Option {
  const wchar_t *name;
  bool valued;
  bool (*take)(const std::wstring &value, Options *options);
};

const Option kOptions[] = {
    {L"--timeout", true,
     [](const std::wstring &value, Options *options) {
       if (value == L"infinite") {
         options->timeoutMs = INFINITE;
         return true;
       }
       return ParseNumber(value, INFINITE - 1, &options->timeoutMs);
     }},
    {L"--record", true, TakeText<&Options::record>},
    {L"--display", true, TakeText<&Options::display>},
    {L"--start", true, ParseStartType},
    {L"--error", true,
     [](const std::wstring &value, Options *options) {
       const int control = IndexOf(value, kErrorControls, 4);
       options->errorControl = static_cast<DWORD>(control);
       return control >= 0;
     }},
    {L"--depends", true, TakeText<&Options::depends>},
    {L"--group", true, TakeText<&Options::group>},
    {L"--account", true, TakeText<&Options::account>},
    {L"--password-stdin", false,
     [](const std::wstring &, Options *options) {
       options->password = ReadPasswordLine();
       return true;
     }},
    {L"--description", true, TakeText<&Options::description>},
    {L"--path", true, TakeText<&Options::argument>},
    {L"--reset", true,
     [](const std::wstring &value, Options *options) {
       return options->resetGiven = ParseNumber(value, 0xFFFFFFFFu, &options->resetSeconds);
     }},
    {L"--action", true, ParseAction},
    {L"--with-dependents", false, TakeSwitch<&Options::withDependents>},
    {L"--for-update", false, TakeSwitch<&Options::forUpdate>},
    {L"--kill-at-deadline", false, TakeSwitch<&Options::kill>},
    {L"--wait-for-folder", false, TakeSwitch<&Options::waitForFolder>},
    {L"--unquoted", false, TakeSwitch<&Options::unquoted>},
    {L"--if-stopped", false, TakeSwitch<&Options::ifStopped>},
    {L"--wait", false, TakeSwitch<&Options::wait>},
    {L"--on-non-crash-failures", false, TakeSwitch<&Options::onNonCrash>},
};

const Option *Find(const std::wstring &name) {
  for (const Option &option : kOptions) {
    if (name == option.name) return &option;
  }
  return NULL;
}

bool Takes(const CommandWords &command, const std::wstring &option) {
  return std::wstring(command.options).find(option + L" ") != std::wstring::npos;
}

}  // namespace

const wchar_t *const kStartTypes[5] = {L"boot", L"system", L"auto", L"demand", L"disabled"};
const wchar_t *const kErrorControls[4] = {L"ignore", L"normal", L"severe", L"critical"};

bool ParseNumber(const std::wstring &text, unsigned long long most, DWORD *value) {
  if (text.empty() || text.size() > 10) return false;
  unsigned long long number = 0;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') return false;
    number = number * 10 + static_cast<unsigned>(c - L'0');
  }
  if (number > most) return false;
  *value = static_cast<DWORD>(number);
  return true;
}

bool ParseStartType(const std::wstring &text, Options *options) {
  options->delayed = text == L"delayed-auto";
  const int type = options->delayed ? SERVICE_AUTO_START : IndexOf(text, kStartTypes, 5);
  if (type < static_cast<int>(SERVICE_AUTO_START)) return false;
  options->startType = static_cast<DWORD>(type);
  return true;
}

std::wstring UsageOf(const CommandWords &command) {
  std::wstring usage = std::wstring(L"usage: servicectl [--json] ") + command.name;
  if (*command.arguments != 0) usage += std::wstring(L" ") + command.arguments;
  const std::wstring options = command.options;
  for (size_t at = 0; at < options.size();) {
    const size_t end = options.find(L' ', at);
    const std::wstring name = options.substr(at, end - at);
    usage += L" [" + name + (Find(name)->valued ? L" VALUE]" : L"]");
    at = end + 1;
  }
  return usage + L"\n";
}

std::wstring ReadArguments(const CommandWords &command, const std::vector<std::wstring> &words,
                           Options *options) {
  int positionals = 0;
  for (size_t i = 0; i < words.size(); ++i) {
    const std::wstring &word = words[i];
    if (word.compare(0, 2, L"--") != 0) {
      if (positionals == command.positionals) return L"too many arguments";
      (positionals++ == 0 && command.positionals > 0 ? options->name : options->argument) = word;
      continue;
    }
    const Option *option = Takes(command, word) ? Find(word) : NULL;
    if (option == NULL) return L"unknown option " + word;
    if (option->valued && i + 1 == words.size()) return word + L" needs a value";
    const std::wstring value = option->valued ? words[++i] : std::wstring();
    if (!option->take(value, options)) return L"bad value for " + word + L": " + value;
  }
  if (positionals < command.positionals) return std::wstring(L"missing ") + command.arguments;
  return std::wstring();
}
