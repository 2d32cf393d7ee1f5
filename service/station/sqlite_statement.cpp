// Prepared statements on a SQLite connection.
#include "service/station/sqlite_statement.h"

namespace velkor::tool {

SqliteStatement::SqliteStatement(sqlite3* db, const char* sql) : db_(db) {
  if (sqlite3_prepare_v2(db, sql, -1, &statement_, nullptr) != SQLITE_OK) {
    statement_ = nullptr;
  }
}

SqliteStatement::~SqliteStatement() {
  sqlite3_finalize(statement_);
}

void SqliteStatement::Bind(int index, const std::string& text) {
  sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()),
                    SQLITE_TRANSIENT);
}

void SqliteStatement::Bind(int index, std::int64_t value) {
  sqlite3_bind_int64(statement_, index, value);
}

void SqliteStatement::Bind(int index, double value) {
  sqlite3_bind_double(statement_, index, value);
}

void SqliteStatement::Bind(int index, std::optional<int> value) {
  if (value) {
    sqlite3_bind_int(statement_, index, *value);
  } else {
    sqlite3_bind_null(statement_, index);
  }
}

int SqliteStatement::Step() {
  return statement_ == nullptr ? SQLITE_MISUSE : sqlite3_step(statement_);
}

std::string SqliteStatement::Text(int column) const {
  const unsigned char* text = sqlite3_column_text(statement_, column);
  if (text == nullptr) {
    return {};
  }
  return {reinterpret_cast<const char*>(text),
          static_cast<std::size_t>(sqlite3_column_bytes(statement_, column))};
}

std::int64_t SqliteStatement::Int(int column) const {
  return sqlite3_column_int64(statement_, column);
}

double SqliteStatement::Real(int column) const {
  return sqlite3_column_double(statement_, column);
}

std::optional<int> SqliteStatement::OptionalInt(int column) const {
  if (sqlite3_column_type(statement_, column) == SQLITE_NULL) {
    return std::nullopt;
  }
  return sqlite3_column_int(statement_, column);
}

bool ExecSql(sqlite3* db, const char* sql, std::string* error) {
  if (sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK) {
    return true;
  }
  *error = SqliteError(db);
  return false;
}

std::string SqliteError(sqlite3* db) {
  return sqlite3_errmsg(db);
}

}  // namespace velkor::tool
