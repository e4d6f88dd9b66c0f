// servicectl from its command line to its exit status: the command that the
// arguments name, read by the table of options, run, and what came of it
// written out and, with --log, appended to a log.
#include <stdio.h>

#include <algorithm>

#include "commands.h"
#include "log.h"
#include "servicectl.h"

namespace {

bool IsHelp(const std::wstring &word) {
  return word == L"--help" || word == L"-h" || word == L"/?";
}

std::wstring AllUsages() {
  std::wstring usage;
  for (size_t i = 0; i < kCommandCount; ++i) usage += UsageOf(kCommands[i].words);
  return usage + kEveryCommandUsage + L"       servicectl --version | --help\n";
}

// What a run came to, written out and, where asked, logged; returns its
// exit status. A usage error (why) has said so on standard error already:
// only --json writes it out again, as its object.
int Finish(const wchar_t *command, const Options &options, const std::vector<std::wstring> &words,
           const Report &report, DWORD started, const std::wstring &why) {
  const DWORD elapsedMs = GetTickCount() - started;
  const std::wstring text = SystemText(report.result);
  if (why.empty() || options.json) {
    Print(command, options.name, options.json, report, text, elapsedMs);
  }
  if (!options.log.empty()) AppendToLog(options.log, words, report, text, why, elapsedMs);
  return report.accepted ? 0 : static_cast<int>(report.result);
}

// A usage error, which touches nothing: why and the usage.
int UsageError(const Command *command, const Options &options,
               const std::vector<std::wstring> &words, DWORD started, const std::wstring &why) {
  const std::wstring usage =
      command != NULL ? UsageOf(command->words) + kEveryCommandUsage : AllUsages();
  WriteUsageError(why, usage);
  Report report;
  report.result = kUsageError;
  report.data.emplace_back("why", Quoted(why));
  report.data.emplace_back("usage", Quoted(usage));
  return Finish(command != NULL ? command->words.name : L"", options, words, report, started, why);
}

}  // namespace

int RunServicectl(int argc, const wchar_t *const *argv) {
  const DWORD started = GetTickCount();
  const std::vector<std::wstring> words(argv + 1, argv + argc);
  const size_t at = CommandAt(words);
  std::vector<std::wstring> rest(words.begin(), words.begin() + static_cast<long>(at));
  const Command *command = NULL;
  if (at < words.size()) {
    for (size_t i = 0; i < kCommandCount; ++i) {
      if (words[at] == kCommands[i].words.name) command = &kCommands[i];
    }
    rest.insert(rest.end(), words.begin() + static_cast<long>(at) + 1, words.end());
  }
  Options options;
  // Help is the command, or the first word after it; never an option's value.
  if (at < words.size() && (IsHelp(words[at]) || words[at] == L"--version")) {
    WriteOut(IsHelp(words[at]) ? AllUsages() : L"servicectl " TESSERA_VERSION_WIDE L"\n");
    return 0;
  }
  if (command != NULL && at + 1 < words.size() && IsHelp(words[at + 1])) {
    WriteOut(UsageOf(command->words) + kEveryCommandUsage);
    return 0;
  }
  const CommandWords none = {L"", L"", 0, L""};
  std::wstring why = ReadArguments(command != NULL ? command->words : none, rest, &options);
  if (at == words.size()) return UsageError(NULL, options, words, started, L"no command");
  if (command == NULL) {
    return UsageError(NULL, options, words, started, L"unknown command '" + words[at] + L"'");
  }
  if (why.empty() && command->check != NULL) why = command->check(&options);
  if (!why.empty()) return UsageError(command, options, words, started, why);
  Report report;
  command->run(options, &report);
  report.accepted = report.result != ERROR_SUCCESS &&
                    std::find(options.okCodes.begin(), options.okCodes.end(), report.result) !=
                        options.okCodes.end();
  return Finish(command->words.name, options, words, report, started, std::wstring());
}
