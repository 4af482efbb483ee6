#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kiln::app {
namespace {

CommandLine Parse(std::vector<const char*> args) {
  return ParseCommandLine(args);
}

TEST(CommandLineTest, OptionsAreClassifiedByFirstLetterThenByName) {
  auto line = Parse({"/M7", "-silentmode", "/W123abc", "-checkdeviceversion", "doc.txt"});
  EXPECT_EQ(line.options.model, 7u);
  EXPECT_TRUE(line.options.silent);
  EXPECT_EQ(line.options.reportWindow, 123u);
  EXPECT_TRUE(line.options.checkDeviceVersion);
  EXPECT_FALSE(line.options.checkBinVersion);
  EXPECT_FALSE(line.options.checkConnection);

  // Letters in either case.
  line = Parse({"-w5", "-m8"});
  EXPECT_EQ(line.options.reportWindow, 5u);
  EXPECT_EQ(line.options.model, 8u);

  // A letter without digits gives 0; a named option must match whole, neither longer
  // nor shorter.
  line = Parse({"-Wnext", "-Mx", "/CheckBinVersions", "/CheckBin", "/CHECKCONNECTION"});
  EXPECT_EQ(line.options.reportWindow, 0u);
  EXPECT_EQ(line.options.model, 0u);
  EXPECT_FALSE(line.options.checkBinVersion);
  EXPECT_TRUE(line.options.checkConnection);
  EXPECT_FALSE(line.options.silent);

  // A number past 32 bits saturates instead of wrapping to a small window id.
  EXPECT_EQ(Parse({"-W99999999999"}).options.reportWindow, 0xFFFFFFFFu);
}

TEST(CommandLineTest, ModeChoiceFollowsPrecedence) {
  EXPECT_EQ(ChooseMode(Parse({"-S", "/CheckBinVersion"}).options), RunMode::kVersionReport);
  EXPECT_EQ(ChooseMode(Parse({"-CheckDeviceVersion"}).options), RunMode::kVersionReport);
  EXPECT_EQ(ChooseMode(Parse({"-S", "-M7"}).options), RunMode::kSilentUpdate);
  EXPECT_EQ(ChooseMode(Parse({"-CheckConnection", "-M7"}).options), RunMode::kInteractive);
}

TEST(CommandLineTest, LinuxOptionsNeverReachTheOriginalRules) {
  auto line = Parse({"--dir", "/fw", "--log-level=3", "--log-file", "t.log", "--report-stdout",
                     "--progress", "--silent"});
  EXPECT_EQ(line.extensions.dir, "/fw");
  EXPECT_EQ(line.extensions.logLevel, "3");
  EXPECT_EQ(line.extensions.logFile, "t.log");
  EXPECT_TRUE(line.extensions.reportStdout);
  EXPECT_TRUE(line.extensions.progress);
  // "--silent" is not the S option: it is an unknown Linux option.
  EXPECT_FALSE(line.options.silent);
  EXPECT_EQ(line.extensions.error, "unknown option --silent");

  EXPECT_EQ(Parse({"--dir"}).extensions.error, "--dir needs a value");
  EXPECT_EQ(Parse({"--first", "--second", "--dir"}).extensions.error, "unknown option --first")
      << "the first error is the one reported";
  EXPECT_FALSE(Parse({"--help"}).extensions.error.size());
}

#ifdef _WIN32
// kiln.exe reaches printers through the system's USB printer driver alone: it refuses the
// transport choice rather than take it and do nothing, and its help does not offer it.
TEST(CommandLineTest, KilnExeRefusesTheTransportChoice) {
  for (const auto& args : {std::vector<const char*>{"--transport=libusb", "-S"},
                           std::vector<const char*>{"--transport", "usblp"}}) {
    const CommandLine line = Parse(args);
    EXPECT_EQ(line.extensions.error,
              "--transport is not an option of kiln.exe: it reaches printers through the "
              "system's USB printer driver");
    EXPECT_EQ(line.extensions.transport, "");
  }
  EXPECT_EQ(std::string(CommandLineHelp()).find("transport"), std::string::npos);
  EXPECT_EQ(std::string(CommandLineHelp()).find("Linux"), std::string::npos);
}
#else
TEST(CommandLineTest, TransportTakesUsblpOrLibusbOnly) {
  EXPECT_EQ(Parse({"--transport=libusb"}).extensions.transport, "libusb");
  EXPECT_EQ(Parse({"--transport", "usblp", "-S"}).options.silent, true);
  EXPECT_EQ(Parse({"--transport", "usblp"}).extensions.error, "");
  EXPECT_EQ(Parse({"--transport=usb"}).extensions.error, "--transport takes usblp or libusb");
  EXPECT_EQ(Parse({"--transport"}).extensions.error, "--transport needs a value");
}
#endif

}  // namespace
}  // namespace kiln::app
