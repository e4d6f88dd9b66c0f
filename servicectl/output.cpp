#include "output.h"

#include <stdio.h>

#include "console_text.h"
#include "system_text.h"

namespace {

struct State {
  const wchar_t *name;
  const wchar_t *word;
};

// By the platform's values, from 1; the first for any other.
const State kStates[] = {{L"UNKNOWN", L"?"},
                         {L"STOPPED", L"stopped"},
                         {L"START_PENDING", L"starting"},
                         {L"STOP_PENDING", L"stopping"},
                         {L"RUNNING", L"running"},
                         {L"CONTINUE_PENDING", L"continuing"},
                         {L"PAUSE_PENDING", L"pausing"},
                         {L"PAUSED", L"paused"}};

const State &StateOf(DWORD state) { return kStates[state < 8 ? state : 0]; }

// Milliseconds as people read them: 1,240 ms.
std::wstring Milliseconds(DWORD ms) {
  std::wstring digits = std::to_wstring(ms);
  for (size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, L",");
  return digits + L" ms";
}

// A console gets the text as it is, a pipe or file as UTF-8.
void WriteText(FILE *stream, DWORD stdHandle, const std::wstring &text) {
  if (WriteToConsole(stream, stdHandle, text.c_str(), text.size())) return;
  const std::string utf8 = Utf8(text);
  fwrite(utf8.data(), 1, utf8.size(), stream);
}

}  // namespace

std::wstring Quoted(const std::wstring &text) {
  std::wstring json = L"\"";
  for (wchar_t c : text) {
    if (c == L'"' || c == L'\\') {
      json += L'\\';
      json += c;
    } else if (c < 0x20) {
      json += L"\\u00";
      json += L"0123456789abcdef"[c >> 4];
      json += L"0123456789abcdef"[c & 15];
    } else {
      json += c;
    }
  }
  return json + L"\"";
}

std::wstring Number(unsigned long long value) { return std::to_wstring(value); }

std::wstring SystemText(DWORD code) {
  wchar_t *text = SystemTextW(code);
  if (text == NULL) return std::wstring();
  std::wstring copy = text;
  LocalFree(text);
  while (!copy.empty() && (copy.back() == L'\n' || copy.back() == L'\r')) copy.pop_back();
  return copy;
}

std::wstring LineText(const std::wstring &systemText) {
  return systemText.empty() ? L"the system has no text for it" : systemText;
}

std::wstring FromAnsi(const std::string &ansi) {
  // A character of the ANSI code page is one or two bytes, and one UTF-16 unit.
  std::wstring wide(ansi.size(), L'\0');
  wide.resize(
      static_cast<size_t>(MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()),
                                              &wide[0], static_cast<int>(wide.size()))));
  return wide;
}

const wchar_t *StateName(DWORD state) { return StateOf(state).name; }

const wchar_t *StateWord(DWORD state) { return StateOf(state).word; }

std::string Utf8(const std::wstring &text) {
  const int units = static_cast<int>(text.size());
  // The size first: none for no text, or for text that cannot be converted.
  std::string utf8(
      static_cast<size_t>(WideCharToMultiByte(CP_UTF8, 0, text.data(), units, NULL, 0, NULL, NULL)),
      '\0');
  if (!utf8.empty()) {
    WideCharToMultiByte(CP_UTF8, 0, text.data(), units, &utf8[0], static_cast<int>(utf8.size()),
                        NULL, NULL);
  }
  return utf8;
}

void WriteOut(const std::wstring &text) { WriteText(stdout, STD_OUTPUT_HANDLE, text); }

void WriteError(const std::wstring &text) { WriteText(stderr, STD_ERROR_HANDLE, text); }

void WriteUsageError(const std::wstring &why, const std::wstring &usage) {
  WriteError(L"servicectl: " + why + L"\n" + usage);
}

void Print(const wchar_t *command, const std::wstring &service, bool json, const Report &report,
           const std::wstring &text, DWORD elapsedMs) {
  if (json) {
    std::wstring object = L"{\"command\":" + Quoted(command) + L",\"service\":" + Quoted(service) +
                          L",\"result\":" + Number(report.result) + L",\"text\":" + Quoted(text) +
                          L",\"elapsedMs\":" + Number(elapsedMs) + L",\"data\":{";
    for (size_t i = 0; i < report.data.size(); ++i) {
      object += (i == 0 ? L"" : L",") +
                Quoted(std::wstring(report.data[i].first.begin(), report.data[i].first.end())) +
                L":" + report.data[i].second;
    }
    WriteOut(object + L"},\"accepted\":" + (report.accepted ? L"true" : L"false") + L"}\n");
    return;
  }
  if (report.result == ERROR_SUCCESS) {
    WriteOut(report.line + L" (" + Milliseconds(elapsedMs) + L")\n");
    return;
  }
  const std::wstring line = L"servicectl " + std::wstring(command) +
                            (service.empty() ? L"" : L" ") + service + L": error " +
                            Number(report.result) + (report.accepted ? L" accepted: " : L": ") +
                            LineText(text) + L"\n";
  if (report.accepted) {
    WriteOut(line);
  } else {
    WriteError(line);
  }
}
