// servicectl: the module's operations on the command line, for installers
// and scripts, which read its exit status.
#ifndef SERVICECTL_H
#define SERVICECTL_H

#include <windows.h>

#include <string>

// What a usage error exits with: ERROR_BAD_ARGUMENTS.
const DWORD kUsageError = 160;

// Runs the command that the arguments (argv[0] the program) name. Returns
// the exit status: 0, the Win32 code of the failure, or kUsageError.
int RunServicectl(int argc, const wchar_t *const *argv);

// Shows a wait's progress on a console, on one line rewritten in place,
// once it has lasted a second: the service's state, its check point, the
// seconds waited and the deadline. Nothing where standard output is no
// console.
struct Progress;

// The progress line of a wait that has lasted waitedMs, which rewrites the
// last in place; empty before a second has passed.
std::wstring ProgressLine(const wchar_t *service, DWORD state, DWORD checkPoint, DWORD waitedMs,
                          DWORD timeoutMs);

// What takes a progress line away, where one was shown; empty otherwise.
std::wstring ProgressEnd(bool shown);

Progress *BeginProgress(const wchar_t *service, DWORD timeoutMs);
void EndProgress(Progress *progress);

#endif
