// Pieces shared by the sources of the simulated platform.
#ifndef STANDIN_INTERNAL_H
#define STANDIN_INTERNAL_H

#include <standin.h>

#include <string>

namespace standin {

// Logs a call. Returns true when the call is to fail; the last error is then set.
bool EnterCall(const char *function, const std::string &arguments);

std::string HandleText(SC_HANDLE handle);
std::string PointerText(const void *pointer);
std::string StringText(const char *text);
std::string HexText(DWORD value);

void ResetCallLog();
void ResetKernel();
void ResetConsole();

}  // namespace standin

#endif
