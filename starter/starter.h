// The starter's console report.
#ifndef STARTER_H
#define STARTER_H

#include <windows.h>

// Prints "\nError: " with the system's text for code, or "\nUnknown Error"
// when the system has none. A console is given the text as UTF-16, so that
// it shows the same characters; a pipe or file gets its ANSI bytes.
void PrintSystemError(DWORD code);

// Starts the service "tessera", waits for the start to settle and prints the
// outcome on standard output.
void StartTesseraAndReport(void);

#endif
