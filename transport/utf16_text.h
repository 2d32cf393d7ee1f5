// Bounded comparison and copy of zero-terminated UTF-16 texts, as wcsncmp and a truncating copy
// behave on a 16-bit wchar_t.
#pragma once

#include <cstddef>

namespace velkor::transport {

// Compares at most n characters, stopping at the first difference or at a terminator met in
// both. Negative, zero or positive, comparing characters as unsigned 16-bit values.
int CompareUtf16(const char16_t* a, const char16_t* b, std::size_t n);

// Copies at most capacity - 1 characters of source (stopping at its terminator) into
// destination and terminates it. Nothing is written when capacity is 0.
void CopyUtf16(char16_t* destination, std::size_t capacity, const char16_t* source);

}  // namespace velkor::transport
