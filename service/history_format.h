// The station's attempts as `history` prints them: an aligned table, CSV or JSON.
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "service/station/attempt_store.h"

namespace velkor::tool {

// A header line and one line per record, columns padded to their widest cell; the message is
// the last column, on one line.
std::vector<std::string> HistoryTableLines(const std::vector<AttemptRecord>& records);

// RFC 4180: a header line, then one line per record, CRLF line ends, a field quoted when it
// holds a comma, a quote or a line break (quotes doubled inside).
std::string HistoryCsv(const std::vector<AttemptRecord>& records);

// One record with every field; the end's fields are null while there is no end.
nlohmann::json HistoryJson(const AttemptRecord& record);

}  // namespace velkor::tool
