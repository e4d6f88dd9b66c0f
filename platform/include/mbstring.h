// The C runtime's multibyte string copy, for hosts other than Windows.
#ifndef STANDIN_MBSTRING_H
#define STANDIN_MBSTRING_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

// Copies at most count bytes of src, never splitting a double-byte character
// of the current code page, and fills the rest of the count with zeros.
unsigned char *_mbsnbcpy(unsigned char *dest, const unsigned char *src, size_t count);

// Sets the current multibyte code page: 932 (double-byte) or any single-byte
// one. Returns 0.
int _setmbcp(int codepage);

#ifdef __cplusplus
}
#endif

#endif
