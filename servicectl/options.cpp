#include "options.h"

#include <stdio.h>

#include <algorithm>

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

// Reads exactly one line from standard input, without its line break; a
// last line needs none. Returns false at the end of input before any.
bool ReadOneLine(std::wstring *line) {
  std::string text;
  int c = fgetc(stdin);
  if (c == EOF) return false;
  for (; c != EOF && c != '\n'; c = fgetc(stdin)) text += static_cast<char>(c);
  if (!text.empty() && text.back() == '\r') text.pop_back();
  *line = FromAnsi(text);
  return true;
}

// CODE[,CODE...], each a Win32 code.
bool ParseCodes(const std::wstring &text, Options *options) {
  for (const std::wstring &piece : Split(text, L',')) {
    DWORD code;
    if (!ParseNumber(piece, 0xFFFFFFFFu, &code)) return false;
    options->okCodes.push_back(code);
  }
  return true;
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
// false for a malformed value; and why it was refused, where that is not
// its value.
struct Option {
  const wchar_t *name;
  bool valued;
  bool (*take)(const std::wstring &value, Options *options);
  const wchar_t *refusal = NULL;
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
       if (options->passwordGiven) return false;
       options->passwordGiven = true;
       return ReadOneLine(&options->password);
     },
     L"--password-stdin takes one line of standard input, once"},
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
    {L"--json", false, TakeSwitch<&Options::json>},
    {L"--log", true, TakeText<&Options::log>},
    {L"--ok", true, ParseCodes},
};

const Option *Find(const std::wstring &name) {
  for (const Option &option : kOptions) {
    if (name == option.name) return &option;
  }
  return NULL;
}

bool Listed(const wchar_t *options, const std::wstring &option) {
  return std::wstring(options).find(option + L" ") != std::wstring::npos;
}

bool Takes(const CommandWords &command, const std::wstring &option) {
  return Listed(command.options, option) || Listed(kEveryCommandOptions, option);
}

}  // namespace

const wchar_t kEveryCommandOptions[] = L"--json --log --ok ";
const wchar_t kEveryCommandUsage[] =
    L"       every command also takes --json, --log FILE and --ok CODE[,CODE...]\n";

const wchar_t *const kStartTypes[5] = {L"boot", L"system", L"auto", L"demand", L"disabled"};
const wchar_t *const kErrorControls[4] = {L"ignore", L"normal", L"severe", L"critical"};

std::vector<std::wstring> Split(const std::wstring &text, wchar_t separator) {
  std::vector<std::wstring> pieces;
  for (size_t at = 0;;) {
    const size_t end = text.find(separator, at);
    pieces.push_back(text.substr(at, end - at));
    if (end == std::wstring::npos) return pieces;
    at = end + 1;
  }
}

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
  for (const std::wstring &name : Split(command.options, L' ')) {
    if (!name.empty()) usage += L" [" + name + (Find(name)->valued ? L" VALUE]" : L"]");
  }
  return usage + L"\n";
}

size_t CommandAt(const std::vector<std::wstring> &words) {
  size_t at = 0;
  while (at < words.size() && Listed(kEveryCommandOptions, words[at])) {
    at += Find(words[at])->valued ? 2 : 1;
  }
  return std::min(at, words.size());
}

std::wstring ReadArguments(const CommandWords &command, const std::vector<std::wstring> &words,
                           Options *options) {
  std::wstring why;
  int positionals = 0;
  for (size_t i = 0; i < words.size(); ++i) {
    const std::wstring &word = words[i];
    std::wstring fault;
    if (word.compare(0, 2, L"--") != 0) {
      if (positionals == command.positionals) {
        fault = L"too many arguments";
      } else {
        (positionals++ == 0 ? options->name : options->argument) = word;
      }
    } else if (const Option *option = Takes(command, word) ? Find(word) : NULL) {
      if (option->valued && i + 1 == words.size()) {
        fault = word + L" needs a value";
      } else {
        // A value is the next word, whatever it begins with.
        const std::wstring value = option->valued ? words[++i] : std::wstring();
        if (!option->take(value, options)) {
          fault =
              option->refusal != NULL ? option->refusal : L"bad value for " + word + L": " + value;
        }
      }
    } else {
      fault = L"unknown option " + word;
    }
    if (why.empty()) why = fault;
  }
  if (why.empty() && positionals < command.positionals) {
    why = std::wstring(L"missing ") + command.arguments;
  }
  return why;
}
