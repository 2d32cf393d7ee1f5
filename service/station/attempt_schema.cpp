// The attempts table, version by version. A step never changes once released: a database
// written by an older tool is brought forward by the steps after its version.
#include "service/station/attempt_schema.h"

#include "service/station/attempt_store.h"
#include "service/station/sqlite_statement.h"

namespace velkor::tool {

namespace {

// Step N takes a database of version N to version N + 1.
constexpr const char* kUpgradeSteps[] = {
    // 0 -> 1: the first table, one row per attempt.
    "CREATE TABLE attempts ("
    " id INTEGER PRIMARY KEY AUTOINCREMENT,"
    " counter INTEGER NOT NULL,"
    " state TEXT NOT NULL,"
    " started_at TEXT NOT NULL,"
    " host TEXT NOT NULL,"
    " port TEXT NOT NULL,"
    " image_sha256 TEXT NOT NULL,"
    " image_version TEXT NOT NULL,"
    " ended_at TEXT,"
    " chip_row INTEGER,"
    " chip_id TEXT,"
    " chip_version INTEGER,"
    " result TEXT,"
    " failed_step TEXT,"
    " message TEXT,"
    " duration_seconds REAL);"
    "CREATE INDEX attempts_by_start ON attempts (started_at);"
    "CREATE INDEX attempts_by_host ON attempts (host, counter);"
    "PRAGMA user_version = 1;",
    // 1 -> 2: the camera's USB serial number and the number of requests an attempt sent.
    "ALTER TABLE attempts ADD COLUMN serial TEXT NOT NULL DEFAULT '';"
    "ALTER TABLE attempts ADD COLUMN requests INTEGER;"
    "PRAGMA user_version = 2;",
};

static_assert(std::size(kUpgradeSteps) == kAttemptSchemaVersion,
              "one upgrade step per schema version");

}  // namespace

int ReadSchemaVersion(sqlite3* db, std::string* error) {
  SqliteStatement query(db, "PRAGMA user_version");
  if (!query.prepared() || query.Step() != SQLITE_ROW) {
    *error = SqliteError(db);
    return -1;
  }
  return static_cast<int>(query.Int(0));
}

bool UpgradeAttemptSchema(sqlite3* db, int from, std::string* error) {
  for (int version = from; version < kAttemptSchemaVersion; ++version) {
    if (!ExecSql(db, kUpgradeSteps[version], error)) {
      *error = "upgrading the schema from version " + std::to_string(version) + ": " + *error;
      return false;
    }
  }
  return true;
}

}  // namespace velkor::tool
