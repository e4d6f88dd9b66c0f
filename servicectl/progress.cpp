// A wait's progress on a console, on one line that is rewritten in place.
#include <stdio.h>

#include "console_text.h"
#include "output.h"
#include "servicectl.h"

#if defined(_WIN32)
#include <service_control.h>

#include <string>

struct Progress {
  HANDLE stop;
  HANDLE thread;
  std::wstring service;
  DWORD timeoutMs;
  DWORD began;
  bool shown;
};

namespace {

const DWORD kFirstShownMs = 1000;
const DWORD kEveryMs = 250;

void Show(const wchar_t *line) {
  DWORD written;
  WriteConsoleW(GetStdHandle(STD_OUTPUT_HANDLE), line, static_cast<DWORD>(wcslen(line)), &written,
                NULL);
}

DWORD WINAPI ShowWhileWaiting(void *parameter) {
  Progress *progress = static_cast<Progress *>(parameter);
  if (WaitForSingleObject(progress->stop, kFirstShownMs) != WAIT_TIMEOUT) return 0;
  do {
    SERVICE_STATUS status = {};
    QueryServiceStateW(progress->service.c_str(), &status);
    wchar_t deadline[32] = L"no deadline";
    if (progress->timeoutMs != INFINITE) {
      swprintf(deadline, 32, L"deadline %lu s", progress->timeoutMs / 1000ul);
    }
    wchar_t line[160];
    swprintf(line, 160, L"\r%ls: %ls, check point %lu, %lu s waited, %ls  ",
             progress->service.c_str(), StateWord(status.dwCurrentState), status.dwCheckPoint,
             (GetTickCount() - progress->began) / 1000ul, deadline);
    Show(line);
    progress->shown = true;
  } while (WaitForSingleObject(progress->stop, kEveryMs) == WAIT_TIMEOUT);
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
  if (progress->shown) Show((L"\r" + std::wstring(79, L' ') + L"\r").c_str());
  delete progress;
}

#else

// The stand-in gives no console to show it on.
Progress *BeginProgress(const wchar_t *, DWORD) { return NULL; }
void EndProgress(Progress *) {}

#endif
