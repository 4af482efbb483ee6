// The update history as --history reads it back, from files no run of Kiln wrote whole:
// damaged, huge, deeply nested; and the SHA-256 that names each package in it.
#include "app/update_history.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/sha256.h"
#include "support/temp_dir.h"

namespace kiln::app {
namespace {

using kiln::testing::TempDir;

struct Shown {
  int status = -1;
  std::string out, err;
};

Shown Show(const std::string& path, bool json) {
  TempDir streams;
  std::FILE* out = std::fopen(streams.File("out").c_str(), "w");
  std::FILE* err = std::fopen(streams.File("err").c_str(), "w");
  Shown shown;
  shown.status = ShowUpdateHistory(path, json, out, err);
  std::fclose(out);
  std::fclose(err);
  shown.out = TempDir::Read(streams.File("out"));
  shown.err = TempDir::Read(streams.File("err"));
  return shown;
}

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

const std::string kEntry =
    R"({"time":"2026-01-02T03:04:05Z","serial":"S1","outcome":"updated","text":"a\u0007b"})";

TEST(UpdateHistory, DamagedAndHostileLinesAreSkippedAndTheRestShown) {
  TempDir dir;
  const std::string nested(kHistoryLineLimit, '[');
  const std::string tooLong = "{\"text\":\"" + std::string(kHistoryLineLimit, 'x') + "\"}";
  dir.Write("history.jsonl", kEntry + "\n" + "[1,2]\n" + "{\"cut\": \n" + nested + "\n" + tooLong +
                                 "\n" + "{\"serial\":\"\xff\xfe\"}\n" + "\n" + kEntry + "\n");
  const Shown json = Show(dir.File("history.jsonl"), true);
  EXPECT_EQ(json.status, 0);
  EXPECT_EQ(Count(json.out, "\"serial\":\"S1\""), 2u) << json.out;
  EXPECT_EQ(Count(json.out, "\n"), 2u) << "the two entries alone: " << json.out;
  // Not an object, cut short, nested deep and never closed, too long to be Kiln's, not
  // UTF-8: five damaged lines.
  EXPECT_EQ(Count(json.err, "is damaged and skipped"), 5u) << json.err;
  EXPECT_NE(json.err.find("line 2 is damaged"), std::string::npos) << json.err;

  const Shown table = Show(dir.File("history.jsonl"), false);
  EXPECT_EQ(Count(table.out, "2026-01-02T03:04:05Z"), 2u) << table.out;
  EXPECT_EQ(table.out.find('\a'), std::string::npos) << "control characters never reach a terminal";
}

TEST(UpdateHistory, HugeHistoryIsReadFromItsNewestEntriesOnly) {
  TempDir dir;
  std::string text;
  const std::string old = R"({"time":"2020-01-01T00:00:00Z","serial":"OLD"})"
                          "\n";
  while (text.size() < kHistoryReadLimit + 1024) text += old;
  text += kEntry + "\n";
  dir.Write("history.jsonl", text);
  const Shown json = Show(dir.File("history.jsonl"), true);
  EXPECT_EQ(json.status, 0);
  EXPECT_EQ(json.out.rfind(R"({"time":"2026-01-02T03:04:05Z")", 0), 0u) << "newest first";
  EXPECT_LT(Count(json.out, "\"OLD\""), kHistoryReadLimit / old.size() + 1);
  EXPECT_NE(json.err.find("only its newest entries are shown"), std::string::npos);
  EXPECT_EQ(json.err.find("damaged"), std::string::npos)
      << "the line cut by the limit is no damage";
}

TEST(UpdateHistory, MissingHistoryShowsNothingAndAFolderIsAnError) {
  TempDir dir;
  EXPECT_EQ(Show(dir.File("none.jsonl"), true).out, "");
  EXPECT_EQ(Show(dir.File("none.jsonl"), true).status, 0);
  EXPECT_EQ(Show(dir.path().string(), true).status, 1);
}

TEST(UpdateHistory, Sha256MatchesSha256sumAcrossBlockEdges) {
  TempDir dir;
  for (std::size_t size : {0, 3, 55, 56, 63, 64, 65, 119, 120, 1000}) {
    std::vector<uint8_t> bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + 1);
    dir.Write("bytes", std::string(bytes.begin(), bytes.end()));
    std::FILE* pipe = ::popen(("sha256sum " + dir.File("bytes")).c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string expected(64, '\0');
    expected.resize(std::fread(expected.data(), 1, expected.size(), pipe));
    ::pclose(pipe);
    EXPECT_EQ(Sha256Hex(bytes), expected) << size << " bytes";
  }
}

}  // namespace
}  // namespace kiln::app
