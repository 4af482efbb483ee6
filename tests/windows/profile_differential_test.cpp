// Kiln's profile engine against the system's own private-profile functions: the same reads
// (section and key listings, section lines, values in a large and a small buffer, integers)
// on generated files and on the fuzz corpora's files, through both, answer by answer. The
// engine follows the system; the differences it keeps are named in KeptDifference with
// their reason, and any other difference fails the test.

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "platform/profile.h"
#include "support/temp_dir.h"
#include "windows_process.h"

namespace kiln::testing {
namespace {

constexpr uint32_t kLarge = 8192;
constexpr uint32_t kSmall = 6;
constexpr char kFill = '\x7f';

// One answer: the returned count and the buffer up to two bytes past it, so that a
// missing terminator or list end shows too.
struct Answer {
  uint32_t count = 0;
  std::string bytes;
  bool operator==(const Answer&) const = default;
};

Answer Capture(uint32_t count, const std::vector<char>& buffer) {
  const std::size_t end = std::min<std::size_t>(buffer.size(), count + 2u);
  return {count, std::string(buffer.data(), end)};
}

enum class Engine { kKiln, kSystem };

Answer ReadString(Engine engine, const char* section, const char* key, const char* fallback,
                  uint32_t size, const std::string& path) {
  std::vector<char> out(size, kFill);
  const uint32_t count =
      engine == Engine::kKiln
          ? platform::GetPrivateProfileStringA(section, key, fallback, out.data(), size,
                                               path.c_str())
          : ::GetPrivateProfileStringA(section, key, fallback, out.data(), size, path.c_str());
  return Capture(count, out);
}

Answer ReadSection(Engine engine, const char* section, uint32_t size, const std::string& path) {
  std::vector<char> out(size, kFill);
  const uint32_t count =
      engine == Engine::kKiln
          ? platform::GetPrivateProfileSectionA(section, out.data(), size, path.c_str())
          : ::GetPrivateProfileSectionA(section, out.data(), size, path.c_str());
  return Capture(count, out);
}

Answer ReadInt(Engine engine, const char* section, const char* key, const std::string& path) {
  const uint32_t value = engine == Engine::kKiln
                             ? platform::GetPrivateProfileIntA(section, key, -3, path.c_str())
                             : ::GetPrivateProfileIntA(section, key, -3, path.c_str());
  return {value, {}};
}

// The names of a NUL-separated list.
std::vector<std::string> Names(const Answer& list) {
  std::vector<std::string> names;
  for (std::size_t i = 0; i < list.count;) {
    const std::size_t end = list.bytes.find('\0', i);
    if (end == std::string::npos) break;
    names.push_back(list.bytes.substr(i, end - i));
    i = end + 1;
  }
  return names;
}

struct Tally {
  int files = 0;
  int reads = 0;
  int agreements = 0;
  std::map<std::string, int> kept;       // reason -> reads
  std::vector<std::string> unexplained;  // the first few, for the failure message
  int unexplainedCount = 0;
};

// Why a read may answer differently, when it may; empty when it may not. The file's text
// and the read decide.
std::string KeptDifference(const std::string& content, const std::string& read) {
  const auto control = [](unsigned char c) {
    return c < 0x20 && c != '\t' && c != '\r' && c != '\n';
  };
  if (std::any_of(content.begin(), content.end(), control)) {
    return "control bytes (a zero byte, Ctrl+Z): no text file holds them; the system's text "
           "conversion drops them or ends a line at them, Kiln reads the bytes as they are";
  }
  const auto high = [](unsigned char c) { return c >= 0x80; };
  if (content.rfind("\xEF\xBB\xBF", 0) == 0 &&
      std::any_of(content.begin() + 3, content.end(), high)) {
    return "a UTF-8 byte order mark: the system then reads the file as UTF-8 and gives '?' for "
           "each byte that is not, so the text is lost; Kiln gives the file's bytes";
  }
  static const std::regex kNamelessTwice("(^|[\r\n])[ \t]*=[^\r\n]*(\r\n|\r|\n)[ \t]*=");
  const bool listing = read.find("section lines") != std::string::npos ||
                       read.find("key names") != std::string::npos;
  if (listing && std::regex_search(content, kNamelessTwice)) {
    return "two nameless keys (\"=value\") in a row: the system lists the second with the "
           "first; Kiln reads no nameless key and lists each line";
  }
  return {};
}

std::string Printable(const std::string& text) {
  std::string out;
  for (const unsigned char c : text) {
    if (c >= 0x20 && c < 0x7f && c != '\\') {
      out += static_cast<char>(c);
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
      out += escaped;
    }
  }
  return out;
}

class Differential {
 public:
  Differential(Tally& tally, std::string path, std::string content)
      : tally_(tally), path_(std::move(path)), content_(std::move(content)) {}

  void Compare(const std::string& read, const Answer& kiln, const Answer& system) {
    ++tally_.reads;
    if (kiln == system) {
      ++tally_.agreements;
      return;
    }
    const std::string reason = KeptDifference(content_, read);
    if (!reason.empty()) {
      ++tally_.kept[reason];
      return;
    }
    if (++tally_.unexplainedCount <= 12) {
      tally_.unexplained.push_back(
          read + "\n  file: " + Printable(content_.substr(0, 300)) +
          "\n  kiln:   " + std::to_string(kiln.count) + " " + Printable(kiln.bytes) +
          "\n  system: " + std::to_string(system.count) + " " + Printable(system.bytes));
    }
  }

  void Run() {
    ++tally_.files;
    const auto both = [&](const std::string& read, auto call) {
      const Answer kiln = call(Engine::kKiln);
      const Answer system = call(Engine::kSystem);
      Compare(read, kiln, system);
      return system;
    };
    const Answer sections = both("section names", [&](Engine e) {
      return ReadString(e, nullptr, nullptr, "", kLarge, path_);
    });
    std::vector<std::string> sectionNames = Names(sections);
    for (const std::string& name :
         Names(ReadString(Engine::kKiln, nullptr, nullptr, "", kLarge, path_))) {
      sectionNames.push_back(name);
    }
    sectionNames.insert(sectionNames.end(),
                        {"", "FW_INFO1", "fw_info1", " FW_INFO1 ", "x]y", "NoSuchSection"});
    std::set<std::string> seen;
    for (const std::string& section : sectionNames) {
      if (!seen.insert(section).second) continue;
      const char* s = section.c_str();
      const std::string at = "[" + section + "] ";
      both(at + "section lines", [&](Engine e) { return ReadSection(e, s, kLarge, path_); });
      both(at + "section lines, small buffer",
           [&](Engine e) { return ReadSection(e, s, kSmall, path_); });
      const Answer keys = both(
          at + "key names", [&](Engine e) { return ReadString(e, s, nullptr, "", kLarge, path_); });
      std::vector<std::string> keyNames = Names(keys);
      keyNames.insert(keyNames.end(), {"File", " file ", "; File", "# hash", "NoSuchKey"});
      std::set<std::string> keysSeen;
      for (const std::string& key : keyNames) {
        if (!keysSeen.insert(key).second) continue;
        const char* k = key.c_str();
        const std::string read = at + key;
        both(read + " value",
             [&](Engine e) { return ReadString(e, s, k, "d e f ", kLarge, path_); });
        both(read + " value, default ending in a tab",
             [&](Engine e) { return ReadString(e, s, k, "d\t", kLarge, path_); });
        both(read + " value, small buffer",
             [&](Engine e) { return ReadString(e, s, k, "default", kSmall, path_); });
        both(read + " integer", [&](Engine e) { return ReadInt(e, s, k, path_); });
      }
    }
  }

 private:
  Tally& tally_;
  std::string path_;
  std::string content_;
};

// Generated files: the shapes a hand-edited Kiln.ini or language file takes, mixed at
// random (a fixed seed, so that a failure can be run again).
std::string GeneratedFile(std::mt19937& random) {
  static const std::string kLines[] = {"[FW_INFO1]",
                                       "[ fw_info1 ]",
                                       "[FW_INFO]",
                                       "[eng]",
                                       "[x]y]",
                                       "[unclosed",
                                       "[]",
                                       "File=fw.bin",
                                       " File = fw2.bin ",
                                       "file=dup.bin",
                                       "Model=M07\t",
                                       "WriteType=2",
                                       "Delay1=-20",
                                       "Delay2= 0x1F",
                                       "Delay2=0X10",
                                       "Cpu1st=1abc",
                                       "ActInfo=",
                                       "Quoted=\"a b\"",
                                       "Single='c'",
                                       "Half=\"open",
                                       "=no name",
                                       "no equals sign",
                                       "; File=commented.bin",
                                       "# hash=1",
                                       "",
                                       "   ",
                                       "\t",
                                       "Long=" + std::string(700, 'v'),
                                       "Text=caf\xe9 \x80\x9f",
                                       "TableFile1=t1.bin,Vivid",
                                       "Spaced key = spaced value  ",
                                       "A=1=2"};
  static const char* const kEnds[] = {"\r\n", "\n", "\r\n", "\n", "\r"};
  std::string text;
  if (random() % 8 == 0) text = "\xEF\xBB\xBF";
  const int count = 1 + static_cast<int>(random() % 14);
  for (int i = 0; i < count; ++i) {
    text += kLines[random() % std::size(kLines)];
    if (i + 1 < count || random() % 3 != 0) text += kEnds[random() % std::size(kEnds)];
  }
  return text;
}

TEST(ProfileDifferential, KilnReadsAsTheSystemDoes) {
  TempDir dir;
  Tally tally;
  // A new name for each file: the system keeps the files it read in a cache of its own.
  const auto compareFile = [&](const std::string& content) {
    const std::filesystem::path file = dir.path() / ("Kiln" + std::to_string(tally.files) + ".ini");
    {
      std::ofstream out(file, std::ios::binary | std::ios::trunc);
      out.write(content.data(), static_cast<std::streamsize>(content.size()));
    }
    Differential(tally, file.string(), content).Run();
  };
  std::mt19937 random(20261208);
  for (int i = 0; i < 400; ++i) compareFile(GeneratedFile(random));
  // Every fourth file of each corpus: the fuzzers' inputs as whole files.
  for (const char* corpus : {"profile", "language"}) {
    const std::filesystem::path folder =
        std::filesystem::path(WindowsPath(KILN_FUZZ_CORPUS)) / corpus;
    int index = 0;
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) files.push_back(entry);
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
      if (index++ % 4 != 0) continue;
      std::ifstream in(file, std::ios::binary);
      compareFile(std::string(std::istreambuf_iterator<char>(in), {}));
    }
  }
  std::printf("profile differential: %d files, %d reads, %d agree", tally.files, tally.reads,
              tally.agreements);
  for (const auto& [reason, reads] : tally.kept)
    std::printf("; %d kept: %s", reads, reason.c_str());
  std::printf("; %d unexplained\n", tally.unexplainedCount);
  EXPECT_GE(tally.files, 500);
  std::string unexplained;
  for (const std::string& text : tally.unexplained) unexplained += text + "\n";
  EXPECT_EQ(tally.unexplainedCount, 0) << unexplained;
}

}  // namespace
}  // namespace kiln::testing
