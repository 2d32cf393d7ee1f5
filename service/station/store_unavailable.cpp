// The attempt record where no SQLite is built in (the Windows tool): the station refuses to run
// rather than update cameras without their record.
#include "service/station/attempt_store.h"

namespace velkor::tool {

std::unique_ptr<AttemptStore> OpenAttemptStore(const std::string& /*path*/, std::string* error) {
  *error = "this build keeps no attempt record (it has no SQLite), so it runs no station";
  return nullptr;
}

std::unique_ptr<AttemptStore> OpenExistingAttemptStore(const std::string& /*path*/,
                                                       std::string* error) {
  *error = "this build keeps no attempt record (it has no SQLite), so it has no history";
  return nullptr;
}

}  // namespace velkor::tool
