// The process list of the platform's Tool Help calls, as the project uses
// them, for hosts other than Windows; served by the simulated platform.
#ifndef STANDIN_TLHELP32_H
#define STANDIN_TLHELP32_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

#define TH32CS_SNAPPROCESS 0x00000002u

typedef struct tagPROCESSENTRY32W {
  DWORD dwSize;
  DWORD cntUsage;
  DWORD th32ProcessID;
  uintptr_t th32DefaultHeapID;
  DWORD th32ModuleID;
  DWORD cntThreads;
  DWORD th32ParentProcessID;
  LONG pcPriClassBase;
  DWORD dwFlags;
  WCHAR szExeFile[MAX_PATH];
} PROCESSENTRY32W;

HANDLE WINAPI CreateToolhelp32Snapshot(DWORD flags, DWORD processId);
BOOL WINAPI Process32FirstW(HANDLE snapshot, PROCESSENTRY32W *entry);
BOOL WINAPI Process32NextW(HANDLE snapshot, PROCESSENTRY32W *entry);

#ifdef __cplusplus
}
#endif

#endif
