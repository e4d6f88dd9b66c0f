// Text for a program's standard output or error, written so that a console
// shows the same characters whatever its own code page, and a pipe or file
// gets bytes that a script reads.
#ifndef CONSOLE_TEXT_H
#define CONSOLE_TEXT_H

#include <stdio.h>
#include <windows.h>

// The console behind stdHandle (a GetStdHandle number); null where that is
// none (a pipe, a file).
HANDLE ConsoleOf(DWORD stdHandle);

// Writes a system text, which is in the ANSI code page, to stream (whose
// GetStdHandle number is stdHandle): a console gets it as UTF-16, so that
// it shows the same characters (the ANSI and the console code page differ
// in most languages, 1252 and 850 in French); a pipe or file gets the bytes
// as they are, as callers that read the output expect, and so does a
// console that refuses the wide text, rather than lose it.
void WriteSystemText(FILE *stream, DWORD stdHandle, const char *text);

// Writes length UTF-16 units to the console behind stdHandle, after what
// stream holds. Returns whether a console took them: false for a pipe or file.
bool WriteToConsole(FILE *stream, DWORD stdHandle, const wchar_t *text, size_t length);

#endif
