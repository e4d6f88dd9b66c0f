// servicectl's commands: each the module's calls that it makes, and what it
// says of them.
#ifndef SERVICECTL_COMMANDS_H
#define SERVICECTL_COMMANDS_H

#include <string>

#include "options.h"
#include "output.h"

struct Command {
  CommandWords words;
  // Why the options do not make this command, which it reads further (a
  // start type, a control code); empty where they do. Null for no check.
  std::wstring (*check)(Options *options);
  // Runs it: its result, line and data go into report.
  void (*run)(const Options &options, Report *report);
};

extern const Command kCommands[];
extern const size_t kCommandCount;

#endif
