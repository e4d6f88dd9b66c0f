// What a scenario needs of the platform it runs on: register, start, watch and
// remove test services. The host suite implements it with the stand-in, the
// Windows suite with the real test service and the real manager.
#ifndef SERVICE_FIXTURE_H
#define SERVICE_FIXTURE_H

#include <windows.h>

#include <string>
#include <vector>

#include "test_service_behaviour.h"

// Prepares the platform for a new test.
void BeginServiceTest();

// Registers a test service, after removing any leftover of that name: the
// test service program, or a copy of it at program (CopyTestServiceInto),
// depending on the services of dependencies (names each with its zero).
void InstallTestService(const char *name, const TestServiceBehaviour &behaviour, DWORD start_type,
                        const std::wstring &program = std::wstring(),
                        const std::string &dependencies = std::string());

// Starts the service and lets it come up to running.
void StartTestService(const char *name);

// The service's current state.
DWORD TestServiceState(const char *name);

// The control codes that reached the service, in order.
std::vector<DWORD> ReceivedControls(const char *name);

// Stops the service, killing it if it does not stop, deletes it and waits
// until it is gone.
void RemoveTestService(const char *name);

// Waits, a few seconds at most, until a deleted service is gone: Windows may
// keep it registered for a moment after its last handle is closed, and until
// then opening it still works and creating it again gives 1072. The module's
// DeleteServiceAndWaitGone does it.
void WaitUntilGone(const char *name);

// Puts a copy of the test service program, which runs with the default
// behaviour when given no arguments, at folder\svc.exe in a new folder of
// that name beside the tests, and returns its full path (any path serves
// the stand-in).
std::wstring CopyTestServiceInto(const std::wstring &folder);

// Writes the test service program over the copy at path, as an updater
// replaces a program. Returns 0, or the code of the failure:
// ERROR_SHARING_VIOLATION while a process runs the copy.
DWORD OverwriteTestServiceCopy(const std::wstring &path);

// Removes that copy, its marks and its folder.
void RemoveTestServiceCopy(const std::wstring &path);

// Saves the record of StopServicesForUpdate to a file and restores from it,
// as an updater that restarted itself would: in another process where the
// platform has them (demo_service.exe restore FILE). Returns the restore's
// result.
DWORD RestoreFromFileInAnotherProcess(const std::string &record);

// Whether a start of the service ran the copy at this path: from the mark
// that the test service leaves beside itself, or on the stand-in from the
// binary path that a start of the service found.
bool TestServiceCopyRan(const char *name, const std::wstring &path);

#endif
