#include "log.h"

#include <stdio.h>

#include <algorithm>

namespace {

// The number with zeros before it, to width digits.
std::wstring Padded(unsigned value, size_t width) {
  const std::wstring digits = Number(value);
  return std::wstring(width - std::min(width, digits.size()), L'0') + digits;
}

// The time now, UTC, as 2026-12-10T09:15:02.123Z.
std::wstring TimeNow() {
  SYSTEMTIME now;
  GetSystemTime(&now);
  return Padded(now.wYear, 4) + L"-" + Padded(now.wMonth, 2) + L"-" + Padded(now.wDay, 2) + L"T" +
         Padded(now.wHour, 2) + L":" + Padded(now.wMinute, 2) + L":" + Padded(now.wSecond, 2) +
         L"." + Padded(now.wMilliseconds, 3) + L"Z";
}

// An argument as a command line gives it: quoted where it is empty or holds
// a space, a tab or a quote, with the backslashes before a quote or the end
// doubled. No password is among them: one comes only on standard input.
std::wstring Argument(const std::wstring &word) {
  if (!word.empty() && word.find_first_of(L" \t\"") == std::wstring::npos) return word;
  std::wstring quoted = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : word) {
    if (c == L'"') quoted.append(backslashes + 1, L'\\');
    backslashes = c == L'\\' ? backslashes + 1 : 0;
    quoted += c;
  }
  return quoted.append(backslashes, L'\\') + L"\"";
}

}  // namespace

void AppendToLog(const std::wstring &file, const std::vector<std::wstring> &words,
                 const Report &report, const std::wstring &text, const std::wstring &why,
                 DWORD elapsedMs) {
  std::wstring line = TimeNow() + L" servicectl";
  for (const std::wstring &word : words) line += L" " + Argument(word);
  line += L" => " + Number(report.result) + (report.accepted ? L" accepted" : L"") + L": " +
          LineText(text) + (why.empty() ? L"" : L" (" + why + L")") + L" (" + Number(elapsedMs) +
          L" ms)\r\n";
  const std::string bytes = Utf8(line);
  const HANDLE log = CreateFileW(file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  DWORD code = log == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
  DWORD written;
  if (code == ERROR_SUCCESS &&
      !WriteFile(log, bytes.data(), static_cast<DWORD>(bytes.size()), &written, NULL)) {
    code = GetLastError();
  }
  if (log != INVALID_HANDLE_VALUE) CloseHandle(log);
  if (code != ERROR_SUCCESS) {
    WriteError(L"servicectl: cannot write the log " + file + L": error " + Number(code) + L": " +
               SystemText(code) + L"\n");
  }
}
