// A scratch folder for station databases, and rows to put in them.
#pragma once

#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "service/station/attempt_store.h"

namespace velkor::tool {

inline AttemptStart Start(const std::string& at, const std::string& host = "bench-1",
                          const std::string& serial = "SN1") {
  return {at, host, "/dev/video0", serial, std::string(64, 'a'), "R06.00.02"};
}

inline AttemptEnd Passed(const std::string& at, const std::string& message = "written") {
  AttemptEnd end;
  end.endedAt = at;
  end.chipRow = 18;
  end.chipId = "CHIP1";
  end.chipVersion = 3;
  end.result = "pass";
  end.message = message;
  end.requests = 1234;
  end.durationSeconds = 41.5;
  return end;
}

class StationDbTest : public ::testing::Test {
 protected:
  void SetUp() override {
    scratch_ = std::filesystem::temp_directory_path() /
               ("velkor-station-test-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(scratch_);
    std::filesystem::create_directories(scratch_);
  }
  void TearDown() override { std::filesystem::remove_all(scratch_); }

  std::string DbPath() const { return (scratch_ / "station.db").string(); }

  std::unique_ptr<AttemptStore> Open() {
    std::string error;
    std::unique_ptr<AttemptStore> store = OpenAttemptStore(DbPath(), &error);
    EXPECT_NE(store, nullptr) << error;
    return store;
  }

  // Raw SQL on the file, as an older or newer program would have left it.
  void RawSql(const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(DbPath().c_str(), &db), SQLITE_OK);
    char* message = nullptr;
    const int result = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message);
    const std::string text = message != nullptr ? message : "";
    sqlite3_free(message);
    sqlite3_close(db);
    ASSERT_EQ(result, SQLITE_OK) << text;
  }

  std::filesystem::path scratch_;
};

}  // namespace velkor::tool
