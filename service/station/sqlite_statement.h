// A thin owner of SQLite handles: the connection and prepared statements with bound values, so
// that no SQL is ever assembled from text a user gave.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <optional>
#include <string>

namespace velkor::tool {

class SqliteStatement {
 public:
  SqliteStatement(sqlite3* db, const char* sql);
  ~SqliteStatement();
  SqliteStatement(const SqliteStatement&) = delete;
  SqliteStatement& operator=(const SqliteStatement&) = delete;

  bool prepared() const { return statement_ != nullptr; }

  // Parameters count from 1, as in SQLite.
  void Bind(int index, const std::string& text);
  void Bind(int index, std::int64_t value);
  void Bind(int index, double value);
  void Bind(int index, std::optional<int> value);  // NULL when empty

  // SQLITE_ROW, SQLITE_DONE or an error code.
  int Step();

  std::string Text(int column) const;
  std::int64_t Int(int column) const;
  double Real(int column) const;
  std::optional<int> OptionalInt(int column) const;

 private:
  sqlite3* db_;
  sqlite3_stmt* statement_ = nullptr;
};

// Runs one statement without parameters or rows (BEGIN, COMMIT, DDL). False and *error set
// with SQLite's message when it fails.
bool ExecSql(sqlite3* db, const char* sql, std::string* error);

// SQLite's message for the connection's last error.
std::string SqliteError(sqlite3* db);

}  // namespace velkor::tool
