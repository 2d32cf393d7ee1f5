// Case-insensitive comparison of ASCII texts.
#include "app/text_match.h"

namespace velkor::app {

namespace {
char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
}  // namespace

bool EqualsIgnoringCase(const char* a, const char* b, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    if (Lower(a[i]) != Lower(b[i])) {
      return false;
    }
    if (a[i] == '\0') {
      return true;
    }
  }
  return true;
}

}  // namespace velkor::app
