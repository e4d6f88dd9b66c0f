// servicectl's log: one line a run, appended to a file that installers keep,
// since their custom actions' standard output goes nowhere.
#ifndef SERVICECTL_LOG_H
#define SERVICECTL_LOG_H

#include <windows.h>

#include <string>
#include <vector>

#include "output.h"

// Appends one UTF-8 line to file: the time (UTC, ISO 8601), the arguments,
// the result with text, the system's text for it (and why, for a usage
// error), whether it was accepted, and the elapsed time. The line is one
// write to a file opened for appending only, so that lines from processes
// that log at once never mix. A log that cannot be written is said on
// standard error, and changes nothing else.
void AppendToLog(const std::wstring &file, const std::vector<std::wstring> &words,
                 const Report &report, const std::wstring &text, const std::wstring &why,
                 DWORD elapsedMs);

#endif
