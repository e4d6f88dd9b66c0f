// Registers or removes the demo service "tessera": the test service, start-
// pending for about 3 s with a rising check point, then running.
//   demo_service install | remove
#include <cstdio>
#include <cstring>

#include "service_fixture.h"

int main(int argc, char **argv) {
  const char kName[] = "tessera";
  if (argc == 2 && std::strcmp(argv[1], "install") == 0) {
    TestServiceBehaviour behaviour;
    behaviour.pending_ms = 3000;
    behaviour.wait_hint = 2000;
    InstallTestService(kName, behaviour, SERVICE_DEMAND_START);
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "remove") == 0) {
    RemoveTestService(kName);
    return 0;
  }
  std::fprintf(stderr, "usage: demo_service install|remove\n");
  return 2;
}
