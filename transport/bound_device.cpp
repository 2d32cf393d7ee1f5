// The transport's one record of the bound device.
#include "transport/bound_device.h"

namespace velkor::transport {

// Static storage: no node, no filter until the first bind.
BoundDevice boundDevice;

}  // namespace velkor::transport
