// Registers, starts, reports, stops or removes the service "tessera" for the
// demo and the benchmark: the test service, by default start-pending for
// about 3 s with a rising check point, then running. stop-for-exit prints
// what StopServiceAndWaitForExit returns within a deadline of MS.
//   demo_service install [BEHAVIOUR ARGUMENTS] | start | state | stop-for-exit MS | remove
#include <service_control.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "service_fixture.h"

int main(int argc, char **argv) {
  const char kName[] = "tessera";
  const char *command = argc >= 2 ? argv[1] : "";
  if (std::strcmp(command, "install") == 0) {
    TestServiceBehaviour behaviour;
    behaviour.pending_ms = 3000;
    behaviour.wait_hint = 2000;
    // The arguments after the command, in the test service's own form.
    if (!ParseBehaviour(argc - 1, argv + 1, &behaviour)) {
      std::fprintf(stderr, "demo_service: bad behaviour arguments\n");
      return 2;
    }
    InstallTestService(kName, behaviour, SERVICE_DEMAND_START);
    return 0;
  }
  if (argc == 2 && std::strcmp(command, "start") == 0) {
    StartTestService(kName);
    return 0;
  }
  if (argc == 2 && std::strcmp(command, "state") == 0) {
    std::printf("%lu\n", static_cast<unsigned long>(TestServiceState(kName)));
    return 0;
  }
  if (argc == 3 && std::strcmp(command, "stop-for-exit") == 0) {
    const DWORD deadline = static_cast<DWORD>(std::strtoul(argv[2], nullptr, 10));
    std::printf("%lu\n", static_cast<unsigned long>(StopServiceAndWaitForExit(kName, deadline)));
    return 0;
  }
  if (argc == 2 && std::strcmp(command, "remove") == 0) {
    RemoveTestService(kName);
    return 0;
  }
  std::fprintf(stderr,
               "usage: demo_service install [BEHAVIOUR ARGUMENTS] | start | state | "
               "stop-for-exit MS | remove\n");
  return 2;
}
