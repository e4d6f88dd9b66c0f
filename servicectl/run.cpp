// servicectl from its command line to its exit status: the command that the
// arguments name, read by the table of options, run, and what came of it
// written out.
#include <stdio.h>

#include "commands.h"
#include "servicectl.h"

namespace {

std::wstring AllUsages() {
  std::wstring usage;
  for (size_t i = 0; i < kCommandCount; ++i) usage += UsageOf(kCommands[i].words);
  return usage + L"       servicectl --version | --help\n";
}

int UsageError(const Command *command, const std::wstring &why) {
  WriteUsageError(why, command != NULL ? UsageOf(command->words) : AllUsages());
  return static_cast<int>(kUsageError);
}

}  // namespace

int RunServicectl(int argc, const wchar_t *const *argv) {
  std::vector<std::wstring> words;
  Options options;
  bool help = false;
  for (int i = 1; i < argc; ++i) {
    const std::wstring word = argv[i];
    if (word == L"--json") {
      options.json = true;
    } else if (word == L"--help" || word == L"-h" || word == L"/?") {
      help = true;
    } else {
      words.push_back(word);
    }
  }
  if (words.empty()) {
    if (help) {
      WriteOut(AllUsages());
      return 0;
    }
    return UsageError(NULL, L"no command");
  }
  if (words[0] == L"--version") {
    WriteOut(L"servicectl " TESSERA_VERSION_WIDE L"\n");
    return 0;
  }
  const Command *command = NULL;
  for (size_t i = 0; i < kCommandCount; ++i) {
    if (words[0] == kCommands[i].words.name) command = &kCommands[i];
  }
  if (command == NULL) return UsageError(NULL, L"unknown command '" + words[0] + L"'");
  if (help) {
    WriteOut(UsageOf(command->words));
    return 0;
  }
  std::wstring why = ReadArguments(command->words, {words.begin() + 1, words.end()}, &options);
  if (why.empty() && command->check != NULL) why = command->check(&options);
  if (!why.empty()) return UsageError(command, why);
  Report report;
  const DWORD started = GetTickCount();
  command->run(options, &report);
  Print(command->words.name, options.name, options.json, report, GetTickCount() - started);
  fflush(stdout);
  fflush(stderr);
  return static_cast<int>(report.result);
}
