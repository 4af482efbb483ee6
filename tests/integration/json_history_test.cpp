// What the kiln program tells integrators and technicians beyond the reports: the --json
// object of a silent update, the update history two runs leave, and a history that
// cannot be written. Two virtual printers on the test bed, the second of which leaves
// USB at the end of its image and comes back on its old firmware.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "app/version_text.h"
#include "config/firmware_package.h"
#include "kiln_on_test_bed.h"
#include "support/printer_builder.h"
#include "support/program_folder_builder.h"
#include "support/temp_dir.h"

namespace kiln {
namespace {

using kiln::testing::BySerial;
using kiln::testing::JsonLines;
using kiln::testing::TempDir;
using nlohmann::json;
using Finished = kiln::testing::KilnFinished;

constexpr uint32_t kImageSize = kiln::testing::kKilnImageSize;

// The SHA-256 of a file as sha256sum computes it.
std::string Sha256Sum(const std::string& file) {
  std::string digest(64, '\0');
  std::FILE* pipe = ::popen(("sha256sum '" + file + "'").c_str(), "r");
  if (pipe == nullptr) return {};
  const std::size_t got = std::fread(digest.data(), 1, digest.size(), pipe);
  ::pclose(pipe);
  digest.resize(got);
  return digest;
}

kiln::testing::PrinterBuilder Printer() {
  return kiln::testing::M07();
}

class JsonAndHistory : public kiln::testing::KilnOnTestBed {
 protected:
  // Two M07 printers at 1.05; the second leaves at the end of each image it is sent.
  void TwoPrinters() {
    const auto m07 = [](const char* serial) { return Printer().Serial(serial); };
    Start({m07("SER-A"), m07("SER-B").LeavesAfterDataBytes(kImageSize)});
  }

  std::string HistoryFile() const { return state_.File("kiln/history.jsonl"); }
};

TEST_F(JsonAndHistory, SilentUpdateJsonNamesEachPrinterAndWhatBecameOfIt) {
  TwoPrinters();
  Package("1.10");
  const Finished run = Run({"-S", "-M7", "--json", "--report-stdout"});
  EXPECT_EQ(run.status, 0);
  // --json takes standard output; the report lines go to standard error.
  EXPECT_NE(run.err.find("report 101 0\nreport 100 1\nreport 110 12\n"), std::string::npos)
      << run.err;
  const std::vector<json> lines = JsonLines(run.out);
  ASSERT_EQ(lines.size(), 1u) << "one object and nothing else: " << run.out;
  const json& result = lines[0];

  EXPECT_EQ(result["mode"], "silent-update");
  EXPECT_EQ(result["package"]["file"], dir_.File("fw.bin"));
  EXPECT_EQ(result["package"]["model"], 7);
  EXPECT_EQ(result["package"]["version"], "1.10");
  EXPECT_EQ(result["package"]["sha256"], Sha256Sum(dir_.File("fw.bin")));
  ASSERT_EQ(result["printers"].size(), 2u);
  const json& updated = result["printers"][0];
  EXPECT_EQ(updated["location"], "1-2");
  EXPECT_EQ(updated["serial"], "SER-A");
  EXPECT_EQ(updated["model"], 7);
  EXPECT_EQ(updated["version_before"], "1.05");
  EXPECT_EQ(updated["version_after"], "1.10");
  EXPECT_EQ(updated["outcome"], "updated");
  EXPECT_TRUE(updated["text"].is_null());
  const json& failed = result["printers"][1];
  EXPECT_EQ(failed["location"], "1-3");
  EXPECT_EQ(failed["serial"], "SER-B");
  EXPECT_EQ(failed["model"], 7);
  EXPECT_EQ(failed["version_before"], "1.05");
  EXPECT_EQ(failed["version_after"], "1.05");
  EXPECT_EQ(failed["outcome"], "failed");
  EXPECT_EQ(failed["text"], "Printer 2 reports version 1.05 after programming, not 1.10.");
  EXPECT_EQ(result["reports"], json::parse(R"([{"code":101,"value":0},{"code":100,"value":1},
                                               {"code":110,"value":12}])"));
  EXPECT_EQ(result["result"], "update failed");
  EXPECT_EQ(bed_->Printer(0).Version(), "1.10");

  // The version report names each printer's version as it is now. Printers come back
  // under new nodes, so the listing's order is not the update's: look them up.
  const Finished report = Run({"-CheckDeviceVersion", "--json"});
  const json versions = json::parse(report.out);
  EXPECT_EQ(versions["mode"], "version-report");
  ASSERT_EQ(versions["printers"].size(), 2u);
  EXPECT_EQ(BySerial(versions["printers"], "SER-A")["version_before"], "1.10");
  EXPECT_EQ(BySerial(versions["printers"], "SER-B")["version_before"], "1.05");
  EXPECT_EQ(versions["printers"][1]["outcome"], "queried");
  // 103 is the version of the printer the short queries ask: the first one listed.
  const std::string first = versions["printers"][0]["version_before"];
  EXPECT_EQ(versions["reports"],
            json::parse(R"([{"code":102,"value":17432576},{"code":103,"value":)" +
                        std::to_string(app::PackVersion(first)) + "}]"));
}

TEST_F(JsonAndHistory, TwoUpdatesAppendToTheHistoryAndADamagedLineIsSkipped) {
  TwoPrinters();
  Package("1.10");
  ASSERT_EQ(Run({"-S", "-M7"}).status, 0);
  const std::string firstSha = Sha256Sum(dir_.File("fw.bin"));
  // A line cut short (a full disk): the next update's lines start on lines of their own.
  { std::ofstream(HistoryFile(), std::ios::app) << "{\"time\": \"2025-01-01T00:0"; }
  Package("1.20");
  ASSERT_EQ(Run({"-S", "-M7"}).status, 0);

  const Finished listing = Run({"--history", "--json"});
  EXPECT_EQ(listing.status, 0);
  EXPECT_NE(listing.err.find("line 3 is damaged and skipped"), std::string::npos) << listing.err;
  const std::vector<json> entries = JsonLines(listing.out);
  ASSERT_EQ(entries.size(), 4u) << listing.out;
  // Newest run first: the second run's two printers (the second takes its image this
  // time), then the first run's; within a run, in the order the update reached them.
  const std::map<std::string, std::array<std::string, 4>> runs[2] = {
      {{"SER-A", {"1.10", "1.20", "updated", "1-2"}},
       {"SER-B", {"1.05", "1.20", "updated", "1-3"}}},
      {{"SER-A", {"1.05", "1.10", "updated", "1-2"}},
       {"SER-B", {"1.05", "1.05", "failed", "1-3"}}}};
  for (std::size_t i = 0; i < entries.size(); ++i) {
    SCOPED_TRACE(i);
    const json& entry = entries[i];
    const auto& expected = runs[i / 2].at(entry["serial"].get<std::string>());
    EXPECT_EQ(entry["version_before"], expected[0]);
    EXPECT_EQ(entry["version_after"], expected[1]);
    EXPECT_EQ(entry["outcome"], expected[2]);
    EXPECT_EQ(entry["location"], expected[3]);
    EXPECT_EQ(entry["model"], 7);
    EXPECT_EQ(entry["package"], dir_.File("fw.bin"));
    EXPECT_EQ(entry["sha256"], i < 2 ? Sha256Sum(dir_.File("fw.bin")) : firstSha);
    EXPECT_EQ(entry["time"].get<std::string>().size(), 20u) << "YYYY-MM-DDTHH:MM:SSZ";
  }
  EXPECT_NE(entries[0]["serial"], entries[1]["serial"]);
  EXPECT_NE(entries[2]["serial"], entries[3]["serial"]);
  EXPECT_NE(firstSha, Sha256Sum(dir_.File("fw.bin")));

  const Finished table = Run({"--history"});
  EXPECT_EQ(table.status, 0);
  EXPECT_EQ(table.out.rfind("TIME", 0), 0u) << table.out;
  EXPECT_NE(table.out.find("Printer 2 reports version 1.05 after programming, not 1.10."),
            std::string::npos)
      << table.out;
}

// A history that cannot be written, for whatever reason, is a warning; nothing waits for
// it and nothing is written through a link.
TEST_F(JsonAndHistory, HistoryThatCannotBeWrittenLeavesTheResultUnchanged) {
  Start({Printer()});
  const std::string state = dir_.File("state");
  const std::pair<const char*, std::function<void()>> causes[] = {
      // A file where the state folder should be: not even root can make a folder below it.
      {"1.10", [&] { ::setenv("XDG_STATE_HOME", dir_.Write("not-a-folder", "").c_str(), 1); }},
      {"1.20",
       [&] {
         std::filesystem::create_directories(state + "/kiln");
         ::mkfifo((state + "/kiln/history.jsonl").c_str(), 0600);
         ::setenv("XDG_STATE_HOME", state.c_str(), 1);
       }},
      {"1.30",
       [&] {
         std::filesystem::remove_all(state + "/kiln");
         std::filesystem::create_directories(dir_.File("elsewhere"));
         std::filesystem::create_symlink(dir_.File("elsewhere"), state + "/kiln");
       }},
  };
  for (const auto& [version, cause] : causes) {
    SCOPED_TRACE(version);
    Package(version);
    cause();
    const Finished run = Run({"-S", "-M7", "--report-stdout", "--progress"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "report 101 0\nreport 100 1\nreport 110 11\n");
    EXPECT_NE(run.err.find("kiln: warning: the update history could not be written"),
              std::string::npos)
        << run.err;
    EXPECT_EQ(bed_->Printer(0).Version(), version);
  }
  EXPECT_TRUE(std::filesystem::is_empty(dir_.File("elsewhere")));
}

}  // namespace
}  // namespace kiln
