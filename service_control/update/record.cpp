#include "update/record.h"

#include "core/text.h"

namespace service_control {
namespace {

const char kRecordTag[] = "SCU1/";

// Writes the record into out while it has room; counts every character.
template <typename Char>
struct RecordWriter {
  Char *out;
  size_t room;
  size_t length;
  void Put(unsigned unit) {
    if (length < room) out[length] = static_cast<Char>(unit);
    ++length;
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
};

bool IsPlain(unsigned unit) {
  return unit > 0x20 && unit < 0x7F && unit != '%' && unit != ';' && unit != '=';
}

template <typename Char>
unsigned UnitOf(Char c) {
  return sizeof(Char) == 1 ? static_cast<unsigned char>(c) : static_cast<unsigned>(c);
}

// Reads a record back; every malformed or cut one is refused.
template <typename Char>
struct RecordReader {
  const Char *at;
  bool Take(unsigned unit) {
    if (UnitOf(*at) != unit) return false;
    ++at;
    return true;
  }
  // The value of the digit at, in hexadecimal (upper case); 16 for none.
  unsigned Digit() const {
    const unsigned unit = UnitOf(*at);
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
  bool TakeHex(int digits, unsigned *value) {
    *value = 0;
    for (int i = 0; i < digits; ++i, ++at) {
      if (Digit() == 16) return false;
      *value = *value * 16 + Digit();
    }
    return true;
  }
  bool TakeName(Char *name) {
    size_t length = 0;
    while (*at != 0 && UnitOf(*at) != ';') {
      unsigned unit = UnitOf(*at);
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

}  // namespace

template <typename Char>
size_t WriteRecord(const RecordedService<Char> *services, DWORD count, Char *record, size_t size) {
  RecordWriter<Char> writer = {record, size, 0};
  writer.Put(kRecordTag);
  writer.PutNumber(count);
  for (DWORD i = 0; i < count; ++i) {
    const RecordedService<Char> &service = services[i];
    writer.Put(';');
    writer.Put(service.ran ? 'R' : 'S');
    writer.Put(service.ended ? 'K' : '-');
    writer.PutNumber(service.startType);
    writer.Put('=');
    for (const Char *at = service.name; *at != 0; ++at) {
      const unsigned unit = UnitOf(*at);
      if (IsPlain(unit)) {
        writer.Put(unit);
      } else if (unit < 0x100) {
        writer.Put('%');
        writer.PutHex(unit, 2);
      } else {
        writer.Put("%u");
        writer.PutHex(unit, 4);
      }
    }
  }
  writer.Put(0u);
  return writer.length;
}

template <typename Char>
DWORD ReadRecord(const Char *record, HeapBuffer<RecordedService<Char>> *services, DWORD *count) {
  RecordReader<Char> reader = {record};
  for (const char *tag = kRecordTag; *tag != 0; ++tag) {
    if (!reader.Take(static_cast<unsigned char>(*tag))) return ERROR_INVALID_DATA;
  }
  unsigned long entries;
  // Each entry takes at least six characters.
  if (!reader.TakeNumber(TextLength(record) / 6, &entries) || entries == 0) {
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
    if ((!service->ended && !reader.Take('-')) ||
        !reader.TakeNumber(SERVICE_DISABLED, &startType) || !reader.Take('=') ||
        !reader.TakeName(service->name)) {
      return ERROR_INVALID_DATA;
    }
    service->startType = startType;
  }
  *count = static_cast<DWORD>(entries);
  return *reader.at == 0 ? ERROR_SUCCESS : ERROR_INVALID_DATA;
}

template size_t WriteRecord(const RecordedService<char> *, DWORD, char *, size_t);
template size_t WriteRecord(const RecordedService<wchar_t> *, DWORD, wchar_t *, size_t);
template DWORD ReadRecord(const char *, HeapBuffer<RecordedService<char>> *, DWORD *);
template DWORD ReadRecord(const wchar_t *, HeapBuffer<RecordedService<wchar_t>> *, DWORD *);

}  // namespace service_control
