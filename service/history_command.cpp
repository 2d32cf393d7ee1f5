// history: the station's record of attempts, newest first, as a table, CSV or JSON.
#include <filesystem>
#include <system_error>

#include "service/commands.h"
#include "service/exit_codes.h"
#include "service/history_format.h"
#include "service/station/attempt_store.h"

namespace velkor::tool {

int RunHistory(CommandContext& c) {
  using Json = nlohmann::json;
  const std::string path =
      c.options.database.empty() ? kDefaultStationDatabase : c.options.database;
  std::error_code ignored;
  if (!std::filesystem::exists(path, ignored)) {
    // Said plainly: a mistyped path is the usual cause, and SQLite's words for it are vague.
    c.report.Summary({{"database", path}}, kExitUsage,
                     path + ": no station database there (give its path with --db FILE)");
    return kExitUsage;
  }
  std::string error;
  const std::unique_ptr<AttemptStore> store = OpenExistingAttemptStore(path, &error);
  std::vector<AttemptRecord> records;
  if (store != nullptr) {
    records = store->List(c.options.since, &error);
  }
  if (!error.empty()) {
    c.report.Summary({{"database", path}}, kExitUsage, path + ": " + error);
    return kExitUsage;
  }

  const std::string since = c.options.since.empty() ? "" : " since " + c.options.since;
  const std::string message =
      std::to_string(records.size()) + (records.size() == 1 ? " attempt" : " attempts") + since;
  if (c.options.csv) {
    c.report.Document(HistoryCsv(records));
  } else if (records.empty()) {
    c.report.Text("no attempts recorded" + since);
  } else {
    for (const std::string& line : HistoryTableLines(records)) {
      c.report.Text(line);
    }
  }
  Json list = Json::array();
  for (const AttemptRecord& record : records) {
    list.push_back(HistoryJson(record));
  }
  c.report.Summary({{"database", path},
                    {"since", c.options.since.empty() ? Json(nullptr) : Json(c.options.since)},
                    {"records", list}},
                   kExitDone, message);
  return kExitDone;
}

}  // namespace velkor::tool
