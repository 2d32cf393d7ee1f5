// The attempts table's schema and its upgrade from every earlier version.
#pragma once

#include <sqlite3.h>

#include <string>

namespace velkor::tool {

// The database's PRAGMA user_version (0 for a new, empty database); -1 and *error set on failure.
int ReadSchemaVersion(sqlite3* db, std::string* error);

// Brings a database of version `from` (below kAttemptSchemaVersion) to the current version, one
// step at a time, each step setting user_version. Runs inside the caller's transaction.
bool UpgradeAttemptSchema(sqlite3* db, int from, std::string* error);

}  // namespace velkor::tool
