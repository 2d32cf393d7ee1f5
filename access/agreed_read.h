// A query whose answer decides something about the protection, asked so that one lost or
// garbled reply cannot decide it.
#pragma once

namespace velkor::access {

// Asks twice, and a third time unless two answers already agree. A lone answer among failed
// requests is taken; answers that all differ are not.
template <typename Value, typename Query>
bool ReadAgreed(Query query, Value* out) {
  Value answers[3] = {};
  int count = 0;
  for (int attempt = 0; attempt < 3; ++attempt) {
    Value value{};
    if (!query(&value)) {
      continue;
    }
    for (int i = 0; i < count; ++i) {
      if (answers[i] == value) {
        *out = value;
        return true;
      }
    }
    answers[count++] = value;
  }
  if (count == 1) {
    *out = answers[0];
    return true;
  }
  return false;
}

}  // namespace velkor::access
