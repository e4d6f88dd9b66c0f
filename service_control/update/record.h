// The record of an update as text, both ways: records in, a line out, and
// back. StopServicesForUpdate writes it and RestoreServicesAfterUpdate reads
// it, even in another process. It is one line of printable characters
// closed by a zero:
//   SCU1/<count>;<entry>;<entry>...
// with an entry for the service first, then one for each dependent in the
// order of their stop: <R or S: ran or not><K or -: its processes were
// ended><start type>=<name>. A name's characters outside the printable
// ASCII ones, and '%', ';' and '=', are written %XX (a byte, or a UTF-16
// unit below 0x100) or %uXXXX (a unit above).
#ifndef RECORD_H
#define RECORD_H

#include <stddef.h>
#include <windows.h>

#include "core/owned.h"

namespace service_control {

// The longest name that a manager holds.
const size_t kLongestName = 256;

// A service as the record keeps it.
template <typename Char>
struct RecordedService {
  Char name[kLongestName + 1];
  bool ran;
  bool ended;
  DWORD startType;
};

// The record of count services, as much of it as fits in size characters
// (none, with record null and size 0). Returns the record's length with its
// zero.
template <typename Char>
size_t WriteRecord(const RecordedService<Char> *services, DWORD count, Char *record, size_t size);

// Reads the record into services, of *count entries. Returns 0,
// ERROR_INVALID_DATA for a record that is not of this form, cut or not, or
// ERROR_NOT_ENOUGH_MEMORY.
template <typename Char>
DWORD ReadRecord(const Char *record, HeapBuffer<RecordedService<Char>> *services, DWORD *count);

}  // namespace service_control

#endif
