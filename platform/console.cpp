// The console of the simulated platform: standard output is a pipe or a
// console, text converts from the ANSI code page (1252) to UTF-16, and the
// console shows what it is given as UTF-8, as this host's terminal would.
#include <unistd.h>

#include <string>

#include "internal.h"

namespace standin {
namespace {

HANDLE const kStandardOutput = reinterpret_cast<HANDLE>(0x10);
bool output_is_console = false;

// Code page 1252 from 0x80 to 0x9F; the other bytes are the Latin-1 code
// points of the same value, and so are the five bytes that 1252 leaves free.
const WCHAR kHighControls[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

WCHAR FromAnsi(unsigned char c) { return c >= 0x80 && c <= 0x9F ? kHighControls[c - 0x80] : c; }

// UTF-8 of one UTF-16 unit; code page 1252 has no characters beyond it.
void AppendUtf8(WCHAR c, std::string *out) {
  if (c < 0x80) {
    *out += static_cast<char>(c);
  } else if (c < 0x800) {
    *out += static_cast<char>(0xC0 | c >> 6);
    *out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    *out += static_cast<char>(0xE0 | c >> 12);
    *out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
    *out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

void SetStandardOutputIsConsole(bool console) { output_is_console = console; }

void ResetConsole() { output_is_console = false; }

}  // namespace standin

using namespace standin;

extern "C" {

HANDLE WINAPI GetStdHandle(DWORD handle) {
  return handle == STD_OUTPUT_HANDLE ? kStandardOutput : INVALID_HANDLE_VALUE;
}

BOOL WINAPI GetConsoleMode(HANDLE console, LPDWORD mode) {
  if (console != kStandardOutput || !output_is_console) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  *mode = 3;  // ENABLE_PROCESSED_OUTPUT | ENABLE_WRAP_AT_EOL_OUTPUT
  return TRUE;
}

int WINAPI MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR text, int length, LPWSTR wide,
                               int wideLength) {
  if (codePage != CP_ACP || flags != 0 || text == nullptr || wideLength < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  // A length of -1 takes the text with its terminator.
  const size_t count = length < 0 ? std::char_traits<char>::length(text) + 1 : length;
  if (wideLength == 0) return static_cast<int>(count);
  if (count > static_cast<size_t>(wideLength)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  for (size_t i = 0; i < count; ++i) wide[i] = FromAnsi(static_cast<unsigned char>(text[i]));
  return static_cast<int>(count);
}

BOOL WINAPI WriteConsoleW(HANDLE console, const void *buffer, DWORD length, LPDWORD written,
                          LPVOID) {
  if (console != kStandardOutput || !output_is_console) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::string shown;
  for (DWORD i = 0; i < length; ++i) AppendUtf8(static_cast<const WCHAR *>(buffer)[i], &shown);
  // Straight to the descriptor, past the C runtime's buffer, as a console
  // write passes by the stream.
  for (size_t done = 0; done < shown.size();) {
    const ssize_t wrote = write(1, shown.data() + done, shown.size() - done);
    if (wrote <= 0) {
      SetLastError(ERROR_INVALID_HANDLE);
      return FALSE;
    }
    done += static_cast<size_t>(wrote);
  }
  if (written != nullptr) *written = length;
  return TRUE;
}

}  // extern "C"
