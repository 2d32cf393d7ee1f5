// The access library's one process-wide record.
#include "access/access_context.h"

namespace velkor::access {

// Static storage: every flag, row, slot and pointer starts at zero (null).
AccessContext context{};

}  // namespace velkor::access
