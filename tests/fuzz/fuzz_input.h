// What the fuzz targets share: their input read as a stream of small
// values, and the check that turns a broken property into a crash.
#ifndef FUZZ_INPUT_H
#define FUZZ_INPUT_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

// Aborts with the property's description, so that libFuzzer keeps the input.
inline void FuzzCheck(bool holds, const char *what) {
  if (!holds) {
    std::fprintf(stderr, "property broken: %s\n", what);
    std::abort();
  }
}

// Lead bytes of the double-byte code page 932, written apart from the
// module's and the stand-in's own tests.
inline bool IsLeadByte(int code_page, unsigned char c) {
  return code_page == 932 && ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC));
}

// True when the text's last byte is a lead byte without its trail byte.
inline bool EndsInLoneLeadByte(int code_page, const std::string &text) {
  size_t i = 0;
  while (i < text.size()) {
    if (!IsLeadByte(code_page, text[i])) {
      ++i;
    } else if (i + 1 == text.size()) {
      return true;
    } else {
      i += 2;
    }
  }
  return false;
}

// True when the text's last unit is a high surrogate, which needs a low one after it.
inline bool EndsInHighSurrogate(const std::wstring &text) {
  return !text.empty() && text.back() >= 0xD800 && text.back() <= 0xDBFF;
}

// Reads the input; past its end every value is zero, so any input is valid.
class FuzzInput {
 public:
  FuzzInput(const uint8_t *data, size_t size) : data_(data), size_(size) {}

  uint8_t Byte() { return position_ < size_ ? data_[position_++] : 0; }

  uint32_t Word() {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value = value << 8 | Byte();
    return value;
  }

  // Up to length bytes, fewer where the input ends.
  std::string Bytes(size_t length) {
    const size_t taken = length < size_ - position_ ? length : size_ - position_;
    std::string bytes(reinterpret_cast<const char *>(data_ + position_), taken);
    position_ += taken;
    return bytes;
  }

  // Up to length UTF-16 units, fewer where the input ends: surrogates of
  // both kinds, in and out of pairs, between zeros, ASCII and other characters.
  std::wstring Units(size_t length) {
    std::wstring units;
    while (units.size() < length && position_ < size_) {
      const uint8_t kind = Byte();
      const uint8_t low = Byte();
      const wchar_t bases[] = {0xD800, 0xDC00, 0x0400, 0x0020, 0};
      const int choice = kind % 5;
      units +=
          static_cast<wchar_t>(choice == 4 ? 0 : bases[choice] + (choice == 3 ? low % 95 : low));
    }
    return units;
  }

  // A length drawn to land near the bounds that matter: small, or within a
  // few bytes of one of them.
  size_t Length(const size_t *bounds, size_t count) {
    const uint8_t choice = Byte();
    if (choice < 128 || count == 0) return choice % 64;
    return bounds[choice % count] + (Byte() % 9) - 4;
  }

  // A code page for the multibyte copies: single-byte or double-byte.
  int CodePage() { return Byte() % 2 == 0 ? 1252 : 932; }

  std::string Rest() { return Bytes(size_ - position_); }

 private:
  const uint8_t *data_;
  size_t size_;
  size_t position_ = 0;
};

#endif
