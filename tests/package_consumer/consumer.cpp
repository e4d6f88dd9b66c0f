#include <service_control.h>

int main() {
  SERVICE_STATUS status;
  // No such service exists here: the module answers with the manager's code.
  return QueryServiceState("package-consumer-absent", &status) == ERROR_SERVICE_DOES_NOT_EXIST ? 0
                                                                                               : 1;
}
