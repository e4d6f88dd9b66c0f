// servicectl: the module's operations for installers and scripts. Its
// arguments are read as UTF-16, so that a service or a path with any
// character works.
#include "servicectl.h"

int wmain(int argc, wchar_t **argv) { return RunServicectl(argc, argv); }
