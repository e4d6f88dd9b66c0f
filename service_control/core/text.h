// Texts of both character types: their length, and a copy bounded by a
// caller's buffer that never cuts a character in two.
#ifndef TEXT_H
#define TEXT_H

#include <mbstring.h>
#include <stddef.h>
#include <windows.h>

namespace service_control {

template <typename Char>
size_t TextLength(const Char *text) {
  size_t length = 0;
  while (text[length] != 0) ++length;
  return length;
}

inline bool IsHighSurrogate(wchar_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }

// Copies at most count - 1 bytes of from (null: none) and terminates them.
// The copy never splits a double-byte character of the ANSI code page: one
// that does not fit whole before the terminator is left out rather than cut
// to a lone lead byte.
inline void CopyBounded(char *to, const char *from, size_t count) {
  _mbsnbcpy(reinterpret_cast<unsigned char *>(to),
            reinterpret_cast<const unsigned char *>(from == NULL ? "" : from), count - 1);
  to[count - 1] = '\0';
}

// Copies at most count - 1 UTF-16 units and terminates them. A surrogate
// pair across the cut is left out rather than cut to a lone high surrogate.
inline void CopyBounded(wchar_t *to, const wchar_t *from, size_t count) {
  size_t copied = 0;
  if (from != NULL) {
    while (copied < count - 1 && from[copied] != L'\0') {
      to[copied] = from[copied];
      ++copied;
    }
    if (copied == count - 1 && IsHighSurrogate(to[copied - 1])) --copied;
  }
  to[copied] = L'\0';
}

}  // namespace service_control

#endif
