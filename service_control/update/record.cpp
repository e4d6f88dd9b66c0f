#include "update/record.h"

#include "core/text.h"

namespace service_control {
namespace {

const char kTagOfVersion1[] = "SCU1/";
const char kTag[] = "SCU2/";
const DWORD kChecksumStart = 2166136261u;
const DWORD kKnownFlags = 0x7;

// The checksum of one more unit (FNV-1a).
DWORD Checksum(DWORD checksum, unsigned unit) { return (checksum ^ unit) * 16777619u; }

bool IsPlain(unsigned unit) {
  return unit > 0x20 && unit < 0x7F && unit != '%' && unit != '/' && unit != ';' && unit != '=';
}

template <typename Char>
unsigned UnitOf(Char c) {
  return sizeof(Char) == 1 ? static_cast<unsigned char>(c) : static_cast<unsigned>(c);
}

// Writes the record into out while it has room; counts every character,
// and sums each into the checksum.
template <typename Char>
struct RecordWriter {
  Char *out;
  size_t room;
  size_t length;
  DWORD checksum;
  void Put(unsigned unit) {
    if (length < room) out[length] = static_cast<Char>(unit);
    ++length;
    checksum = Checksum(checksum, unit);
  }
  void Put(const char *text) {
    while (*text != 0) Put(static_cast<unsigned char>(*text++));
  }
  void PutNumber(unsigned long value) {
    if (value >= 10) PutNumber(value / 10);
    Put('0' + static_cast<unsigned>(value % 10));
  }
  void PutHex(unsigned value, int digits) {
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) {
      Put("0123456789ABCDEF"[(value >> shift) & 0xF]);
    }
  }
  void PutActions(const RecordedActions &kept) {
    if (kept.kept == ActionsKept::kUnreadable) Put('!');
    if (kept.kept != ActionsKept::kKept) return;
    Put("~F");
    Put(kept.read.onNonCrashFailures ? '1' : '0');
    Put('R');
    PutNumber(kept.read.resetSeconds);
    for (DWORD i = 0; i < kept.read.count; ++i) {
      Put('A');
      PutNumber(static_cast<unsigned long>(kept.read.actions[i].Type));
      Put('.');
      PutNumber(kept.read.actions[i].Delay);
    }
  }
  void PutName(const Char *name) {
    for (; *name != 0; ++name) {
      const unsigned unit = UnitOf(*name);
      if (IsPlain(unit)) {
        Put(unit);
      } else if (unit < 0x100) {
        Put('%');
        PutHex(unit, 2);
      } else {
        Put("%u");
        PutHex(unit, 4);
      }
    }
  }
};

// Reads a record back, up to end; every malformed or cut one is refused.
template <typename Char>
struct RecordReader {
  const Char *at;
  const Char *end;
  unsigned Peek() const { return at == end ? 0 : UnitOf(*at); }
  bool Take(unsigned unit) {
    if (Peek() != unit || unit == 0) return false;
    ++at;
    return true;
  }
  bool Take(const char *text) {
    while (*text != 0) {
      if (!Take(static_cast<unsigned char>(*text++))) return false;
    }
    return true;
  }
  // The value of the digit at, in hexadecimal (upper case); 16 for none.
  unsigned Digit() const {
    const unsigned unit = Peek();
    return unit >= '0' && unit <= '9'   ? unit - '0'
           : unit >= 'A' && unit <= 'F' ? unit - 'A' + 10
                                        : 16;
  }
  bool TakeNumber(unsigned long most, unsigned long *value) {
    if (Digit() >= 10) return false;
    *value = 0;
    for (; Digit() < 10; ++at) {
      *value = *value * 10 + Digit();
      if (*value > most) return false;
    }
    return true;
  }
  bool TakeDword(DWORD *value) {
    unsigned long number;
    if (!TakeNumber(0xFFFFFFFFu, &number)) return false;
    *value = static_cast<DWORD>(number);
    return true;
  }
  bool TakeHex(int digits, unsigned *value) {
    *value = 0;
    for (int i = 0; i < digits; ++i, ++at) {
      if (Digit() == 16) return false;
      *value = *value * 16 + Digit();
    }
    return true;
  }
  bool TakeActions(RecordedActions *kept) {
    kept->kept = Take('!') ? ActionsKept::kUnreadable : ActionsKept::kNone;
    FailureActions *read = &kept->read;
    read->count = 0;
    if (kept->kept == ActionsKept::kUnreadable || !Take('~')) return true;
    kept->kept = ActionsKept::kKept;
    if (!Take('F')) return false;
    read->onNonCrashFailures = Take('1');
    if ((!read->onNonCrashFailures && !Take('0')) || !Take('R') ||
        !TakeDword(&read->resetSeconds)) {
      return false;
    }
    while (Take('A')) {
      unsigned long type;
      if (read->count == kMostActions || !TakeNumber(SC_ACTION_RUN_COMMAND, &type) || !Take('.') ||
          !TakeDword(&read->actions[read->count].Delay)) {
        return false;
      }
      read->actions[read->count++].Type = static_cast<SC_ACTION_TYPE>(type);
    }
    return true;
  }
  bool TakeName(Char *name) {
    size_t length = 0;
    while (Peek() != 0 && Peek() != ';') {
      unsigned unit = Peek();
      if (unit == '%') {
        ++at;
        const bool wide = sizeof(Char) > 1 && Take('u');
        if (!TakeHex(wide ? 4 : 2, &unit) || (wide && unit < 0x100)) return false;
      } else if (!IsPlain(unit)) {
        return false;
      } else {
        ++at;
      }
      if (unit == 0 || length == kLongestName) return false;
      name[length++] = static_cast<Char>(unit);
    }
    name[length] = 0;
    return length != 0;
  }
};

// Where the body of a version 2 record ends: at its tail, /<length>/<checksum>,
// which must tell that body's length and checksum. Null where it does not.
template <typename Char>
const Char *BodyEnd(const Char *record) {
  const size_t total = TextLength(record);
  if (total < 11 || UnitOf(record[total - 9]) != '/') return NULL;
  RecordReader<Char> reader = {record + total - 8, record + total};
  unsigned checksum;
  if (!reader.TakeHex(8, &checksum)) return NULL;
  size_t slash = total - 9;
  while (slash > 0 && UnitOf(record[slash - 1]) != '/') --slash;
  reader = {record + slash, record + total - 9};
  unsigned long length;
  if (slash == 0 || !reader.TakeNumber(total, &length) || reader.at != reader.end ||
      length != slash - 1) {
    return NULL;
  }
  DWORD sum = kChecksumStart;
  for (size_t at = 0; at < length; ++at) sum = Checksum(sum, UnitOf(record[at]));
  return sum == checksum ? record + length : NULL;
}

// Whether two names are one to the manager, which tells no case of an ASCII
// letter from the other.
template <typename Char>
bool SameName(const Char *a, const Char *b) {
  const auto folded = [](unsigned unit) { return unit >= 'a' && unit <= 'z' ? unit - 32 : unit; };
  for (; *a != 0 && folded(UnitOf(*a)) == folded(UnitOf(*b)); ++a, ++b) {
  }
  return *a == 0 && *b == 0;
}

// Whether a manager holds the name: no slash of either kind.
template <typename Char>
bool IsServiceName(const Char *name) {
  for (; *name != 0; ++name) {
    if (UnitOf(*name) == '/' || UnitOf(*name) == '\\') return false;
  }
  return true;
}

// Whether every entry may be applied: a program's start type and a name
// that a manager holds, each name once, so that nothing is changed for a
// record that cannot be applied whole.
template <typename Char>
bool MayApply(const RecordedService<Char> *services, DWORD count) {
  for (DWORD i = 0; i < count; ++i) {
    if (services[i].startType < SERVICE_AUTO_START || !IsServiceName(services[i].name)) {
      return false;
    }
    for (DWORD j = 0; j < i; ++j) {
      if (SameName(services[i].name, services[j].name)) return false;
    }
  }
  return true;
}

}  // namespace

template <typename Char>
size_t WriteRecord(const RecordedService<Char> *services, DWORD count, DWORD flags, Char *record,
                   size_t size) {
  RecordWriter<Char> writer = {record, size, 0, kChecksumStart};
  writer.Put(kTag);
  writer.PutNumber(flags);
  writer.Put('/');
  writer.PutNumber(count);
  for (DWORD i = 0; i < count; ++i) {
    const RecordedService<Char> &service = services[i];
    writer.Put(';');
    writer.Put(service.ran ? 'R' : 'S');
    writer.Put(service.ended ? 'K' : '-');
    writer.PutNumber(service.startType);
    writer.PutActions(service.failureActions);
    writer.Put('=');
    writer.PutName(service.name);
  }
  const size_t body = writer.length;
  const DWORD checksum = writer.checksum;
  writer.Put('/');
  writer.PutNumber(body);
  writer.Put('/');
  writer.PutHex(checksum, 8);
  writer.Put(0u);
  return writer.length;
}

template <typename Char>
DWORD ReadRecord(const Char *record, HeapBuffer<RecordedService<Char>> *services, DWORD *count,
                 DWORD *flags) {
  RecordReader<Char> reader = {record, BodyEnd(record)};
  const bool second = reader.end != NULL && reader.Take(kTag);
  if (!second) reader = {record, record + TextLength(record)};
  if (!second && !reader.Take(kTagOfVersion1)) return ERROR_INVALID_DATA;
  unsigned long stopFlags = 0, entries;
  if (second && (!reader.TakeNumber(kKnownFlags, &stopFlags) || !reader.Take('/'))) {
    return ERROR_INVALID_DATA;
  }
  // Each entry takes at least six characters.
  if (!reader.TakeNumber(static_cast<size_t>(reader.end - reader.at) / 6, &entries) ||
      entries == 0) {
    return ERROR_INVALID_DATA;
  }
  services->reset(malloc(entries * sizeof(RecordedService<Char>)));
  if (services->get() == NULL) return ERROR_NOT_ENOUGH_MEMORY;
  for (unsigned long i = 0; i < entries; ++i) {
    RecordedService<Char> *service = &services->records()[i];
    unsigned long startType;
    if (!reader.Take(';')) return ERROR_INVALID_DATA;
    service->ran = reader.Take('R');
    if (!service->ran && !reader.Take('S')) return ERROR_INVALID_DATA;
    service->ended = reader.Take('K');
    service->failureActions.kept = ActionsKept::kNone;
    if ((!service->ended && !reader.Take('-')) ||
        !reader.TakeNumber(SERVICE_DISABLED, &startType) ||
        (second && !reader.TakeActions(&service->failureActions)) || !reader.Take('=') ||
        !reader.TakeName(service->name)) {
      return ERROR_INVALID_DATA;
    }
    service->startType = startType;
  }
  if (reader.at != reader.end || !MayApply(services->records(), entries)) {
    return ERROR_INVALID_DATA;
  }
  *count = static_cast<DWORD>(entries);
  *flags = static_cast<DWORD>(stopFlags);
  return ERROR_SUCCESS;
}

template size_t WriteRecord(const RecordedService<char> *, DWORD, DWORD, char *, size_t);
template size_t WriteRecord(const RecordedService<wchar_t> *, DWORD, DWORD, wchar_t *, size_t);
template DWORD ReadRecord(const char *, HeapBuffer<RecordedService<char>> *, DWORD *, DWORD *);
template DWORD ReadRecord(const wchar_t *, HeapBuffer<RecordedService<wchar_t>> *, DWORD *,
                          DWORD *);

}  // namespace service_control
