// SPDX-License-Identifier: MIT
// corvelle-cli.exe downloading over USB under Wine. Beside the stand-in FTD2XX.dll: the calls in
// order with the kind's values and, across them, byte for byte the framed image, under XOFF
// from the printer; an open the library refuses and a short write are failures, never success.
// With no library beside it (one in the current folder does not count) or an incomplete one:
// opening error #02 with the reason, and no call made.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "windows/CliProcess.h"
#include "StandinLog.h"
#include "download/DownloadPlan.h"

namespace corvelle {
namespace {

using Calls = std::vector<std::string>;

const std::string kBesideStandin = CORVELLE_USB_DIR "/corvelle-cli.exe";
const std::string kBesideIncomplete = CORVELLE_USB_INCOMPLETE_DIR "/corvelle-cli.exe";
const std::string kAlone = CORVELLE_BIN_DIR "/corvelle-cli.exe";
const std::string kFontsStored = "Fonts will be stored in printer when green led turns on again.";

using test::kOpened;

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

class WindowsUsbCli : public test::CliFolders {
 protected:
  // Runs `exe` as CliFolders::Run does; the exit status, with what it said in `err` (standard
  // output and error, the console's CR LF as LF).
  int Run(const std::string& exe, const std::vector<std::string>& args, const std::string& cwd = {}) {
    const test::CliRun run = CliFolders::Run(args, exe, cwd);
    err = run.out + run.err;
    std::erase(err, '\r');
    return run.code;
  }

  test::Standin standin{dir};
  std::string err;
};

// The calls of each open, from its FT_OpenEx to its FT_Close.
std::vector<Calls> Opens(const Calls& calls) {
  std::vector<Calls> opens;
  for (const std::string& call : calls) {
    if (call.starts_with("FT_OpenEx ")) opens.emplace_back();
    if (opens.empty()) opens.emplace_back();
    opens.back().push_back(call);
  }
  return opens;
}

TEST_F(WindowsUsbCli, ADownloadUnderXoffSendsTheFramedImageByteForByteInTheKindsCalls) {
  const std::string image = dir.File("built.shc");
  ASSERT_EQ(Run(kAlone, {"build", "--output", image}), 0) << err;
  const std::string built = test::ReadFile(image);
  const auto areas = SplitImage(static_cast<std::int64_t>(built.size()), DownloadForm::Current);
  ASSERT_EQ(areas.size(), 1u);
  // Each open finds XOFF waiting; the printer sends XON at its fourth queue-status call.
  standin.Set("REPLY", "13");
  standin.Set("XON_AFTER", "4");

  ASSERT_EQ(Run(kBesideStandin, {"download", "-q", "--port", "USB"}), 0) << err;
  EXPECT_TRUE(Has(err, kFontsStored)) << err;
  EXPECT_TRUE(standin.Written() == Announcement(areas[0]) + built) << "the bytes on the bridge differ";
  const std::vector<Calls> opens = Opens(standin.Calls());
  ASSERT_EQ(opens.size(), 2u) << "the announcement, then the image";
  for (const Calls& open : opens) {
    ASSERT_GE(open.size(), 12u);
    EXPECT_EQ(Calls(open.begin(), open.begin() + 4), kOpened);
    EXPECT_EQ(Calls(open.begin() + 4, open.begin() + 10), (Calls{
                                                              "FT_GetQueueStatus -> 0 1",
                                                              "FT_Read 1 -> 0 13",
                                                              "FT_GetQueueStatus -> 0 0",
                                                              "FT_GetQueueStatus -> 0 0",
                                                              "FT_GetQueueStatus -> 0 1",
                                                              "FT_Read 1 -> 0 11",
                                                          }));
    EXPECT_EQ(open.back(), "FT_Close -> 0");
    // Then every write, taken whole, each later one after a check that finds nothing waiting.
    for (std::size_t i = 10; i + 1 < open.size(); ++i) {
      if ((i - 10) % 2 == 1) {
        EXPECT_EQ(open[i], "FT_GetQueueStatus -> 0 0");
        continue;
      }
      unsigned given = 0, taken = 1;
      EXPECT_TRUE(std::sscanf(open[i].c_str(), "FT_Write %u -> 0 %u", &given, &taken) == 2 && given == taken)
          << open[i];
    }
  }
}

TEST_F(WindowsUsbCli, ALibraryThatRefusesTheOpenOrTakesPartOfAWriteFailsTheDownload) {
  standin.Set("OPEN", "3");
  EXPECT_EQ(Run(kBesideStandin, {"download", "-q", "--port", "USB"}), 1) << err;
  EXPECT_TRUE(Has(err, "USB device opening error #03\n")) << err;
  EXPECT_EQ(standin.Calls(), Calls{"FT_OpenEx \"Varnesi Bridge GN2\" 2 -> 3"});

  const std::string image = dir.File("built.shc");
  ASSERT_EQ(Run(kAlone, {"build", "--output", image}), 0) << err;
  const auto areas = SplitImage(static_cast<std::int64_t>(test::ReadFile(image).size()), DownloadForm::Current);
  ASSERT_EQ(areas.size(), 1u);
  const std::string announcement = Announcement(areas[0]);
  ASSERT_GT(announcement.size(), 5u);
  ::DeleteFileW(win::Widen(dir.File("d2xx-calls.log")).c_str());
  standin.Set("OPEN", "");
  // The library answers success but takes only 5 bytes: the download must not go on as if sent.
  standin.Set("WRITE_LIMIT", "5");
  EXPECT_EQ(Run(kBesideStandin, {"download", "-q", "--port", "USB"}), 1) << err;
  EXPECT_TRUE(Has(err, "USB device write error #00\n5 of " + std::to_string(announcement.size()) +
                           " bytes were sent.\n"))
      << err;
  EXPECT_FALSE(Has(err, kFontsStored)) << err;
  Calls expected = kOpened;
  expected.insert(expected.end(), {"FT_GetQueueStatus -> 0 0",
                                   "FT_Write " + std::to_string(announcement.size()) + " -> 0 5", "FT_Purge 3 -> 0",
                                   "FT_Close -> 0"});
  EXPECT_EQ(standin.Calls(), expected);
  EXPECT_EQ(standin.Written(), announcement.substr(0, 5));
}

TEST_F(WindowsUsbCli, AMissingOrIncompleteLibraryIsOpeningError02WithTheReasonAndNoCall) {
  // The stand-in in the current folder is not the program's: it is never loaded.
  EXPECT_EQ(Run(kAlone, {"download", "-q", "--port", "USB"}, CORVELLE_USB_DIR), 1) << err;
  EXPECT_TRUE(Has(err, "USB device opening error #02\nThe D2XX driver library (FTD2XX.dll) is not installed.\n"))
      << err;
  EXPECT_EQ(Run(kBesideIncomplete, {"download", "-q", "--port", "USB"}), 1) << err;
  EXPECT_TRUE(Has(err, "USB device opening error #02\nThe installed D2XX driver library (FTD2XX.dll) lacks FT_Read.\n"))
      << err;
  EXPECT_EQ(standin.Calls(), Calls{});
}

}  // namespace
}  // namespace corvelle
