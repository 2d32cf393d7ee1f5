// The one record of installed platform adapters.
#include "platform/ports.h"

namespace velkor {
namespace {
Ports installed;
}

void InstallPorts(const Ports& ports) {
  installed = ports;
}
const Ports& CurrentPorts() {
  return installed;
}

}  // namespace velkor
