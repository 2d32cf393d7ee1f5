// Bounded UTF-16 text helpers for device paths.
#include "transport/utf16_text.h"

namespace velkor::transport {

int CompareUtf16(const char16_t* a, const char16_t* b, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    if (a[i] != b[i]) {
      return a[i] < b[i] ? -1 : 1;
    }
    if (a[i] == u'\0') {
      return 0;
    }
  }
  return 0;
}

void CopyUtf16(char16_t* destination, std::size_t capacity, const char16_t* source) {
  if (capacity == 0) {
    return;
  }
  std::size_t i = 0;
  for (; i + 1 < capacity && source[i] != u'\0'; ++i) {
    destination[i] = source[i];
  }
  destination[i] = u'\0';
}

}  // namespace velkor::transport
