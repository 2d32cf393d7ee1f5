// Names and one-line texts of the protocol-violation record.
#include "rigs/sim/sim_violations.h"

#include <cstdio>

namespace velkor::sim {

const char* SimViolationName(SimViolationKind kind) {
  switch (kind) {
    case SimViolationKind::kDataOutWhileShifting:
      return "data out written while a byte shifts";
    case SimViolationKind::kTransferWhileShifting:
      return "transfer started while a byte shifts";
    case SimViolationKind::kDeselectWhileShifting:
      return "chip select raised while a byte shifts";
    case SimViolationKind::kDataInBeforeReceiveDone:
      return "data in read before the receive finished";
    case SimViolationKind::kControllerFlashPathWhileHostHolds:
      return "controller flash path used while the host holds the flash interface";
    case SimViolationKind::kFlashAccessWithoutSetup:
      return "flash byte sent without the chip's flash-access setup";
    case SimViolationKind::kCommandWhileFlashBusy:
      return "command sent to a busy flash";
    case SimViolationKind::kMalformedNodeProbe:
      return "malformed node probe";
  }
  return "unknown violation";
}

std::string SimViolation::Text() const {
  char head[96];
  std::snprintf(head, sizeof head, "request %u: %s (0x%04X = 0x%02X", request,
                SimViolationName(kind), static_cast<unsigned>(reg), static_cast<unsigned>(value));
  std::string text = head;
  if (device >= 0) {
    text.append(", device ").append(std::to_string(device));
  }
  if (!state.empty()) {
    text.append("; ").append(state);
  }
  return text + ")";
}

std::string SimViolationsText(const std::vector<SimViolation>& violations) {
  if (violations.empty()) {
    return "none";
  }
  // A host stuck in a loop can leave thousands of entries; the first ones tell the story.
  constexpr std::size_t kShown = 20;
  std::string text;
  for (std::size_t i = 0; i < violations.size() && i < kShown; ++i) {
    text.append(violations[i].Text()).append("\n");
  }
  if (violations.size() > kShown) {
    text.append("... and ").append(std::to_string(violations.size() - kShown)).append(" more\n");
  }
  return text;
}

}  // namespace velkor::sim
