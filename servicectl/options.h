// servicectl's command line: what it asks for, and the one table of options
// that reads it and that usage is made from.
#ifndef SERVICECTL_OPTIONS_H
#define SERVICECTL_OPTIONS_H

#include <windows.h>

#include <string>
#include <vector>

const DWORD kDefaultTimeoutMs = 30000;

// What the command line asks for.
struct Options {
  std::wstring name;      // NAME, or FOLDER for holders
  std::wstring argument;  // PATH, TEXT, a start type or a control code
  std::wstring display, group, account, password, description, record, depends;
  std::wstring log;            // the file that each run appends its line to
  std::vector<DWORD> okCodes;  // results that exit 0, accepted
  bool passwordGiven = false;
  DWORD timeoutMs = kDefaultTimeoutMs;
  DWORD startType = SERVICE_NO_CHANGE;
  bool delayed = false;
  DWORD errorControl = SERVICE_NO_CHANGE;
  DWORD resetSeconds = 0;
  bool resetGiven = false;
  DWORD control = 0;
  std::vector<SC_ACTION> actions;
  bool json = false, unquoted = false, withDependents = false, forUpdate = false, kill = false;
  bool waitForFolder = false, ifStopped = false, wait = false, onNonCrash = false;
};

// A command's words: its name, the arguments that usage shows before its
// options, how many they are, and the options it takes, each followed by a
// space.
struct CommandWords {
  const wchar_t *name;
  const wchar_t *arguments;
  int positionals;
  const wchar_t *options;
};

// The usage line of one command.
std::wstring UsageOf(const CommandWords &command);

// The options that every command takes, as CommandWords lists them, and a
// line of usage for them.
extern const wchar_t kEveryCommandOptions[];
extern const wchar_t kEveryCommandUsage[];

// Where the command's name is among the words: the first that is neither an
// option that every command takes nor its value; words.size() for none.
size_t CommandAt(const std::vector<std::wstring> &words);

// Reads the words besides the command's name into options. Returns why they
// are not the command's, or nothing. It reads on past the first fault, so
// that --json and --log are known for the usage error too.
std::wstring ReadArguments(const CommandWords &command, const std::vector<std::wstring> &words,
                           Options *options);

// The pieces of text between the separators: "a,,b," gives a, "", b and "".
std::vector<std::wstring> Split(const std::wstring &text, wchar_t separator);

// A number of up to 10 decimal digits, at most most.
bool ParseNumber(const std::wstring &text, unsigned long long most, DWORD *value);

// "auto", "delayed-auto", "demand" or "disabled", into the start type and
// whether it is delayed.
bool ParseStartType(const std::wstring &text, Options *options);

// The names of the start types and error controls, by their values.
extern const wchar_t *const kStartTypes[5];
extern const wchar_t *const kErrorControls[4];

#endif
