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
  if (EnterCall("MultiByteToWideChar", std::to_string(codePage) + ", " + HexText(flags) + ", " +
                                           PointerText(text) + ", " + std::to_string(length) +
                                           ", " + PointerText(wide) + ", " +
                                           std::to_string(wideLength))) {
    return 0;
  }
  // A length of 0 or below -1, or room without a buffer, is refused as Windows refuses it.
  if (codePage != CP_ACP || flags != 0 || text == nullptr || length == 0 || length < -1 ||
      wideLength < 0 || (wideLength > 0 && wide == nullptr)) {
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

int WINAPI WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wide, int wideLength, LPSTR text,
                               int length, LPCSTR defaultChar, BOOL *usedDefault) {
  // UTF-8 and the ANSI code page, as the project asks for them; a length of
  // -1 takes the text with its terminator.
  if ((codePage != CP_UTF8 && codePage != CP_ACP) || flags != 0 || wide == nullptr ||
      wideLength < -1 || length < 0 || defaultChar != nullptr || usedDefault != nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const WideString given = wideLength < 0 ? WideString(wide) + WCHAR(0)
                                          : WideString(wide, static_cast<size_t>(wideLength));
  const std::string converted = codePage == CP_UTF8 ? Utf8Of(given) : WideToAnsi(given);
  if (length == 0) return static_cast<int>(converted.size());
  if (converted.size() > static_cast<size_t>(length)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  converted.copy(text, converted.size());
  return static_cast<int>(converted.size());
}

BOOL WINAPI WriteConsoleW(HANDLE console, const void *buffer, DWORD length, LPDWORD written,
                          LPVOID) {
  if (EnterCall("WriteConsoleW", PointerText(buffer) + ", " + std::to_string(length))) return FALSE;
  if (console != kStandardOutput || !output_is_console) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  const std::string shown = Utf8Of(WideString(static_cast<const WCHAR *>(buffer), length));
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
