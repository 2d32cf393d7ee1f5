// The attempt store on a real SQLite file: schema versions, rows a killed station left, the
// per-host counter, and writers sharing one file.
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <set>
#include <thread>

#include "tests/service/station/station_db_fixture.h"

namespace velkor::tool {
namespace {

std::string Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST_F(StationDbTest, VersionOneDatabaseIsUpgradedKeepingItsRows) {
  RawSql(
      "CREATE TABLE attempts (id INTEGER PRIMARY KEY AUTOINCREMENT, counter INTEGER NOT NULL,"
      " state TEXT NOT NULL, started_at TEXT NOT NULL, host TEXT NOT NULL, port TEXT NOT NULL,"
      " image_sha256 TEXT NOT NULL, image_version TEXT NOT NULL, ended_at TEXT,"
      " chip_row INTEGER, chip_id TEXT, chip_version INTEGER, result TEXT, failed_step TEXT,"
      " message TEXT, duration_seconds REAL);"
      "INSERT INTO attempts VALUES (1, 1, 'done', '2026-12-01T10:00:00.000Z', 'bench-1',"
      " '/dev/video0', 'ab', 'R06.00.01', '2026-12-01T10:00:40.000Z', 18, 'CHIP1', 3, 'fail',"
      " 'erase', 'erase not confirmed', 40.0);"
      "INSERT INTO attempts VALUES (2, 2, 'running', '2026-12-01T11:00:00.000Z', 'bench-1',"
      " '/dev/video2', 'ab', 'R06.00.01', NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL);"
      "PRAGMA user_version = 1;");
  std::unique_ptr<AttemptStore> store = Open();
  ASSERT_NE(store, nullptr);

  std::string error;
  std::vector<AttemptRecord> rows = store->List("", &error);
  ASSERT_EQ(rows.size(), 2u) << error;
  EXPECT_EQ(rows[1].start.port, "/dev/video0");
  EXPECT_EQ(rows[1].start.serial, "");
  ASSERT_TRUE(rows[1].end.has_value());
  EXPECT_EQ(rows[1].end->failedStep, "erase");
  EXPECT_EQ(rows[1].end->requests, 0u);  // not counted before version 2
  EXPECT_EQ(rows[0].state, "running");

  // The new columns take values, and the counter carries on from the old rows.
  std::int64_t counter = 0;
  const std::int64_t id = store->Begin(Start("2026-12-02T09:00:00.000Z"), &counter, &error);
  ASSERT_NE(id, 0) << error;
  EXPECT_EQ(counter, 3);
  ASSERT_TRUE(store->Finish(id, Passed("2026-12-02T09:00:41.500Z"), &error)) << error;
  rows = store->List("2026-12-02", &error);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].start.serial, "SN1");
  EXPECT_EQ(rows[0].end->requests, 1234u);
  store.reset();

  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(DbPath().c_str(), &db), SQLITE_OK);
  sqlite3_stmt* query = nullptr;
  sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &query, nullptr);
  ASSERT_EQ(sqlite3_step(query), SQLITE_ROW);
  EXPECT_EQ(sqlite3_column_int(query, 0), kAttemptSchemaVersion);
  sqlite3_finalize(query);
  sqlite3_close(db);
}

TEST_F(StationDbTest, NewerSchemaIsRefusedAndLeftUnchanged) {
  RawSql("CREATE TABLE attempts (id INTEGER PRIMARY KEY, whatever TEXT); PRAGMA user_version = 7;");
  const std::string before = Bytes(DbPath());
  for (const auto open : {OpenAttemptStore, OpenExistingAttemptStore}) {
    std::string error;
    EXPECT_EQ(open(DbPath(), &error), nullptr);
    EXPECT_NE(error.find("schema version 7"), std::string::npos) << error;
    EXPECT_NE(error.find("newer"), std::string::npos) << error;
  }
  EXPECT_EQ(Bytes(DbPath()), before);  // not even switched to WAL
}

TEST_F(StationDbTest, ExistingOnlyCreatesNothingWhereNoDatabaseIs) {
  std::string error;
  EXPECT_EQ(OpenExistingAttemptStore(DbPath(), &error), nullptr);
  EXPECT_FALSE(error.empty());
  EXPECT_TRUE(std::filesystem::is_empty(scratch_));
}

TEST_F(StationDbTest, RowsLeftRunningAreMarkedInterruptedOnTheNextStart) {
  std::string error;
  std::int64_t finishedId = 0;
  {
    std::unique_ptr<AttemptStore> killed = Open();
    std::int64_t counter = 0;
    finishedId = killed->Begin(Start("2026-12-07T22:00:00.000Z"), &counter, &error);
    killed->Begin(Start("2026-12-07T22:00:01.000Z", "bench-1", "SN2"), &counter, &error);
    killed->Begin(Start("2026-12-07T22:00:02.000Z", "bench-1", "SN3"), &counter, &error);
    ASSERT_TRUE(killed->Finish(finishedId, Passed("2026-12-07T22:00:40.000Z"), &error)) << error;
  }  // the station dies with two cameras in flight
  std::unique_ptr<AttemptStore> next = Open();
  EXPECT_EQ(next->MarkInterrupted(&error), 2);
  EXPECT_EQ(next->MarkInterrupted(&error), 0);
  const std::vector<AttemptRecord> rows = next->List("", &error);
  ASSERT_EQ(rows.size(), 3u);
  for (const AttemptRecord& row : rows) {
    EXPECT_EQ(row.state, row.id == finishedId ? "done" : "interrupted");
    EXPECT_EQ(row.end.has_value(), row.id == finishedId);
  }
  EXPECT_FALSE(next->Finish(9999, Passed("2026-12-07T23:00:00.000Z"), &error));
}

TEST_F(StationDbTest, CounterCountsPerHostAcrossReopening) {
  std::string error;
  const auto begin = [&](AttemptStore& store, const std::string& host) {
    std::int64_t counter = 0;
    EXPECT_NE(store.Begin(Start("2026-12-07T22:00:00.000Z", host), &counter, &error), 0) << error;
    return counter;
  };
  {
    std::unique_ptr<AttemptStore> store = Open();
    EXPECT_EQ(begin(*store, "bench-1"), 1);
    EXPECT_EQ(begin(*store, "bench-2"), 1);
    EXPECT_EQ(begin(*store, "bench-1"), 2);
  }
  std::unique_ptr<AttemptStore> store = Open();
  EXPECT_EQ(begin(*store, "bench-1"), 3);
  EXPECT_EQ(begin(*store, "bench-2"), 2);
  EXPECT_EQ(begin(*store, "bench-3"), 1);
}

TEST_F(StationDbTest, ListKeepsTheRowsSinceATimeNewestFirst) {
  std::unique_ptr<AttemptStore> store = Open();
  std::string error;
  std::int64_t counter = 0;
  for (const char* at :
       {"2026-12-07T21:59:59.999Z", "2026-12-08T00:00:00.000Z", "2026-12-07T22:00:00.000Z",
        "2026-12-06T23:00:00.000Z", "2026-12-07T23:30:00.000Z"}) {
    ASSERT_NE(store->Begin(Start(at), &counter, &error), 0) << error;
  }
  std::vector<std::string> started;
  for (const AttemptRecord& row : store->List("2026-12-07T22:00:00.000Z", &error)) {
    started.push_back(row.start.startedAt);
  }
  EXPECT_EQ(started,
            (std::vector<std::string>{"2026-12-08T00:00:00.000Z", "2026-12-07T23:30:00.000Z",
                                      "2026-12-07T22:00:00.000Z"}));
  EXPECT_EQ(store->List("", &error).size(), 5u);
  EXPECT_TRUE(store->List("2026-12-09T00:00:00.000Z", &error).empty());
}

// Writes `count` attempts as fast as it can; returns the failures.
int WriteAttempts(const std::string& path, const std::string& host, int count) {
  std::string error;
  std::unique_ptr<AttemptStore> store = OpenAttemptStore(path, &error);
  if (store == nullptr) {
    std::fprintf(stderr, "%s open: %s\n", host.c_str(), error.c_str());
    return count;
  }
  int failures = 0;
  for (int i = 0; i < count; ++i) {
    std::int64_t counter = 0;
    const std::int64_t id = store->Begin(Start("2026-12-07T22:00:00.000Z", host), &counter, &error);
    if (id == 0 || !store->Finish(id, Passed("2026-12-07T22:00:01.000Z"), &error)) {
      std::fprintf(stderr, "%s: %s\n", host.c_str(), error.c_str());
      ++failures;
    }
    if (i % 7 == 0) {
      store->List("", &error);  // a reader in between, as history is
    }
  }
  return failures;
}

TEST_F(StationDbTest, ProcessesAndThreadsWritingOneFileAllSucceed) {
  constexpr int kEach = 150;
  // From a fresh file: opening (schema creation, WAL) races too.
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::_exit(WriteAttempts(DbPath(), "shared-host", kEach) == 0 ? 0 : 1);
  }
  int threadFailures = 0;
  std::thread thread([&] { threadFailures = WriteAttempts(DbPath(), "shared-host", kEach); });
  const int mainFailures = WriteAttempts(DbPath(), "other-host", kEach);
  thread.join();
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(threadFailures, 0);
  EXPECT_EQ(mainFailures, 0);

  // Every attempt is there once, and each host's counters are 1..n without a gap or a repeat.
  std::string error;
  std::unique_ptr<AttemptStore> store = Open();
  std::set<std::int64_t> shared;
  std::set<std::int64_t> other;
  const std::vector<AttemptRecord> rows = store->List("", &error);
  for (const AttemptRecord& row : rows) {
    EXPECT_EQ(row.state, "done");
    (row.start.host == "shared-host" ? shared : other).insert(row.counter);
  }
  EXPECT_EQ(rows.size(), 3u * kEach);
  ASSERT_EQ(shared.size(), 2u * kEach);
  ASSERT_EQ(other.size(), 1u * kEach);
  EXPECT_EQ(*shared.rbegin(), 2 * kEach);
  EXPECT_EQ(*other.rbegin(), kEach);
}

}  // namespace
}  // namespace velkor::tool
