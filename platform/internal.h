// Pieces shared by the sources of the simulated platform.
#ifndef STANDIN_INTERNAL_H
#define STANDIN_INTERNAL_H

#include <standin.h>

#include <string>

namespace standin {

// Logs a call. Returns true when the call is to fail; the last error is then set.
bool EnterCall(const char *function, const std::string &arguments);

// What a test made the answers of a function do wrong, beside failing.
struct Faults {
  DWORD reported_size = 0;  // a failed size query reports it; 0 for the true size
  DWORD growth = 0;         // characters the record grows by after each size query
  bool null_dependencies = false;
};
Faults FaultsOf(const char *function);

// Notes in the log the handle that the latest call handed out, and returns it.
template <typename Handle>
Handle HandedOut(Handle handle);

std::string HandleText(SC_HANDLE handle);
std::string PointerText(const void *pointer);
std::string StringText(const char *text);
std::string HexText(DWORD value);
// A wide string as L"..." in UTF-8, or NULL.
std::string WideStringText(const WCHAR *text);

// The ANSI code page (1252) and UTF-16, as the platform converts between
// them: every byte has a character, and a character that the page cannot
// hold becomes '?'.
WCHAR FromAnsi(unsigned char c);
WideString AnsiToWide(const std::string &text);
std::string WideToAnsi(const WideString &text);
// UTF-8 of a UTF-16 text, for showing it; a lone surrogate shows as U+FFFD.
std::string Utf8Of(const WideString &text);

// Moves virtual time on, as a pause or a wait does.
void AdvanceClock(unsigned long long milliseconds);

void ResetCallLog();
void ResetKernel();
void ResetConsole();

}  // namespace standin

#endif
