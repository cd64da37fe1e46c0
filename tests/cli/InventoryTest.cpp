// SPDX-License-Identifier: MIT
// A site's printers, piece by piece: CSV as spreadsheets write it, the rows an inventory gives
// and the ones it refuses, picking rows, one image per selection, the result lines a later run
// reads back, and which failures are tried again and after how long.
#include <gtest/gtest.h>

#include "base/Sha256.h"
#include "catalogue/SettingsFile.h"
#include "cli/FleetGroups.h"
#include "cli/Inventory.h"
#include "ports/TcpBackend.h"
#include "ports/echo/EchoProbe.h"
#include "resources/Strings.h"
#include "support/TempDir.h"

namespace corvelle::cli {
namespace {

// Each row as "name|address|site|origin|selection|legacy", one a line; legacy 1, 0 or - (empty);
// "error: " and the message when the inventory is refused.
std::string Rows(const Result<std::vector<InventoryRow>>& rows) {
  if (!rows) return "error: " + rows.Failure().message;
  std::string text;
  for (const InventoryRow& r : *rows) {
    text += r.target.name + "|" + r.target.Name() + "|" + r.target.site + "|" + r.target.origin + "|" + r.selectionPath +
            "|" + (r.legacy ? (*r.legacy ? "1" : "0") : "-") + "\n";
  }
  return text;
}

TEST(InventoryCsv, QuotesCommasLineEndsAndBytesAsSpreadsheetsWriteThem) {
  int errorLine = 0;
  const auto records = ParseCsv("\xEF\xBB\xBFname,site\r\n\"Line 7, east\",\"say \"\"hi\"\"\"\r\n\r\n"
                                "\"two\nlines\",Caf\xE9\n  ,  \nlast,row",
                                errorLine);
  ASSERT_TRUE(records);
  // Blank lines and rows of blank cells are no records; the byte order mark is dropped, Latin-1
  // kept as bytes, and a line end inside quotes still counts.
  using Fields = std::vector<std::string>;
  const std::vector<std::pair<int, Fields>> expected = {
      {1, {"name", "site"}}, {2, {"Line 7, east", "say \"hi\""}}, {4, {"two\nlines", "Caf\xE9"}}, {7, {"last", "row"}}};
  std::vector<std::pair<int, Fields>> got;
  for (const auto& record : *records) got.emplace_back(record.line, record.fields);
  EXPECT_EQ(got, expected);
  EXPECT_FALSE(ParseCsv("a,b\n1,\"open\n2,3\n", errorLine));
  EXPECT_EQ(errorLine, 2) << "named by the line where the quote opened";
  EXPECT_TRUE(ParseCsv("", errorLine)->empty());
  // Picking: wildcards match whole texts in either case.
  for (const auto& [pattern, text, matches] : std::vector<std::tuple<const char*, const char*, bool>>{
           {"*", "", true}, {"*", "anything", true}, {"", "", true}, {"", "x", false}, {"nord", "Nord", true},
           {"N?rd", "Nord", true}, {"N?rd", "Nrd", false}, {"N*", "Nord-2", true}, {"*-2", "Nord-2", true},
           {"*-2", "Nord-3", false}, {"a*b*c", "axxbyyc", true}, {"a*b*c", "axxbyy", false}, {"line ?", "line 7", true},
           {"line ?", "line 17", false}, {"**x", "x", true}})
    EXPECT_EQ(MatchesWildcard(pattern, text), matches) << pattern << " / " << text;
}

TEST(InventoryRows, ColumnsByNameEnabledPortSelectionAndLegacy) {
  const std::string text =
      "Notes,Address,Enabled,NAME,site,port,selection,legacy\n"
      "spare,10.0.0.9,0,spare,Nord,,,\n"
      "x,10.0.0.1,,line 1,Nord,,labels.kvf,\n"
      "x,10.0.0.2:4100,1,line 2,Nord,,/abs/old.kvf,1\n"
      "x,10.0.0.3,,line 3,Sud,5000,,0\n";
  // The disabled row is left out; a selection is taken from the inventory's folder, none is the
  // stored selection.
  const std::tuple<const char*, InventoryPick, const char*> cases[] = {
      {"site/inv.csv", {}, "line 1|10.0.0.1:4001|Nord|site/inv.csv:3|site/labels.kvf|-\n"
                           "line 2|10.0.0.2:4100|Nord|site/inv.csv:4|/abs/old.kvf|1\n"
                           "line 3|10.0.0.3:5000|Sud|site/inv.csv:5||0\n"},
      {"inv.csv", {{"N*"}, {"line ?", "spare"}},
       "line 1|10.0.0.1:4001|Nord|inv.csv:3|labels.kvf|-\nline 2|10.0.0.2:4100|Nord|inv.csv:4|/abs/old.kvf|1\n"},
      {"inv.csv", {{}, {"LINE 3"}}, "line 3|10.0.0.3:5000|Sud|inv.csv:5||0\n"}};
  for (const auto& [file, pick, expected] : cases) EXPECT_EQ(Rows(ParseInventory(text, file, 4001, pick)), expected);
  // A bad row is named by file and line.
  for (const auto& [text, expected] : std::vector<std::pair<const char*, const char*>>{
           {"name,address\nok,10.0.0.1\nnone,\n", "inv.csv:3: the row has no address"},
           {"name,address\n\"quoted\nname\",  \n", "inv.csv:2: the row has no address"},
           {"address,port\n10.0.0.1,70000\n", "inv.csv:2: the port '70000' is not a number from 0 to 65535"},
           {"address,port\n10.0.0.1:4001,4002\n", "inv.csv:2: the address '10.0.0.1:4001' has a port of its own"},
           {"address,legacy\n10.0.0.1,yes\n", "inv.csv:2: legacy is 'yes', not 1, 0 or empty"},
           {"address\n[::1]:4001\n", "inv.csv:2: '[::1]:4001': IPv6 addresses are not supported"},
           {"name,site\nx,y\n", "inv.csv:1: the header row has no address column"},
           {"address\n\"10.0.0.1\n", "inv.csv:2: a quoted field is not closed"},
           // A disabled row is not read at all.
           {"address,enabled\n,0\n10.0.0.1,1\n", "|10.0.0.1:4001||inv.csv:3||-\n"}}) {
    const std::string rows = Rows(ParseInventory(text, "inv.csv", 4001, {}));
    EXPECT_EQ(rows.rfind(*expected == '|' ? std::string(expected) : "error: " + std::string(expected), 0), 0u) << rows;
  }
}

TEST(InventoryGroups, OneImagePerSelectionAndForm) {
  test::TempDir dir;
  const std::string program = dir.File("program");
  const std::string kvf = dir.Write("a.kvf", "Arial\r\nC:\\Old\\FontExt\\arial.hea\r\n");
  const std::string text = "address,selection,legacy\n10.0.0.1,a.kvf,\n10.0.0.2,a.kvf,\n10.0.0.3,a.kvf,1\n10.0.0.4,,\n";
  const auto rows = ParseInventory(text, dir.File("inv.csv"), 4001, {});
  ASSERT_TRUE(rows) << rows.Failure().message;
  std::vector<FleetTarget> targets;
  std::vector<FleetGroup> groups(1);
  const Outcome grouped = GroupInventory(*rows, false, program, targets, groups);
  ASSERT_TRUE(grouped) << grouped.message;
  ASSERT_EQ(groups.size(), 3u) << "the stored selection, a.kvf, and a.kvf for the legacy form";
  std::vector<std::size_t> of;
  for (const FleetTarget& target : targets) of.push_back(target.group);
  EXPECT_EQ(of, (std::vector<std::size_t>{1, 1, 2, 0}));
  EXPECT_EQ(std::pair(groups[1].selectionSha256, groups[2].legacy), std::pair(Sha256Hex(test::ReadFile(kvf)), true));
  ASSERT_TRUE(groups[1].selection);
  // Read as `selection load` reads it: the path taken into this installation's FontExt.
  FontSelection loaded;
  ASSERT_TRUE(LoadSettingsFile(kvf, program, loaded));
  EXPECT_TRUE(*groups[1].selection == loaded);
}

TEST(FleetResults, AttemptsAndLabelsOnResultLinesThatALaterRunReadsBack) {
  std::vector<FleetTarget> targets(3);
  for (std::size_t i = 0; i < 3; ++i) targets[i].address = "10.0.0." + std::to_string(i + 1);
  targets[1].name = "line\t7";
  targets[1].site = "Nord";
  const std::vector<FleetResult> results = {{DownloadResult::Completed, "", 1, 3},
                                            {DownloadResult::Completed, "", 2, 3},
                                            {DownloadResult::Failed, "TPC/IP - Failed to connect.", 3, 3}};
  const std::string plain = ResultLines(targets, results);
  EXPECT_EQ(plain, "10.0.0.1:0\tok\t\n10.0.0.2:0\tok (attempt 2 of 3)\t\n10.0.0.3:0\tfailed (attempt 3 of 3)\t"
                   "TPC/IP - Failed to connect.\n");
  // A tab in a label would start a column of its own.
  EXPECT_EQ(ResultLines(targets, results, true), "10.0.0.1:0\tok\t\t\t\n10.0.0.2:0\tok (attempt 2 of 3)\t\tline 7\tNord\n"
                                                 "10.0.0.3:0\tfailed (attempt 3 of 3)\tTPC/IP - Failed to connect.\t\t\n");
  // Read back, the failures only; the printers that were ok are skipped whatever their attempts.
  const auto again = ParseTargetList(plain, "run.txt", 4001, true), all = ParseTargetList(plain, "run.txt", 4001);
  ASSERT_TRUE(again && again->size() == 1u && all) << again.Failure().message;
  EXPECT_EQ((*again)[0].Name() + " " + std::to_string(all->size()), "10.0.0.3:0 3") << "without --only-failed every line is a target";
  EXPECT_FALSE(IsOkResult("okay") || IsOkResult("failed"));
}

TEST(FleetRetries, TheWaitDoublesUpToTenMinutesAndOnlyPassingFailuresAreTried) {
  EXPECT_EQ(std::make_tuple(RetryWaitMs(30000, 1), RetryWaitMs(30000, 2), RetryWaitMs(30000, 5), RetryWaitMs(0, 10),
                            RetryWaitMs(30000, 6)), std::make_tuple(30000, 60000, 480000, 0, kMaxRetryWaitMs));
  for (const auto& [failure, passes] : std::vector<std::pair<std::string, bool>>{
           {std::string(LoadStr(IDS_TCPIP_NOT_RESPONDING)), true},
           {std::string(LoadStr(IDS_CONNECT_FAILED)) + " 111.", true},
           {"TCP/IP - The printer closed the connection.\nThe transfer was stopped.", true},
           {"TCP/IP - Sending to the printer failed: Connection timed out.\nThe transfer was stopped.", true},
           {std::string(LoadStr(IDS_TOO_MUCH_MEMORY)), false},
           {std::string(LoadStr(IDS_SOCKET_ALLOC_FAILED)) + " 24.", false},
           {kEchoNotPermittedText, false},
           {"Error opening font set image\nFontSet.SHC (No such file)", false},
           {"127.0.0.1:4001 is busy: corvelle-cli (process 7) is downloading to it.", false},
           {"", false}})
    EXPECT_EQ(FailureMayPass(failure), passes) << failure;
}

}  // namespace
}  // namespace corvelle::cli
