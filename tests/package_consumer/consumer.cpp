// What an updater does with the installed module: register a service, start
// it, see it run, stop it and remove it. Exit status 0 when every step did
// what it should.
//   consumer SERVICE_PROGRAM
#include <service_control.h>
#include <stdio.h>
#include <string.h>

namespace {

const char kName[] = "tessera-package-consumer";

int Failed(const char *step, DWORD code) {
  printf("consumer: %s gave %lu\n", step, static_cast<unsigned long>(code));
  return 1;
}

}  // namespace

int main(int argc, char **argv) {
  char path[MAX_PATH];
  if (argc != 2 || strlen(argv[1]) + 3 > sizeof path) {
    printf("usage: consumer SERVICE_PROGRAM\n");
    return 2;
  }
  strcpy(path, argv[1]);
  DeleteServiceByName(kName);  // a leftover of an interrupted run
  DWORD error = 0;
  DWORD result =
      InstallServiceQuoted(path, kName, kName, SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, "",
                           SERVICE_ERROR_NORMAL, "", "", "", &error);
  if (result != 0) return Failed("InstallServiceQuoted", error);
  DWORD notRunning = 0;
  result = StartServiceAndWait(kName, &notRunning);
  if (result != 0 || notRunning != 0) return Failed("StartServiceAndWait", result);
  // The wide forms come with the package too.
  SERVICE_STATUS status;
  result = QueryServiceStateW(L"tessera-package-consumer", &status);
  if (result != 0 || status.dwCurrentState != SERVICE_RUNNING) {
    return Failed("QueryServiceStateW", result != 0 ? result : status.dwCurrentState);
  }
  result = StopServiceAndWait(kName);
  if (result != 0) return Failed("StopServiceAndWait", result);
  result = DeleteServiceByName(kName);
  if (result != 0) return Failed("DeleteServiceByName", result);
  // Windows may keep a deleted service registered for a moment.
  result = QueryServiceState(kName, &status);
  for (int tries = 0; tries < 50 && result != ERROR_SERVICE_DOES_NOT_EXIST; ++tries) {
    Sleep(100);
    result = QueryServiceState(kName, &status);
  }
  if (result != ERROR_SERVICE_DOES_NOT_EXIST) {
    return Failed("QueryServiceState after deletion", result);
  }
  printf("consumer: installed %s, started, running, stopped, deleted\n", path);
  return 0;
}
