// SPDX-License-Identifier: MIT
// The download history and what it is made of: SHA-256 against the standard vectors, JSON text
// that reads back byte for byte, appends from many processes at once, and a history that cannot
// be written.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <filesystem>

#include "base/FileWrite.h"
#include "base/History.h"
#include "base/Json.h"
#include "base/Paths.h"
#include "base/Sha256.h"
#include "support/TempDir.h"
#include "support/Unprivileged.h"

namespace corvelle {
namespace {

namespace fs = std::filesystem;

std::string HexOf(sha256::BlockRun run, std::string_view bytes) {
  Sha256 sha(run);
  sha.Update(bytes);
  return sha.HexDigest();
}

TEST(Sha256, StandardVectorsWhetherFedWholeOrInPiecesInEveryForm) {
  const std::string two = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
  const std::string million(1'000'000, 'a');
  // Each form of the compression function this processor can run: the portable one always.
  std::vector<std::pair<std::string, sha256::BlockRun>> forms{{"portable", &sha256::PortableBlocks}};
  if (sha256::AcceleratedBlocks()) forms.emplace_back("SHA instructions", sha256::AcceleratedBlocks());
  for (const auto& [form, run] : forms) {
    SCOPED_TRACE(form);
    EXPECT_EQ(HexOf(run, ""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(HexOf(run, "abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(HexOf(run, two), "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(HexOf(run, million), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
    // Pieces that straddle the 64-byte blocks and the 55/56-byte padding edge.
    for (const size_t piece : {1u, 55u, 56u, 63u, 64u, 65u, 511u}) {
      Sha256 sha(run);
      for (size_t at = 0; at < million.size(); at += piece) sha.Update(std::string_view(million).substr(at, piece));
      EXPECT_EQ(sha.HexDigest(), Sha256Hex(million)) << piece;
    }
    Sha256 running(run);
    running.Update(std::string(55, 'a'));
    EXPECT_EQ(running.HexDigest(), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318");
    running.Update(std::string(9, 'a'));
    EXPECT_EQ(running.HexDigest(), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb")
        << "a digest leaves the running state alone";
  }
}

// UTF-8 goes as it is; a byte outside well-formed UTF-8 is escaped as its Latin-1 character, so
// the text is always valid JSON and every byte string reads back unchanged.
TEST(Json, StringsAreValidJsonAndReadBackByteForByteAndMalformedObjectsAreRefused) {
  EXPECT_EQ(JsonString("a\"b\\c\n\t\x01\xe9\x7f"), R"("a\"b\\c\n\t\u0001\u00e9\u007f")");
  EXPECT_EQ(JsonString("C:\\\xD0\xA8 \xC3\xA9\\1.out"), "\"C:\\\\\xD0\xA8 \xC3\xA9\\\\1.out\"");
  EXPECT_EQ(JsonString("\xC3\xA9\xC3(\xF0\x9F\x98\x80\xED\xA0\x80"), "\"\xC3\xA9\\u00c3(\xF0\x9F\x98\x80\\u00ed\\u00a0\\u0080\"");
  std::string every;
  for (int c = 0; c < 256; ++c) every += static_cast<char>(c);
  const auto object = ParseFlatJsonObject("{\"k\":" + JsonString(every) + ", \"n\": -1.5e3 ,\"z\":null,\"t\":true}");
  ASSERT_TRUE(object);
  EXPECT_TRUE(object->at("k").text == every && object->at("n").text == "-1.5e3");
  using K = JsonScalar::Kind;
  EXPECT_EQ(std::vector({object->at("n").kind, object->at("z").kind, object->at("t").kind}),
            std::vector({K::Number, K::Null, K::Bool}));
  // value() throws, and so fails the test, when the object is refused.
  EXPECT_EQ(ParseFlatJsonObject("{\"k\":" + JsonString("\xD0\xA8\xC3\xA9") + "}").value().at("k").text,
            "\xD0\xA8\xC3\xA9");
  // Escapes above 0xFF, which other writers use, are characters.
  EXPECT_EQ(ParseFlatJsonObject(R"({"k":"\u20ac\ud83d\ude00|\ud83dx|\ude00"})").value().at("k").text,
            "\xE2\x82\xAC\xF0\x9F\x98\x80|\xEF\xBF\xBDx|\xEF\xBF\xBD");
  // Malformed or oversized objects are refused.
  for (const char* bad : {"", "{", "{\"a\":}", "{\"a\":1,}", "{\"a\":[1]}", "{\"a\":{}}", "{\"a\":\"x", "{\"a\":\"\\u12\"}",
                          "{\"a\":\"\\q\"}", "{\"a\":01x}", "{\"a\":-}", "{\"a\":1} x", "{\"a\":\"line\nbreak\"}", "[]"}) {
    EXPECT_FALSE(ParseFlatJsonObject(bad)) << bad;
  }
  EXPECT_TRUE(!ParseFlatJsonObject("{\"a\":\"" + std::string(100, 'x') + "\"}", 50) &&
              !ParseFlatJsonObject(R"({"a":1,"b":2,"c":3})", 100, 2) && ParseFlatJsonObject(R"({"a":1,"b":2})", 100, 2));
}

DownloadRecord Sample() {
  return {"2026-12-07T09:41:03Z", "corvelle-cli", "TCP/IP", "127.0.0.1:4001", "FontSet.SHC", 1376256,
          Sha256Hex("x"), "failed", "TCP/IP device is not responding\n127.0.0.1 (\xe9)"};
}

// The line without its newline.
std::string_view Bare(const std::string& line) { return std::string_view(line).substr(0, line.size() - 1); }

TEST(HistoryRecord, OneLineThatReadsBackAndNothingElseDoesAndAnOlderLineStaysReadable) {
  const std::string line = FormatRecord(Sample());
  EXPECT_EQ(line.find('\n'), line.size() - 1);
  EXPECT_EQ(ParseRecord(Bare(line)), Sample());
  EXPECT_TRUE(line.starts_with(R"({"time":"2026-12-07T09:41:03Z","program":"corvelle-cli","port":"TCP/IP")")) << line;
  // A result that is none of the three, bytes as a string or negative, fields missing.
  const std::pair<std::string, const char*> edits[] = {{"\"failed\"", "\"maybe\""}, {"1376256", "\"1376256\""}, {"1376256", "-1"}};
  for (const auto& [from, to] : edits) EXPECT_FALSE(ParseRecord(std::string(line).replace(line.find(from), from.size(), to)));
  EXPECT_FALSE(ParseRecord(R"({"time":"t"})"));

  DownloadRecord huge = Sample();
  huge.message = std::string(100000, '\x01');
  const std::string shortened = FormatRecord(huge);
  EXPECT_TRUE(shortened.size() <= kMaxHistoryLine && ParseRecord(Bare(shortened)).value().target == huge.target);
  EXPECT_EQ(UtcTimestamp(0), "1970-01-01T00:00:00Z");

  // A record without labels is the line it always was: nothing added at its end. An inventory's
  // labels read back.
  EXPECT_TRUE(line.ends_with("\"}\n") && line.find("\"name\"") == std::string::npos) << line;
  DownloadRecord labelled = Sample();
  std::tie(labelled.name, labelled.site, labelled.selection) = std::tuple("line 7", "Nord", "labels.kvf");
  labelled.selectionSha256 = std::string(64, 'a');
  std::string labels = FormatRecord(labelled);
  EXPECT_EQ(ParseRecord(Bare(labels)), labelled);
  EXPECT_FALSE(ParseRecord(Bare(labels.replace(labels.find("\"Nord\""), 6, "7")))) << "a label is a string";
}

// "records read/lines unreadable".
std::string Counts(const HistoryListing& l) { return std::to_string(l.records.size()) + "/" + std::to_string(l.unreadable); }

TEST(HistoryFile, ConcurrentRunsAppendWholeLines) {
  test::TempDir dir;
  const std::string path = dir.File("state/corvelle/downloads.jsonl");
  constexpr int kProcesses = 8, kEach = 200;
  EXPECT_EQ(test::RunInChildren(kProcesses, [&](int p) {
              DownloadHistory history("corvelle-cli", path);
              DownloadRecord record = Sample();
              // Lines of different lengths, so an interleaving would show.
              record.message = std::string(static_cast<size_t>(100 * p + 1), static_cast<char>('a' + p));
              int failed = 0;
              for (int i = 0; i < kEach; ++i) failed += !history.Append(record).empty();
              return failed;
            }), 0);
  const HistoryListing listing = ReadHistory(path);
  ASSERT_EQ(Counts(listing), std::to_string(kProcesses * kEach) + "/0");
  for (const DownloadRecord& record : listing.records) {
    const size_t p = static_cast<size_t>(record.message[0] - 'a');
    EXPECT_EQ(record.message, std::string(100 * p + 1, record.message[0]));
  }
  EXPECT_EQ(std::pair(fs::status(dir.File("state/corvelle")).permissions(), fs::status(path).permissions()),
            std::pair(fs::perms(0700), fs::perms(0600)));
  EXPECT_EQ(ReadHistory(path, 3).records.size(), 3u);
}

TEST(HistoryFile, AnUnwritableHistoryIsSaidOnceAndALineTornByACrashOrASizeLimitSwallowsNoLaterRecord) {
  test::TempDir dir;
  // A folder others may write to is refused, as every folder of the program's own is. The
  // labelled copy of a history writes to the same file and shares its "said once".
  const std::string shared = dir.File("shared/corvelle");
  ASSERT_TRUE(MakeFolders(shared, 0700));
  ::chmod(shared.c_str(), 0777);
  DownloadHistory refused("corvelle", shared + "/downloads.jsonl");
  const DownloadHistory labelled = refused.Labelled({"a", "b", "", ""});
  const std::string first = DownloadHistory(labelled).Append(Sample());
  EXPECT_NE(first.find("group or others may write"), std::string::npos) << first;
  EXPECT_TRUE(refused.Append(Sample()).empty() && !test::FileExists(shared + "/downloads.jsonl")) << "said once for the run";
  ::chmod(shared.c_str(), 0700);
  DownloadHistory(labelled).Append(Sample());
  refused.Append(Sample());
  const HistoryListing labels = ReadHistory(shared + "/downloads.jsonl");
  ASSERT_EQ(labels.records.size(), 2u);
  // The shared history stays unlabelled.
  EXPECT_EQ(labels.records[0].name + labels.records[0].site + "|" + labels.records[1].name, "ab|");

  // A planted link is not followed, a planted pipe does not hold the program.
  const std::string linked = dir.File("own/corvelle/downloads.jsonl");
  ASSERT_TRUE(MakeFolders(dir.File("own/corvelle"), 0700));
  ASSERT_EQ(::symlink(dir.File("elsewhere").c_str(), linked.c_str()), 0);
  EXPECT_TRUE(!DownloadHistory("corvelle", linked).Append(Sample()).empty() && !test::FileExists(dir.File("elsewhere")));
  ASSERT_EQ(::mkfifo(dir.File("own/fifo").c_str(), 0600), 0);
  EXPECT_FALSE(AppendLine(dir.File("own/fifo"), "x\n"));

  EXPECT_TRUE(ReadHistory(dir.File("none")).error.empty()) << "no history yet is an empty one";
  EXPECT_NE(ReadHistory(dir.File("own")).error, "");
  const std::string line = FormatRecord(Sample());
  // A crash part way through a line: the next records start on lines of their own.
  const std::string torn = dir.Write("torn.jsonl", line + line.substr(0, 40));
  DownloadHistory history("corvelle-cli", torn, false);
  ASSERT_EQ(history.Append(Sample()) + history.Append(Sample()), "");
  const std::string text = test::ReadFile(torn);
  EXPECT_EQ(text.substr(0, line.size() + 41), line + line.substr(0, 40) + "\n");
  EXPECT_EQ(text.size(), 3 * line.size() + 41) << "a line break only after the torn line";
  EXPECT_EQ(Counts(ReadHistory(torn)), "3/1");

  // A file-size limit cuts a line short; once it is lifted, the next record reads back whole.
  const std::string limited = dir.Write("limited.jsonl", line);
  ASSERT_EQ(test::RunInChild([&] {
              IgnoreFileSizeSignal();
              const rlimit size{static_cast<rlim_t>(line.size() + 100), static_cast<rlim_t>(line.size() + 100)};
              ::setrlimit(RLIMIT_FSIZE, &size);
              return DownloadHistory("corvelle-cli", limited, false).Append(Sample()).empty() ? 1 : 0;
            }), 0)
      << "the cut line is reported";
  ASSERT_EQ(test::ReadFile(limited).size(), line.size() + 100);
  ASSERT_EQ(DownloadHistory("corvelle-cli", limited, false).Append(Sample()), "");
  EXPECT_EQ(Counts(ReadHistory(limited)), "2/1");

  // Two runs that both found the torn end leave an empty line, which is no record and no fault.
  EXPECT_EQ(Counts(ReadHistory(dir.Write("twice.jsonl", line.substr(0, 40) + "\n" + line + "\n" + line))), "2/1");
  ASSERT_EQ(DownloadHistory("corvelle-cli", dir.File("new.jsonl"), false).Append(Sample()), "");
  EXPECT_EQ(test::ReadFile(dir.File("new.jsonl")).front(), '{') << "a new file starts with the record itself";
}

}  // namespace
}  // namespace corvelle
