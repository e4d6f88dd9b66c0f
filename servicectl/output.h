// What servicectl writes: a command's one line, or with --json its one JSON
// object, on standard output; a failure, with the system's own text, and a
// usage error on standard error.
#ifndef SERVICECTL_OUTPUT_H
#define SERVICECTL_OUTPUT_H

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

// What a command came to: its result code, whether --ok accepted it, its
// one line, and its data.
struct Report {
  DWORD result = 0;
  bool accepted = false;
  std::wstring line;
  std::vector<std::pair<std::string, std::wstring>> data;  // JSON values, written out
};

// The text as a JSON string.
std::wstring Quoted(const std::wstring &text);

std::wstring Number(unsigned long long value);

// Text in the ANSI code page, as UTF-16.
std::wstring FromAnsi(const std::string &ansi);

// The UTF-8 of text; empty where it has none.
std::string Utf8(const std::wstring &text);

// The system's own text for code, without the line break that ends it;
// empty where it has none.
std::wstring SystemText(DWORD code);

// The system's text as a line gives it: the text, or that there is none.
std::wstring LineText(const std::wstring &systemText);

// A service's state (dwCurrentState) as its query names it (RUNNING), and
// as its progress line says it (running).
const wchar_t *StateName(DWORD state);
const wchar_t *StateWord(DWORD state);

void WriteOut(const std::wstring &text);
void WriteError(const std::wstring &text);

// Writes a usage error: why, and the usage.
void WriteUsageError(const std::wstring &why, const std::wstring &usage);

// Writes what the command came to: done or accepted on standard output, a
// failure on standard error; with json, its object on standard output.
// text is the system's text for its result.
void Print(const wchar_t *command, const std::wstring &service, bool json, const Report &report,
           const std::wstring &text, DWORD elapsedMs);

#endif
