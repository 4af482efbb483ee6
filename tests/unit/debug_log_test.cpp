// The exact text of the debug trace.
#include "log/debug_log.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace kiln::log {
namespace {

using kiln::testing::TempDir;

class DebugLogFormat : public ::testing::Test {
 protected:
  void OpenAt(uint32_t level) { log_.Open(std::fopen(path_.c_str(), "w"), level); }
  // Closes the stream (without a banner) and returns what was written.
  std::string Written() {
    log_.Reset();
    return TempDir::Read(path_);
  }
  static std::string HexLine(std::size_t count, unsigned start = 0) {
    std::string line;
    char byte[4];
    for (std::size_t i = 0; i < count; ++i) {
      std::snprintf(byte, sizeof byte, "%02X ", static_cast<unsigned>((start + i) & 0xFF));
      line += byte;
    }
    return line;
  }

  TempDir dir_;
  std::string path_ = dir_.File("kiln.log");
  DebugLog log_;
};

TEST_F(DebugLogFormat, LevelsFilterMessages) {
  OpenAt(0);
  log_.LogPrint(1, "never\n");
  EXPECT_EQ(Written(), "") << "level 0 writes nothing even with a stream";

  OpenAt(2);
  log_.LogPrint(1, "one %d\n", 1);
  log_.LogPrint(2, "two %s\n", "x");
  log_.LogPrint(3, "three\n");
  const std::vector<uint8_t> data = {1, 2};
  log_.LogHexDump(5, data.data(), data.size());
  EXPECT_EQ(Written(), "one 1\ntwo x\n");

  DebugLog off;  // no stream at all
  off.LogPrint(1, "nothing\n");
  EXPECT_FALSE(off.Wants(1));
}

TEST_F(DebugLogFormat, HexDumpOf20Bytes) {
  OpenAt(5);
  std::vector<uint8_t> data(20);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(0xF0 + i);
  log_.LogHexDump(5, data.data(), data.size());
  EXPECT_EQ(Written(), "--> " + HexLine(16, 0xF0) + "\n" + HexLine(4, 0x00) + "\n\n\n");
}

TEST_F(DebugLogFormat, HexDumpOf1024And1025Bytes) {
  std::vector<uint8_t> data(1025);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i);
  std::string chunk;
  for (unsigned line = 0; line < 64; ++line) {
    if (line != 0) chunk += "\n";
    chunk += HexLine(16, line * 16);
  }

  OpenAt(5);
  log_.LogHexDump(5, data.data(), 1024);
  EXPECT_EQ(Written(), "--> " + chunk + "\n\n\n");

  OpenAt(5);
  log_.LogHexDump(5, data.data(), 1025);
  EXPECT_EQ(Written(), "--> \n" + chunk + "\n\n" + "00 " + "\n\n" + "\n");

  OpenAt(5);
  log_.LogHexDump(5, nullptr, 4);
  log_.LogHexDump(5, data.data(), 0);
  EXPECT_EQ(Written(), "");
}

TEST_F(DebugLogFormat, MessagesAreCutAt1023Characters) {
  OpenAt(1);
  const std::string big(5000, 'a');
  log_.LogPrint(1, "%s", big.c_str());
  EXPECT_EQ(Written(), std::string(1023, 'a'));
}

TEST_F(DebugLogFormat, CloseRunsTheChannelHookThenWritesTheBanner) {
  OpenAt(1);
  std::tm when{};
  when.tm_year = 2026 - 1900;
  when.tm_mon = 11;
  when.tm_mday = 7;
  when.tm_hour = 9;
  when.tm_min = 5;
  when.tm_sec = 3;
  bool closed = false;
  log_.LogCloseAt(when, [&] {
    closed = true;
    log_.LogPrint(1, "closing channel\n");
  });
  EXPECT_TRUE(closed);
  EXPECT_FALSE(log_.IsOpen());
  EXPECT_EQ(
      TempDir::Read(path_),
      "closing channel\n"
      "========================== End  [2026/12/07], [09:05:03] ========================\n\n");

  DebugLog off;
  closed = false;
  off.LogClose([&] { closed = true; });
  EXPECT_TRUE(closed) << "the channel closes even when no log is open";
}

TEST_F(DebugLogFormat, SwitchedOnByEnvironment) {
  ::setenv("KILN_LOG_FILE", path_.c_str(), 1);
  ::setenv("KILN_LOG_LEVEL", "3", 1);
  ASSERT_TRUE(log_.OpenFromEnvironment());
  EXPECT_EQ(log_.level(), 3u);
  log_.LogPrint(3, "appended\n");
  log_.Reset();
  ASSERT_TRUE(log_.OpenFromEnvironment());
  log_.LogPrint(1, "again\n");
  EXPECT_EQ(Written(), "appended\nagain\n");

  ::setenv("KILN_LOG_LEVEL", "zero", 1);
  EXPECT_FALSE(log_.OpenFromEnvironment());
  const std::string unused = path_ + ".level0";
  ::setenv("KILN_LOG_FILE", unused.c_str(), 1);
  ::setenv("KILN_LOG_LEVEL", "0", 1);
  EXPECT_FALSE(log_.OpenFromEnvironment());
  EXPECT_FALSE(std::filesystem::exists(unused)) << "level 0 creates no file";
  ::unsetenv("KILN_LOG_LEVEL");
  EXPECT_FALSE(log_.OpenFromEnvironment());
  ::unsetenv("KILN_LOG_FILE");
}

// A pipe someone reads, as /dev/stderr often is, takes the trace; a FIFO nobody reads is
// refused at once instead of holding the program in its open.
TEST_F(DebugLogFormat, TraceIntoAPipeThatIsReadButNeverWaitsForAReader) {
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  const std::string writeEnd = "/proc/self/fd/" + std::to_string(ends[1]);
  ::setenv("KILN_LOG_FILE", writeEnd.c_str(), 1);
  ::setenv("KILN_LOG_LEVEL", "1", 1);
  ASSERT_TRUE(log_.OpenFromEnvironment());
  log_.LogPrint(1, "to the pipe\n");
  log_.Reset();
  char read[32] = {};
  EXPECT_EQ(::read(ends[0], read, sizeof read - 1), 12);
  EXPECT_STREQ(read, "to the pipe\n");
  ::close(ends[0]);
  ::close(ends[1]);

  const std::string fifo = dir_.File("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  ::setenv("KILN_LOG_FILE", fifo.c_str(), 1);
  EXPECT_FALSE(log_.OpenFromEnvironment());
  ::unsetenv("KILN_LOG_FILE");
  ::unsetenv("KILN_LOG_LEVEL");
}

}  // namespace
}  // namespace kiln::log
