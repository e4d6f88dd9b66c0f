// Kernel services of the simulated platform: the thread's last error, a
// virtual clock that Sleep advances at once, the system's message texts, its
// folders (C:\\Windows) and its comparison of names.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>

#include "internal.h"

namespace standin {
namespace {

thread_local DWORD last_error = 0;
unsigned long long now_ms = 0;
DWORD tick_start = 0;
std::set<void *> local_allocations;
std::map<DWORD, std::string> message_texts;

struct MessageText {
  DWORD code;
  const char *text;
};

// Windows' own English texts for the codes that this project and the
// simulated platform can produce.
const MessageText kMessages[] = {
    {0, "The operation completed successfully.\r\n"},
    {2, "The system cannot find the file specified.\r\n"},
    {5, "Access is denied.\r\n"},
    {6, "The handle is invalid.\r\n"},
    {8, "Not enough memory resources are available to process this command.\r\n"},
    {87, "The parameter is incorrect.\r\n"},
    {122, "The data area passed to a system call is too small.\r\n"},
    {123, "The filename, directory name, or volume label syntax is incorrect.\r\n"},
    {124, "The system call level is not correct.\r\n"},
    {160, "One or more arguments are not correct.\r\n"},
    {206, "The filename or extension is too long.\r\n"},
    {487, "Attempt to access invalid address.\r\n"},
    {1051,
     "A stop control has been sent to a service that other running services are dependent on.\r\n"},
    {1052, "The requested control is not valid for this service.\r\n"},
    {1053, "The service did not respond to the start or control request in a timely fashion.\r\n"},
    {1056, "An instance of the service is already running.\r\n"},
    {1058,
     "The service cannot be started, either because it is disabled or because it has no enabled "
     "devices associated with it.\r\n"},
    {1060, "The specified service does not exist as an installed service.\r\n"},
    {1061, "The service cannot accept control messages at this time.\r\n"},
    {1062, "The service has not been started.\r\n"},
    {1072, "The specified service has been marked for deletion.\r\n"},
    {1073, "The specified service already exists.\r\n"},
};

// Copies a folder of the system as GetWindowsDirectoryW does: its length,
// or the size needed where the buffer is too small.
UINT CopyFolder(const WCHAR *folder, LPWSTR buffer, UINT size) {
  const WideString text(folder);
  if (buffer == nullptr || size <= text.size()) return static_cast<UINT>(text.size() + 1);
  std::copy(text.begin(), text.end(), buffer);
  buffer[text.size()] = 0;
  return static_cast<UINT>(text.size());
}

const char *MessageFor(DWORD code) {
  auto given = message_texts.find(code);
  if (given != message_texts.end()) return given->second.c_str();
  for (const MessageText &message : kMessages) {
    if (message.code == code) return message.text;
  }
  return nullptr;
}

// FormatMessage in the one form this project uses: a system message into
// an allocated buffer, in the ANSI code page or as UTF-16.
template <typename Char>
DWORD FormatSystemMessage(const char *name, DWORD flags, LPCVOID source, DWORD messageId,
                          DWORD languageId, Char *buffer, DWORD size, va_list *arguments) {
  if (EnterCall(name, HexText(flags) + ", " + PointerText(source) + ", " +
                          std::to_string(messageId) + ", " + HexText(languageId) + ", " +
                          PointerText(buffer) + ", " + std::to_string(size) + ", " +
                          PointerText(arguments))) {
    return 0;
  }
  const DWORD supported =
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM;
  if (flags != supported || buffer == nullptr) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const char *text = MessageFor(messageId);
  if (text == nullptr) {
    SetLastError(ERROR_MR_MID_NOT_FOUND);
    return 0;
  }
  const size_t length = std::strlen(text);
  Char *copy = static_cast<Char *>(std::malloc((length + 1) * sizeof(Char)));
  if (copy == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return 0;
  }
  for (size_t i = 0; i <= length; ++i) {
    copy[i] = sizeof(Char) == 1 ? static_cast<Char>(text[i])
                                : static_cast<Char>(FromAnsi(static_cast<unsigned char>(text[i])));
  }
  local_allocations.insert(copy);
  *reinterpret_cast<Char **>(buffer) = copy;
  return static_cast<DWORD>(length);
}

}  // namespace

void SetTickCountStart(DWORD ticks) { tick_start = ticks; }

void SetMessageText(DWORD code, const std::string &text) { message_texts[code] = text; }

unsigned long long Now() { return now_ms; }

void AdvanceClock(unsigned long long milliseconds) { now_ms += milliseconds; }

int OpenLocalAllocationCount() { return static_cast<int>(local_allocations.size()); }

void ResetKernel() {
  now_ms = 0;
  tick_start = 0;
  for (void *allocation : local_allocations) std::free(allocation);
  local_allocations.clear();
  message_texts.clear();
}

}  // namespace standin

using namespace standin;

extern "C" {

DWORD WINAPI GetLastError(void) { return last_error; }

void WINAPI SetLastError(DWORD code) { last_error = code; }

DWORD WINAPI GetTickCount(void) {
  EnterCall("GetTickCount", "");
  return static_cast<DWORD>(tick_start + now_ms);
}

void WINAPI Sleep(DWORD milliseconds) {
  EnterCall("Sleep", std::to_string(milliseconds));
  AdvanceClock(milliseconds);
}

DWORD WINAPI FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId,
                            LPSTR buffer, DWORD size, va_list *arguments) {
  return FormatSystemMessage<char>("FormatMessageA", flags, source, messageId, languageId, buffer,
                                   size, arguments);
}

DWORD WINAPI FormatMessageW(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId,
                            LPWSTR buffer, DWORD size, va_list *arguments) {
  return FormatSystemMessage<WCHAR>("FormatMessageW", flags, source, messageId, languageId, buffer,
                                    size, arguments);
}

UINT WINAPI GetWindowsDirectoryW(LPWSTR buffer, UINT size) {
  return CopyFolder(L"C:\\Windows", buffer, size);
}

UINT WINAPI GetSystemDirectoryW(LPWSTR buffer, UINT size) {
  return CopyFolder(L"C:\\Windows\\system32", buffer, size);
}

int WINAPI CompareStringOrdinal(LPCWSTR first, int firstLength, LPCWSTR second, int secondLength,
                                BOOL ignoreCase) {
  const WideString a = firstLength < 0 ? WideString(first) : WideString(first, firstLength);
  const WideString b = secondLength < 0 ? WideString(second) : WideString(second, secondLength);
  // Without regard to case: the letters of ASCII, as far as this project's names go.
  const auto fold = [ignoreCase](WCHAR c) {
    return ignoreCase && c >= 'a' && c <= 'z' ? static_cast<WCHAR>(c - 'a' + 'A') : c;
  };
  for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
    if (fold(a[i]) != fold(b[i])) return fold(a[i]) < fold(b[i]) ? 1 : 3;
  }
  return a.size() == b.size() ? CSTR_EQUAL : a.size() < b.size() ? 1 : 3;
}

HLOCAL WINAPI LocalFree(HLOCAL memory) {
  if (EnterCall("LocalFree", PointerText(memory))) return memory;
  if (memory == nullptr) return nullptr;
  if (local_allocations.erase(memory) == 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return memory;
  }
  std::free(memory);
  return nullptr;
}

}  // extern "C"
