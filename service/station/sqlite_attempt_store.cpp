// The attempt store in a SQLite database. WAL mode lets `history` read while a station writes;
// the busy timeout lets several writers (a station's children, two stations on one file) wait
// for each other instead of failing. Every write that reads first (the host's next counter)
// takes the write lock at BEGIN, so no two writers can both read the same maximum.
#include <sqlite3.h>

#include "service/station/attempt_schema.h"
#include "service/station/attempt_store.h"
#include "service/station/sqlite_statement.h"

namespace velkor::tool {

namespace {

constexpr int kBusyTimeoutMs = 30000;
constexpr int kWalRetryMs = 10;

constexpr char kColumns[] =
    "id, counter, state, started_at, host, port, serial, image_sha256, image_version, ended_at,"
    " chip_row, chip_id, chip_version, result, failed_step, message, requests, duration_seconds";

// Rolls back unless committed: every early return leaves no transaction open.
class WriteTransaction {
 public:
  WriteTransaction(sqlite3* db, std::string* error)
      : db_(db), open_(ExecSql(db, "BEGIN IMMEDIATE", error)) {}
  ~WriteTransaction() {
    if (open_) {
      sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    }
  }
  WriteTransaction(const WriteTransaction&) = delete;
  WriteTransaction& operator=(const WriteTransaction&) = delete;

  bool open() const { return open_; }
  bool Commit(std::string* error) {
    open_ = !ExecSql(db_, "COMMIT", error);
    return !open_;
  }

 private:
  sqlite3* db_;
  bool open_;
};

AttemptRecord ReadRecord(const SqliteStatement& row) {
  AttemptRecord record;
  record.id = row.Int(0);
  record.counter = row.Int(1);
  record.state = row.Text(2);
  record.start.startedAt = row.Text(3);
  record.start.host = row.Text(4);
  record.start.port = row.Text(5);
  record.start.serial = row.Text(6);
  record.start.imageSha256 = row.Text(7);
  record.start.imageVersion = row.Text(8);
  if (record.state == "done") {
    AttemptEnd end;
    end.endedAt = row.Text(9);
    end.chipRow = row.OptionalInt(10);
    end.chipId = row.Text(11);
    end.chipVersion = row.OptionalInt(12);
    end.result = row.Text(13);
    end.failedStep = row.Text(14);
    end.message = row.Text(15);
    end.requests = static_cast<std::uint64_t>(row.Int(16));
    end.durationSeconds = row.Real(17);
    record.end = end;
  }
  return record;
}

class SqliteAttemptStore : public AttemptStore {
 public:
  explicit SqliteAttemptStore(sqlite3* db) : db_(db) {}
  ~SqliteAttemptStore() override { sqlite3_close(db_); }
  SqliteAttemptStore(const SqliteAttemptStore&) = delete;
  SqliteAttemptStore& operator=(const SqliteAttemptStore&) = delete;

  int MarkInterrupted(std::string* error) override {
    SqliteStatement update(db_,
                           "UPDATE attempts SET state = 'interrupted' WHERE state = 'running'");
    if (update.Step() != SQLITE_DONE) {
      *error = SqliteError(db_);
      return 0;
    }
    return sqlite3_changes(db_);
  }

  std::int64_t Begin(const AttemptStart& start, std::int64_t* counter,
                     std::string* error) override {
    WriteTransaction transaction(db_, error);
    if (!transaction.open()) {
      return 0;
    }
    const std::int64_t given = NextCounter(start.host, error);
    if (given == 0) {
      return 0;
    }
    SqliteStatement insert(db_,
                           "INSERT INTO attempts (counter, state, started_at, host, port, serial,"
                           " image_sha256, image_version) VALUES (?1, 'running', ?2, ?3, ?4, ?5,"
                           " ?6, ?7)");
    insert.Bind(1, given);
    insert.Bind(2, start.startedAt);
    insert.Bind(3, start.host);
    insert.Bind(4, start.port);
    insert.Bind(5, start.serial);
    insert.Bind(6, start.imageSha256);
    insert.Bind(7, start.imageVersion);
    if (insert.Step() != SQLITE_DONE) {
      *error = SqliteError(db_);
      return 0;
    }
    const std::int64_t id = sqlite3_last_insert_rowid(db_);
    if (!transaction.Commit(error)) {
      return 0;
    }
    if (counter != nullptr) {
      *counter = given;
    }
    return id;
  }

  bool Finish(std::int64_t id, const AttemptEnd& end, std::string* error) override {
    SqliteStatement update(db_,
                           "UPDATE attempts SET state = 'done', ended_at = ?2, chip_row = ?3,"
                           " chip_id = ?4, chip_version = ?5, result = ?6, failed_step = ?7,"
                           " message = ?8, requests = ?9, duration_seconds = ?10 WHERE id = ?1");
    update.Bind(1, id);
    update.Bind(2, end.endedAt);
    update.Bind(3, end.chipRow);
    update.Bind(4, end.chipId);
    update.Bind(5, end.chipVersion);
    update.Bind(6, end.result);
    update.Bind(7, end.failedStep);
    update.Bind(8, end.message);
    update.Bind(9, static_cast<std::int64_t>(end.requests));
    update.Bind(10, end.durationSeconds);
    if (update.Step() != SQLITE_DONE) {
      *error = SqliteError(db_);
      return false;
    }
    if (sqlite3_changes(db_) != 1) {
      *error = "no attempt with id " + std::to_string(id);
      return false;
    }
    return true;
  }

  std::vector<AttemptRecord> List(const std::string& since, std::string* error) override {
    const std::string sql = std::string("SELECT ") + kColumns +
                            " FROM attempts WHERE started_at >= ?1"
                            " ORDER BY started_at DESC, id DESC";
    SqliteStatement query(db_, sql.c_str());
    query.Bind(1, since);
    std::vector<AttemptRecord> records;
    int step = SQLITE_ROW;
    while ((step = query.Step()) == SQLITE_ROW) {
      records.push_back(ReadRecord(query));
    }
    if (step != SQLITE_DONE) {
      *error = SqliteError(db_);
      records.clear();
    }
    return records;
  }

 private:
  // The host's next counter; 0 and *error set on failure. Inside Begin's transaction.
  std::int64_t NextCounter(const std::string& host, std::string* error) {
    SqliteStatement next(db_, "SELECT COALESCE(MAX(counter), 0) + 1 FROM attempts WHERE host = ?1");
    next.Bind(1, host);
    if (next.Step() != SQLITE_ROW) {
      *error = SqliteError(db_);
      return 0;
    }
    return next.Int(0);
  }

  sqlite3* db_;
};

// The switch needs the database to itself and does not wait through the busy timeout: when
// two programs create the same database at once, one of them finds it locked. It retries for
// as long as the busy timeout would wait. (Once in WAL mode a database stays so.)
bool SwitchToWal(sqlite3* db, std::string* error) {
  for (int waitedMs = 0;; waitedMs += kWalRetryMs) {
    SqliteStatement wal(db, "PRAGMA journal_mode = WAL");
    const int step = wal.Step();
    if (step == SQLITE_ROW && wal.Text(0) == "wal") {
      return true;
    }
    const bool locked = step == SQLITE_BUSY || step == SQLITE_LOCKED || step == SQLITE_ROW;
    if (!locked || waitedMs >= kBusyTimeoutMs) {
      *error = "cannot switch to WAL mode: " + SqliteError(db);
      return false;
    }
    sqlite3_sleep(kWalRetryMs);
  }
}

// Version check, WAL and upgrade, in that order: a database from a newer tool is refused
// before anything (even its journal mode) is changed.
bool Prepare(sqlite3* db, std::string* error) {
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  int version = ReadSchemaVersion(db, error);
  if (version < 0) {
    return false;
  }
  const auto newer = [&](int found) {
    *error = "the database has schema version " + std::to_string(found) +
             ", newer than this program's " + std::to_string(kAttemptSchemaVersion) +
             "; it was left unchanged (use a newer program)";
    return false;
  };
  if (version > kAttemptSchemaVersion) {
    return newer(version);
  }
  if (!SwitchToWal(db, error)) {
    return false;
  }
  if (version == kAttemptSchemaVersion) {
    return true;
  }
  WriteTransaction transaction(db, error);
  if (!transaction.open()) {
    return false;
  }
  version = ReadSchemaVersion(db, error);  // another program may have upgraded meanwhile
  if (version < 0) {
    return false;
  }
  if (version > kAttemptSchemaVersion) {
    return newer(version);
  }
  return UpgradeAttemptSchema(db, version, error) && transaction.Commit(error);
}

// Errors name no path: the caller puts it in front.
std::unique_ptr<AttemptStore> Open(const std::string& path, int flags, std::string* error) {
  sqlite3* db = nullptr;
  const int opened = sqlite3_open_v2(path.c_str(), &db, flags, nullptr);
  if (opened != SQLITE_OK) {
    *error = db != nullptr ? SqliteError(db) : std::string(sqlite3_errstr(opened));
    sqlite3_close(db);
    return nullptr;
  }
  if (!Prepare(db, error)) {
    sqlite3_close(db);
    return nullptr;
  }
  return std::make_unique<SqliteAttemptStore>(db);
}

}  // namespace

std::unique_ptr<AttemptStore> OpenAttemptStore(const std::string& path, std::string* error) {
  return Open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, error);
}

std::unique_ptr<AttemptStore> OpenExistingAttemptStore(const std::string& path,
                                                       std::string* error) {
  return Open(path, SQLITE_OPEN_READWRITE, error);
}

}  // namespace velkor::tool
