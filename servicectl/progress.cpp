// A wait's progress on a console, on one line that is rewritten in place.
#include <stdio.h>

#include <string>

#include "console_text.h"
#include "output.h"
#include "servicectl.h"

namespace {

const DWORD kFirstShownMs = 1000;

}  // namespace

std::wstring ProgressLine(const wchar_t *service, DWORD state, DWORD checkPoint, DWORD waitedMs,
                          DWORD timeoutMs) {
  if (waitedMs < kFirstShownMs) return std::wstring();
  const std::wstring deadline = timeoutMs == INFINITE
                                    ? std::wstring(L"no deadline")
                                    : L"deadline " + Number(timeoutMs / 1000) + L" s";
  return L"\r" + std::wstring(service) + L": " + StateWord(state) + L", check point " +
         Number(checkPoint) + L", " + Number(waitedMs / 1000) + L" s waited, " + deadline + L"  ";
}

std::wstring ProgressEnd(bool shown) {
  return shown ? L"\r" + std::wstring(79, L' ') + L"\r" : std::wstring();
}

#if defined(_WIN32)
#include <service_control.h>

struct Progress {
  HANDLE stop;
  HANDLE thread;
  std::wstring service;
  DWORD timeoutMs;
  DWORD began;
  bool shown;
};

namespace {

const DWORD kEveryMs = 250;

void Show(const std::wstring &line) {
  DWORD written;
  WriteConsoleW(GetStdHandle(STD_OUTPUT_HANDLE), line.c_str(), static_cast<DWORD>(line.size()),
                &written, NULL);
}

DWORD WINAPI ShowWhileWaiting(void *parameter) {
  Progress *progress = static_cast<Progress *>(parameter);
  while (WaitForSingleObject(progress->stop, kEveryMs) == WAIT_TIMEOUT) {
    SERVICE_STATUS status = {};
    QueryServiceStateW(progress->service.c_str(), &status);
    const std::wstring line =
        ProgressLine(progress->service.c_str(), status.dwCurrentState, status.dwCheckPoint,
                     GetTickCount() - progress->began, progress->timeoutMs);
    if (line.empty()) continue;
    Show(line);
    progress->shown = true;
  }
  return 0;
}

}  // namespace

Progress *BeginProgress(const wchar_t *service, DWORD timeoutMs) {
  if (ConsoleOf(STD_OUTPUT_HANDLE) == NULL) return NULL;
  Progress *progress = new Progress{
      CreateEventW(NULL, TRUE, FALSE, NULL), NULL, service, timeoutMs, GetTickCount(), false};
  if (progress->stop != NULL) {
    progress->thread = CreateThread(NULL, 0, ShowWhileWaiting, progress, 0, NULL);
  }
  if (progress->thread == NULL) {
    EndProgress(progress);
    return NULL;
  }
  return progress;
}

void EndProgress(Progress *progress) {
  if (progress == NULL) return;
  if (progress->thread != NULL) {
    SetEvent(progress->stop);
    WaitForSingleObject(progress->thread, INFINITE);
    CloseHandle(progress->thread);
  }
  if (progress->stop != NULL) CloseHandle(progress->stop);
  // The line goes: what the command says next takes its place.
  const std::wstring end = ProgressEnd(progress->shown);
  if (!end.empty()) Show(end);
  delete progress;
}

#else

// The stand-in gives no thread to show it from.
Progress *BeginProgress(const wchar_t *, DWORD) { return NULL; }
void EndProgress(Progress *) {}

#endif
