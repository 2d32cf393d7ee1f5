// Formatting of attempt records. CSV and JSON carry the same fields under the same names.
#include "service/history_format.h"

#include <algorithm>
#include <cstdio>

namespace velkor::tool {

namespace {

using Json = nlohmann::json;

std::string Seconds(double seconds) {
  char text[32];
  std::snprintf(text, sizeof(text), "%.3f", seconds);
  return text;
}

std::string OptionalNumber(const std::optional<int>& value) {
  return value ? std::to_string(*value) : std::string();
}

// Every field as CSV text, in the header's order; the end's fields are empty without an end.
const std::vector<std::string>& CsvHeader() {
  static const std::vector<std::string> header = {
      "id",       "counter",  "state",           "started_at",    "host",
      "port",     "serial",   "image_sha256",    "image_version", "ended_at",
      "chip_row", "chip_id",  "chip_version",    "result",        "failed_step",
      "message",  "requests", "duration_seconds"};
  return header;
}

std::vector<std::string> CsvFields(const AttemptRecord& r) {
  std::vector<std::string> fields = {std::to_string(r.id),
                                     std::to_string(r.counter),
                                     r.state,
                                     r.start.startedAt,
                                     r.start.host,
                                     r.start.port,
                                     r.start.serial,
                                     r.start.imageSha256,
                                     r.start.imageVersion};
  if (r.end) {
    const AttemptEnd& e = *r.end;
    fields.insert(fields.end(), {e.endedAt, OptionalNumber(e.chipRow), e.chipId,
                                 OptionalNumber(e.chipVersion), e.result, e.failedStep, e.message,
                                 std::to_string(e.requests), Seconds(e.durationSeconds)});
  } else {
    fields.resize(CsvHeader().size());
  }
  return fields;
}

std::string CsvField(const std::string& field) {
  if (field.find_first_of(",\"\r\n") == std::string::npos) {
    return field;
  }
  std::string quoted = "\"";
  for (const char c : field) {
    quoted += c;
    if (c == '"') {
      quoted += '"';
    }
  }
  return quoted + "\"";
}

std::string CsvLine(const std::vector<std::string>& fields) {
  std::string line;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) {
      line += ',';
    }
    line += CsvField(fields[i]);
  }
  return line + "\r\n";
}

// A message on one table line: control characters (line breaks, tabs) become spaces.
std::string OneLine(std::string text) {
  std::replace_if(
      text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }, ' ');
  return text;
}

std::string Dash(const std::string& text) {
  return text.empty() ? "-" : text;
}

}  // namespace

std::vector<std::string> HistoryTableLines(const std::vector<AttemptRecord>& records) {
  std::vector<std::vector<std::string>> rows = {{"STARTED", "HOST", "N", "PORT", "SERIAL", "IMAGE",
                                                 "STATE", "RESULT", "CHIP", "STEP", "REQUESTS",
                                                 "SECONDS", "MESSAGE"}};
  for (const AttemptRecord& r : records) {
    const AttemptEnd* e = r.end ? &*r.end : nullptr;
    rows.push_back({r.start.startedAt, r.start.host, std::to_string(r.counter), r.start.port,
                    Dash(r.start.serial), r.start.imageVersion, r.state, e ? e->result : "-",
                    e ? Dash(e->chipId) : "-", e ? Dash(e->failedStep) : "-",
                    e ? std::to_string(e->requests) : "-", e ? Seconds(e->durationSeconds) : "-",
                    e ? OneLine(e->message) : ""});
  }
  std::vector<std::size_t> widths(rows.front().size(), 0);
  for (const auto& row : rows) {
    for (std::size_t i = 0; i < row.size(); ++i) {
      widths[i] = std::max(widths[i], row[i].size());
    }
  }
  std::vector<std::string> lines;
  for (const auto& row : rows) {
    std::string line;
    for (std::size_t i = 0; i + 1 < row.size(); ++i) {
      line += row[i] + std::string(widths[i] - row[i].size() + 2, ' ');
    }
    line += row.back();
    while (!line.empty() && line.back() == ' ') {
      line.pop_back();
    }
    lines.push_back(line);
  }
  return lines;
}

std::string HistoryCsv(const std::vector<AttemptRecord>& records) {
  std::string csv = CsvLine(CsvHeader());
  for (const AttemptRecord& record : records) {
    csv += CsvLine(CsvFields(record));
  }
  return csv;
}

Json HistoryJson(const AttemptRecord& r) {
  const auto optional = [](const std::optional<int>& value) {
    return value ? Json(*value) : Json(nullptr);
  };
  Json json = {{"id", r.id},
               {"counter", r.counter},
               {"state", r.state},
               {"started_at", r.start.startedAt},
               {"host", r.start.host},
               {"port", r.start.port},
               {"serial", r.start.serial},
               {"image_sha256", r.start.imageSha256},
               {"image_version", r.start.imageVersion}};
  const AttemptEnd* e = r.end ? &*r.end : nullptr;
  json["ended_at"] = e ? Json(e->endedAt) : Json(nullptr);
  json["chip_row"] = e ? optional(e->chipRow) : Json(nullptr);
  json["chip_id"] = e ? Json(e->chipId) : Json(nullptr);
  json["chip_version"] = e ? optional(e->chipVersion) : Json(nullptr);
  json["result"] = e ? Json(e->result) : Json(nullptr);
  json["failed_step"] = e ? Json(e->failedStep) : Json(nullptr);
  json["message"] = e ? Json(e->message) : Json(nullptr);
  json["requests"] = e ? Json(e->requests) : Json(nullptr);
  json["duration_seconds"] = e ? Json(e->durationSeconds) : Json(nullptr);
  return json;
}

}  // namespace velkor::tool
