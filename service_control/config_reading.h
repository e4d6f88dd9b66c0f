// Reading a service's configuration: what the read asks of the heap.
#ifndef CONFIG_READING_H
#define CONFIG_READING_H

#include <windows.h>

namespace service_control {

// The record buffer is the size that the platform asked for plus these
// bytes: a configuration that grows by no more between the size query and
// the read still fits, and they stay zero, so that a dependency list that
// the platform does not close ends in them and not in what the heap held.
const DWORD kSpareRecordBytes = 4;

}  // namespace service_control

#endif
