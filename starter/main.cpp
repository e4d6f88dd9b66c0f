// The starter: starts the service "tessera" and reports the outcome. The
// command line is not read, and the outcome is carried by the output alone.
#include "starter.h"

int main() {
  StartTesseraAndReport();
  return 0;
}
