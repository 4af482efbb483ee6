// The update history as --history reads it back, from files no run of Kiln wrote whole:
// damaged, huge, deeply nested; the lines Kiln writes, however long their fields; text
// from outside made safe for a terminal; the SHA-256 that names each package in it; and
// every file Kiln reads or appends when it is a FIFO, a link or a folder.
#include "app/update_history.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "app/sha256.h"
#include "config/package.h"
#include "i18n/terminal_text.h"
#include "log/debug_log.h"
#include "platform/history_file.h"
#include "platform/profile.h"
#include "support/temp_dir.h"
#include "tools/table_file.h"

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

TEST(UpdateHistory, LineOfExactlyTheLimitIsRead) {
  TempDir dir;
  std::string line = R"({"serial":"S2","text":")";
  line += std::string(kHistoryLineLimit - line.size() - 2, 'x') + "\"}";
  ASSERT_EQ(line.size(), kHistoryLineLimit);
  dir.Write("history.jsonl", line + "\n");
  const Shown json = Show(dir.File("history.jsonl"), true);
  EXPECT_EQ(json.err, "");
  EXPECT_EQ(Count(json.out, "\"serial\":\"S2\""), 1u);
}

TEST(UpdateHistory, TableShowsNoCharacterThatDrivesOrReordersTheTerminal) {
  TempDir dir;
  dir.Write("history.jsonl",
            R"({"serial":"\u202eS1","package":"/tmp/\u001b[2J\u007f\u009b.bin","text":"fine )"
            R"(\u00e9\u2066"})"
            "\n");
  const Shown table = Show(dir.File("history.jsonl"), false);
  EXPECT_NE(table.out.find("  ?S1  "), std::string::npos) << table.out;
  EXPECT_NE(table.out.find("/tmp/?[2J??.bin\n"), std::string::npos) << table.out;
  EXPECT_NE(table.out.find("fine \u00e9?\n"), std::string::npos) << table.out;
}

TEST(TerminalText, ControlsBidiOverridesAndBrokenUtf8BecomeQuestionMarks) {
  const std::pair<std::string, std::string> cases[] = {
      {"plain /tmp/fw 1.10.bin", "plain /tmp/fw 1.10.bin"},
      {"a\tb\r\nc\x1b[31m\x7f", "a?b??c?[31m?"},
      {"\xc2\x80\xc2\x9b\xc2\x9f\xc2\xa0", "???\xc2\xa0"},  // C1 controls; a no-break space stays
      {"\u200e\u200f\u202a\u202e\u2066\u2069\u2067", "???????"},
      {"\u2029\u202f\u2065\u206a", "\u2029\u202f\u2065\u206a"},  // beside the ranges
      {"\u00e9\u65e5\U0001F600", "\u00e9\u65e5\U0001F600"},
      {"\xff\xc0\xaf\xed\xa0\x80", "??????"},    // no UTF-8, over-long, a surrogate
      {"\xf4\x90\x80\x80|\xe6\x97", "????|??"},  // above U+10FFFF; cut at the end
  };
  for (const auto& [text, safe] : cases) EXPECT_EQ(i18n::TerminalSafe(text), safe) << text;
}

// A folder of control bytes makes the longest line: each byte is six in JSON. Kiln still
// writes only lines it reads back, and says which fields it shortened.
TEST(UpdateHistory, LinesWithTheLongestFieldsAreReadBackAndSayWhatWasCut) {
  TempDir dir;
  const std::string controls(4096, '\x01');
  ModeRecord record;
  record.package = ModeRecord::Package{controls + "/fw.bin", 7, "1.10", std::string(64, 'a')};
  record.printers = {
      {controls, controls, 7, controls, controls, protocol::PrinterResult::kFailed, 0, controls},
      {"1-2", std::string(3000, 's'), 7, "1.05", "1.10", protocol::PrinterResult::kUpdated, 0,
       std::string(2000, 'x')}};
  const std::string path = dir.File("kiln/history.jsonl");
  ASSERT_EQ(AppendUpdateHistory(record, path), "");
  const Shown json = Show(path, true);
  EXPECT_EQ(json.err, "") << "no line is damaged";
  const std::size_t end = json.out.find('\n');
  ASSERT_NE(end, std::string::npos);
  // Newest first: the second printer's line, then the first's.
  const auto whole = nlohmann::json::parse(json.out.substr(0, end));
  const auto cut = nlohmann::json::parse(json.out.substr(end + 1));
  EXPECT_EQ(whole["text"], std::string(2000, 'x'));
  EXPECT_EQ(whole["cut"], nlohmann::json::parse(R"(["package","serial"])")) << "each line";
  // As many characters as fit beside the quotes and the ellipsis.
  EXPECT_EQ(whole["serial"], std::string(kHistoryFieldLimit - 5, 's') + "\u2026");
  EXPECT_EQ(cut["cut"], nlohmann::json::parse(R"(["package","location","serial",)"
                                              R"("version_before","version_after","text"])"));
  const std::string package = cut["package"];
  EXPECT_EQ(package.rfind("\x01\x01", 0), 0u);
  EXPECT_EQ(package.substr(package.size() - 3), "\u2026");
  EXPECT_EQ(cut["sha256"], std::string(64, 'a'));
}

// Runs step in a child process that an alarm ends after seconds: the step's answer, or
// nullopt when it did not answer in time (it blocked).
std::optional<bool> AnswersWithin(unsigned seconds, const std::function<bool()>& step) {
  std::fflush(nullptr);
  const pid_t child = ::fork();
  if (child == 0) {
    ::alarm(seconds);
    ::_exit(step() ? 0 : 1);
  }
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return {};
  return WEXITSTATUS(status) == 0;
}

using EntryName = std::string config::ModelEntry::*;
using Loaded = config::LoadedFile config::PackageFiles::*;

// Whether the update refuses the file of this role at path.
std::function<bool(const std::string&)> PackageRole(EntryName name, Loaded loaded) {
  return [name, loaded](const std::string& path) {
    config::ModelEntry entry;
    entry.cpuFirst = true;
    entry.tableSwitch = true;
    std::string colourTable;
    (name != nullptr ? entry.*name : colourTable) = path;
    return !(config::LoadPackageFiles(entry, colourTable).*loaded).readable() &&
           (name != nullptr || tools::ReadTableVersion(path, 7).empty());
  };
}

// No file Kiln reads or appends makes it wait: a FIFO without a writer or a reader, a
// link to one, a folder are each refused at once, as a damaged file of that role is.
TEST(HostileFiles, FifosLinksToThemAndFoldersAreRefusedWithoutWaiting) {
  using config::PackageFiles;
  const std::pair<const char*, std::function<bool(const std::string&)>> roles[] = {
      {"firmware", PackageRole(&config::ModelEntry::firmware, &PackageFiles::firmware)},
      {"code", PackageRole(&config::ModelEntry::code, &PackageFiles::code)},
      {"table", PackageRole(&config::ModelEntry::table, &PackageFiles::table)},
      {"alt firmware", PackageRole(&config::ModelEntry::altFirmware, &PackageFiles::altFirmware)},
      {"alt code", PackageRole(&config::ModelEntry::altCode, &PackageFiles::altCode)},
      {"alt table", PackageRole(&config::ModelEntry::altTable, &PackageFiles::altTable)},
      {"CPU firmware", PackageRole(&config::ModelEntry::cpuFirmware, &PackageFiles::cpuFirmware)},
      {"CPU code", PackageRole(&config::ModelEntry::cpuCode, &PackageFiles::cpuCode)},
      {"CPU table", PackageRole(&config::ModelEntry::cpuTable, &PackageFiles::cpuTable)},
      {"colour table", PackageRole(nullptr, &PackageFiles::colourTable)},
      {"Kiln.ini",
       [](const std::string& path) {
         char value[8] = {};
         platform::GetPrivateProfileStringA("FW_INFO1", "File", "none", value, sizeof value,
                                            path.c_str());
         return std::string(value) == "none";
       }},
      {"history",
       [](const std::string& path) {
         std::string error;
         return !platform::AppendLinesDurably(path, {"{}"}, error) && !error.empty();
       }},
      {"Make BIN input",
       [](const std::string& path) {
         const std::string output = path + ".out";
         return tools::CombineTableFile({path, path, path}, output).error ==
                    tools::CombineError::kCannotOpenInput &&
                !std::filesystem::exists(output);
       }},
      {"debug trace",
       [](const std::string& path) {
         ::setenv("KILN_LOG_FILE", path.c_str(), 1);  // in the child alone
         ::setenv("KILN_LOG_LEVEL", "1", 1);
         return !log::DebugLog().OpenFromEnvironment();
       }},
  };
  const std::pair<const char*, std::function<std::string(const TempDir&)>> kinds[] = {
      {"FIFO", [](const TempDir& dir) { return dir.File("fifo"); }},
      {"link to a FIFO",
       [](const TempDir& dir) {
         std::filesystem::create_symlink("fifo", dir.File("link"));
         return dir.File("link");
       }},
      {"folder",
       [](const TempDir& dir) {
         std::filesystem::create_directory(dir.File("folder"));
         return dir.File("folder");
       }},
  };
  for (const auto& [role, refuses] : roles) {
    for (const auto& [kind, make] : kinds) {
      SCOPED_TRACE(std::string(role) + " as a " + kind);
      TempDir dir;
      ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0600), 0);
      const std::string path = make(dir);
      EXPECT_EQ(AnswersWithin(5, [&] { return refuses(path); }), std::optional<bool>(true));
    }
  }
}

// A link at the history file or at its folder is not followed: nothing is written into
// its target and a dangling link's target is not created.
TEST(UpdateHistory, LinksAtTheHistoryOrItsFolderAreNotFollowed) {
  const std::pair<const char*, const char*> links[] = {
      {"kiln/history.jsonl", "../elsewhere/history.jsonl"},
      {"kiln/history.jsonl", "../elsewhere/new.jsonl"},
      {"kiln", "elsewhere"},
      {"kiln", "elsewhere/new"},
  };
  ModeRecord record;
  record.printers = {{"1-2", "S2", 7, "1.05", "1.10", protocol::PrinterResult::kUpdated, 0, ""}};
  for (const auto& [link, target] : links) {
    SCOPED_TRACE(std::string(link) + " -> " + target);
    TempDir state;
    std::filesystem::create_directories(state.File("kiln"));
    std::filesystem::create_directories(state.File("elsewhere"));
    state.Write("elsewhere/history.jsonl", "old\n");
    std::filesystem::remove(state.File(link));
    std::filesystem::create_symlink(target, state.File(link));
    EXPECT_NE(AppendUpdateHistory(record, state.File("kiln/history.jsonl")), "");
    EXPECT_EQ(TempDir::Read(state.File("elsewhere/history.jsonl")), "old\n");
    EXPECT_FALSE(std::filesystem::exists(state.File("elsewhere/new.jsonl")));
    EXPECT_FALSE(std::filesystem::exists(state.File("elsewhere/new")));
  }
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
