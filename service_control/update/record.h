// The record of an update as text, both ways: records in, a line out, and
// back. RecordServicesForUpdate writes it, the stop for an update marks in
// it what it ended, and RestoreServicesAfterUpdate reads it, even in another
// process. It is one line of printable characters closed by a zero:
//   SCU2/<flags>/<count>;<entry>;<entry>.../<length>/<checksum>
// with the flags of the stop that it was made for, an entry for the service
// first, then one for each dependent in the order of their stop, and last
// the length of what comes before that '/' and its checksum (FNV-1a of its
// characters' units, eight hexadecimal digits), so that a cut or altered
// record is refused whole. An entry is
//   <R or S: ran or not><K or -: its processes were ended><start type>
//   <its failure actions: none kept; ! for unreadable; or
//    ~F<1 or 0: on non-crash failures too>R<reset seconds>(A<type>.<delay ms>)...>
//   =<name>
// A name's characters outside the printable ASCII ones, and '%', '/', ';'
// and '=', are written %XX (a byte, or a UTF-16 unit below 0x100) or %uXXXX
// (a unit above). The version 1 record, SCU1/<count>;<entry>... with entries
// of no failure actions and no length or checksum, is still read.
#ifndef RECORD_H
#define RECORD_H

#include <stddef.h>
#include <windows.h>

#include "core/owned.h"
#include "ops/failure_actions.h"

namespace service_control {

// The longest name that a manager holds.
const size_t kLongestName = 256;

// What the record keeps of a service's failure actions.
enum class ActionsKept {
  kNone,        // nothing: they were not asked for
  kUnreadable,  // the platform would not hand them back: left alone
  kKept,
};

struct RecordedActions {
  ActionsKept kept;
  FailureActions read;  // where they were kept
};

// A service as the record keeps it.
template <typename Char>
struct RecordedService {
  Char name[kLongestName + 1];
  bool ran;
  bool ended;
  DWORD startType;
  RecordedActions failureActions;
};

// The record of count services for a stop with flags, as much of it as fits
// in size characters (none, with record null and size 0). Returns the
// record's length with its zero.
template <typename Char>
size_t WriteRecord(const RecordedService<Char> *services, DWORD count, DWORD flags, Char *record,
                   size_t size);

// Reads the record into services, of *count entries, and the flags of its
// stop (0 for a version 1 record). Every entry is checked first: a start
// type of a program's (2, 3 or 4) and a name that a manager holds, each
// name once. Returns 0, ERROR_INVALID_DATA for a record that is not of this
// form, is cut or altered, or fails a check, or ERROR_NOT_ENOUGH_MEMORY.
template <typename Char>
DWORD ReadRecord(const Char *record, HeapBuffer<RecordedService<Char>> *services, DWORD *count,
                 DWORD *flags);

}  // namespace service_control

#endif
