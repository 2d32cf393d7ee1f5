// history on a station database: the three output forms of the same rows, the --since filter,
// and a database that is not there.
#include "service/exit_codes.h"
#include "service/station/attempt_store.h"
#include "tests/service/tool_harness.h"

namespace velkor::tool {
namespace {

class HistoryCommandTest : public ToolTest {
 protected:
  void SetUp() override {
    ToolTest::SetUp();
    StartWorld();
  }

  // Three attempts on one bench: a pass, a failure with an awkward message, and one a killed
  // station left behind.
  std::string StationDatabase() {
    const std::string path = Path("station.db");
    std::string error;
    std::unique_ptr<AttemptStore> store = OpenAttemptStore(path, &error);
    EXPECT_NE(store, nullptr) << error;
    const auto start = [](const char* at, const char* serial) {
      return AttemptStart{at, "bench-1", "/dev/video0", serial, "ab12", "R06.00.02"};
    };
    std::int64_t counter = 0;
    const std::int64_t pass =
        store->Begin(start("2026-12-07T21:00:00.000Z", "SN1"), &counter, &error);
    store->Finish(
        pass, {"2026-12-07T21:00:41.000Z", 18, "CHIP1", 3, "pass", "", "written", 900, 41}, &error);
    const std::int64_t fail = store->Begin(start("2026-12-07T22:30:00.000Z", ""), &counter, &error);
    store->Finish(fail,
                  {"2026-12-07T22:30:09.500Z", 18, "CHIP1", 3, "fail", "erase",
                   "erase not confirmed, status \"0x03\"\nretry later", 120, 9.5},
                  &error);
    store->Begin(start("2026-12-07T23:00:00.000Z", "SN3"), &counter, &error);
    store->MarkInterrupted(&error);
    return path;
  }
};

TEST_F(HistoryCommandTest, MissingDatabaseIsAnErrorAndNothingIsCreated) {
  const ToolRun named = Run({"history", "--db", Path("absent.db"), "--json"});
  EXPECT_EQ(named.code, kExitUsage);
  EXPECT_EQ(named.summary["command"], "history");
  EXPECT_NE(named.summary["message"].get<std::string>().find("absent.db"), std::string::npos);

  // The default name, in the working directory.
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(scratch_);
  const ToolRun unnamed = Run({"history"});
  std::filesystem::current_path(before);
  EXPECT_EQ(unnamed.code, kExitUsage);
  EXPECT_NE(unnamed.err.find("velkor-station.db"), std::string::npos) << unnamed.err;
  EXPECT_TRUE(std::filesystem::is_empty(scratch_));
}

TEST_F(HistoryCommandTest, RowsComeNewestFirstInTableCsvAndJson) {
  const std::string db = StationDatabase();

  const ToolRun table = Run({"history", "--db", db});
  ASSERT_EQ(table.code, kExitDone) << table.err;
  std::vector<std::string> lines;
  for (std::size_t at = 0, end = 0; at < table.out.size(); at = end + 1) {
    end = table.out.find('\n', at);
    lines.push_back(table.out.substr(at, end - at));
  }
  ASSERT_EQ(lines.size(), 5u) << table.out;  // header, three rows, the closing line
  EXPECT_EQ(lines[0].find("STARTED"), 0u);
  EXPECT_EQ(lines[1].find("2026-12-07T23:00:00.000Z"), 0u);
  EXPECT_NE(lines[1].find("interrupted"), std::string::npos);
  EXPECT_NE(lines[2].find("erase not confirmed, status \"0x03\" retry later"), std::string::npos);
  EXPECT_EQ(lines[3].find("2026-12-07T21:00:00.000Z"), 0u);
  // Aligned: the state column starts at the same place on every line.
  EXPECT_EQ(lines[0].find("STATE"), lines[2].find("done"));
  EXPECT_EQ(lines[4], "3 attempts");

  const ToolRun csv = Run({"history", "--db", db, "--csv"});
  ASSERT_EQ(csv.code, kExitDone) << csv.err;
  EXPECT_EQ(csv.out.substr(0, csv.out.find("\r\n")),
            "id,counter,state,started_at,host,port,serial,image_sha256,image_version,ended_at,"
            "chip_row,chip_id,chip_version,result,failed_step,message,requests,duration_seconds");
  EXPECT_NE(csv.out.find("\r\n3,3,interrupted,2026-12-07T23:00:00.000Z,bench-1,/dev/video0,SN3,"
                         "ab12,R06.00.02,,,,,,,,,\r\n2,2,done,"),
            std::string::npos)
      << csv.out;
  EXPECT_NE(csv.out.find(",3,fail,erase,\"erase not confirmed, status \"\"0x03\"\"\nretry "
                         "later\",120,9.500\r\n1,1,done,"),
            std::string::npos)
      << csv.out;
  EXPECT_EQ(csv.out.substr(csv.out.size() - 2), "\r\n");  // the CSV alone, no closing line

  const ToolRun json = Run({"history", "--db", db, "--json", "--since", "2026-12-07T22:00Z"});
  ASSERT_EQ(json.code, kExitDone) << json.err;
  ASSERT_EQ(json.lines.size(), 1u);
  const nlohmann::json& records = json.summary["records"];
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0]["state"], "interrupted");
  EXPECT_TRUE(records[0]["result"].is_null());
  EXPECT_EQ(records[1]["message"], "erase not confirmed, status \"0x03\"\nretry later");
  EXPECT_EQ(records[1]["serial"], "");
  EXPECT_EQ(records[1]["requests"], 120);
  EXPECT_EQ(json.summary["since"], "2026-12-07T22:00:00.000Z");

  const ToolRun none = Run({"history", "--db", db, "--since", "2026-12-08"});
  EXPECT_EQ(none.code, kExitDone);
  EXPECT_NE(none.out.find("no attempts recorded since 2026-12-08T00:00:00.000Z"), std::string::npos)
      << none.out;
}

}  // namespace
}  // namespace velkor::tool
