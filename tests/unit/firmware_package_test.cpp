// Loading packages, finding their header, and resolving the models they name.
#include "config/firmware_package.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "config/package.h"
#include "platform/read_only_file.h"
#include "support/package_builder.h"
#include "support/temp_dir.h"

namespace kiln::config {
namespace {

using kiln::testing::MakePackage;
using kiln::testing::TempDir;

class PackageRead : public ::testing::Test {
 protected:
  void UsePackage(const std::string& bytes, uint8_t writeType = 0) {
    entry_.firmware = dir_.Write("fw.bin", bytes);
    entry_.writeType = writeType;
  }
  // What the window reads to show the package: its header and the CPU package's, laid
  // over the package read before.
  bool Read() {
    const PackageReading reading = ReadPackageHeaders(entry_);
    package_ = reading.Over(package_);
    return reading.valid;
  }

  TempDir dir_;
  ModelEntry entry_;
  PackageInfo package_;
};

TEST_F(PackageRead, LoadsWholeFileInMebibytePieces) {
  const uint32_t size = 5 * kPackageReadPiece / 2;
  EXPECT_EQ(PackageReadPieces(size),
            (std::vector<uint32_t>{kPackageReadPiece, kPackageReadPiece, kPackageReadPiece / 2}));
  EXPECT_TRUE(PackageReadPieces(0).empty());

  std::string bytes(size, '\0');
  for (uint32_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7 + i / 4096);
  const std::string path = dir_.Write("big.bin", bytes);

  FirmwarePackage package;
  uint32_t loaded = 0;
  ASSERT_TRUE(LoadPackageFile(path.c_str(), &package, loaded));
  EXPECT_EQ(loaded, size);
  EXPECT_EQ(package.size, size);
  EXPECT_EQ(std::string(package.image.begin(), package.image.end()), bytes);

  uint32_t sizeOnly = 0;
  ASSERT_TRUE(LoadPackageFile(path.c_str(), nullptr, sizeOnly));
  EXPECT_EQ(sizeOnly, size);
}

TEST_F(PackageRead, ReadsIntoABufferTheCallerProvides) {
  const std::string path = dir_.Write("small.bin", "abc");
  FirmwarePackage package;
  package.image.assign(8, 'z');
  uint32_t size = 0;
  ASSERT_TRUE(LoadPackageFile(path.c_str(), &package, size));
  EXPECT_EQ(size, 3u);
  EXPECT_EQ(std::string(package.image.begin(), package.image.end()), "abczzzzz");
}

TEST_F(PackageRead, FoldersMissingAndUnreadableFilesAreNotLoaded) {
  FirmwarePackage package;
  uint32_t size = 99;
  EXPECT_FALSE(LoadPackageFile(dir_.path().string().c_str(), &package, size));
  EXPECT_FALSE(LoadPackageFile(dir_.File("absent.bin").c_str(), &package, size));
  EXPECT_FALSE(LoadPackageFile(nullptr, &package, size));
  EXPECT_EQ(size, 99u);

  const std::string empty = dir_.Write("empty.bin", "");
  ASSERT_TRUE(LoadPackageFile(empty.c_str(), &package, size));
  EXPECT_EQ(size, 0u);
  EXPECT_FALSE(LoadFile(empty).readable()) << "an update sends no empty file";
  UsePackage("");
  EXPECT_FALSE(Read()) << "an empty package has no header";

  // A file holding fewer bytes than its size says (a sysfs attribute) fails its read.
  const char* shortRead = "/sys/kernel/uevent_seqnum";
  struct stat shortStat {};
  if (::stat(shortRead, &shortStat) == 0 && S_ISREG(shortStat.st_mode) && shortStat.st_size > 64) {
    EXPECT_FALSE(LoadPackageFile(shortRead, &package, size));
    EXPECT_FALSE(LoadFile(shortRead).readable());
  }

  if (::geteuid() != 0) {
    const std::string locked = dir_.Write("locked.bin", "x");
    ::chmod(locked.c_str(), 0);
    EXPECT_FALSE(LoadPackageFile(locked.c_str(), &package, size));
  }
}

// A package rewritten in place while it is read may come out as a mixture of both files:
// the read that reaches its end refuses it when the file is no longer the one opened.
TEST_F(PackageRead, FileRewrittenWhileItIsReadIsRefused) {
  const std::string path = dir_.Write("fw.bin", std::string(0x2000, 'a'));
  // A time stamp an hour old: the rewrite changes it, however soon it comes.
  std::filesystem::last_write_time(
      path, std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
  platform::ReadOnlyFile file(path.c_str());
  uint8_t half[0x1000];
  ASSERT_TRUE(file.ReadFully(half, sizeof half));
  EXPECT_FALSE(file.changed());
  {
    std::fstream rewrite(path, std::ios::in | std::ios::out | std::ios::binary);
    rewrite << std::string(0x2000, 'b');
  }
  EXPECT_FALSE(file.ReadFully(half, sizeof half));
  EXPECT_TRUE(file.changed());

  // Untouched, the same read is whole.
  platform::ReadOnlyFile again(path.c_str());
  uint8_t whole[0x2000];
  EXPECT_TRUE(again.ReadFully(whole, sizeof whole));
  EXPECT_FALSE(again.changed());
}

TEST_F(PackageRead, HeaderIsLookedForAtThePreferredOffsetThenTheOther) {
  const std::string atCpu = MakePackage(0x2000, kHeaderOffsetCpu, 0x0002, 11, 22, "1.07");
  const auto* image = reinterpret_cast<const uint8_t*>(atCpu.data());
  EXPECT_EQ(LocatePackageHeader(image, 0x2000, 0), kHeaderOffsetCpu) << "found on the second try";
  EXPECT_EQ(LocatePackageHeader(image, 0x2000, 2), kHeaderOffsetCpu);

  std::string both = MakePackage(0x2000, kHeaderOffsetMain, 0x0002, 1, 2, "MAIN");
  const std::string cpuPart = MakePackage(0x100, kHeaderOffsetCpu, 0x0002, 3, 4, "CPU_");
  both.replace(kHeaderOffsetCpu, 15, cpuPart, kHeaderOffsetCpu, 15);
  image = reinterpret_cast<const uint8_t*>(both.data());
  EXPECT_EQ(LocatePackageHeader(image, 0x2000, 1), kHeaderOffsetMain);
  EXPECT_EQ(LocatePackageHeader(image, 0x2000, 2), kHeaderOffsetCpu);
  EXPECT_EQ(LocateCpuPackageHeader(image, 0x2000), kHeaderOffsetCpu);

  const std::string none(0x2000, 'x');
  EXPECT_EQ(LocatePackageHeader(reinterpret_cast<const uint8_t*>(none.data()), 0x2000, 0),
            std::nullopt);
}

TEST_F(PackageRead, ShortFilesAreRejectedWithoutReadingPastTheirEnd) {
  // 0x4E bytes: the magic is there, but the version would lie past the end.
  const std::string full = MakePackage(0x4F, kHeaderOffsetCpu, 0x0002, 1, 2, "1.00");
  std::vector<uint8_t> exact(full.begin(), full.end() - 1);
  EXPECT_EQ(LocatePackageHeader(exact.data(), static_cast<uint32_t>(exact.size()), 2),
            std::nullopt);
  // A header that ends with the file is found; the package is still refused below.
  const auto* whole = reinterpret_cast<const uint8_t*>(full.data());
  EXPECT_EQ(LocatePackageHeader(whole, 0x4F, 2), kHeaderOffsetCpu);
  UsePackage(full.substr(0, 0x4E), 2);
  EXPECT_FALSE(Read());

  UsePackage(full, 2);
  EXPECT_FALSE(Read()) << "a header with no image behind it is no package";
  UsePackage(full + "!", 2);
  EXPECT_TRUE(Read());
  EXPECT_EQ(package_.version, "1.00");
}

TEST_F(PackageRead, PackagesTooLargeOrWithoutAVersionAreRefused) {
  // A sparse file far larger than any flash: refused from its size, before it is read.
  const std::string huge = dir_.File("huge.bin");
  { std::ofstream out(huge); }
  std::filesystem::resize_file(huge, 3ull << 30);
  entry_.firmware = huge;
  EXPECT_FALSE(Read());
  EXPECT_FALSE(LoadFile(huge).readable());
  // The bound itself is allowed, one byte more is not; the size alone decides.
  uint32_t size = 0;
  std::filesystem::resize_file(huge, kLargestPackageFile);
  ASSERT_TRUE(LoadPackageFile(huge.c_str(), nullptr, size));
  EXPECT_EQ(size, kLargestPackageFile);
  std::filesystem::resize_file(huge, kLargestPackageFile + 1);
  EXPECT_FALSE(LoadPackageFile(huge.c_str(), nullptr, size));

  for (const char* version : {"zz.q", "\xFF\xFE", "    ", "1.  ", ".5", "N/A"}) {
    UsePackage(MakePackage(0x2000, kHeaderOffsetMain, 0x0002, 1, 2, version));
    EXPECT_FALSE(Read()) << "version \"" << version << "\"";
  }
  UsePackage(MakePackage(0x2000, kHeaderOffsetMain, 0x0002, 1, 2, "1.0a"));
  EXPECT_TRUE(Read());
}

TEST_F(PackageRead, HeaderFillsVersionDelayAndModels) {
  UsePackage(MakePackage(0x3000, kHeaderOffsetCpu, 0x0103, 11, 22, "1.07"));
  ASSERT_TRUE(Read());
  EXPECT_EQ(package_.vidPid, 0x2E5A0103u);
  EXPECT_EQ(package_.programSeconds, 22) << "write type 0 takes programming time 2 (bytes 8-9)";
  EXPECT_EQ(package_.version, "1.07");
  EXPECT_EQ(package_.targetVidPid, 0x2E5A0103u);
  EXPECT_EQ(package_.targetModel, 9u);
  EXPECT_EQ(package_.packageModel, 9u);
  EXPECT_EQ(package_.driverName, "Orvix Photo Printer T08");
  EXPECT_EQ(package_.packageDriverName, "Orvix Photo Printer T08");

  UsePackage(MakePackage(0x3000, kHeaderOffsetCpu, 0x0103, 11, 22, "1.07"), 2);
  ASSERT_TRUE(Read());
  EXPECT_EQ(package_.programSeconds, 11);
}

TEST_F(PackageRead, VersionIsAtMostFourCharacters) {
  std::string bytes = MakePackage(0x2000, kHeaderOffsetMain, 0x0002, 1, 2, "1.2b");
  bytes[kHeaderOffsetMain + 15] = 'E';
  UsePackage(bytes);
  ASSERT_TRUE(Read());
  EXPECT_EQ(package_.version, "1.2b");

  bytes = MakePackage(0x2000, kHeaderOffsetMain, 0x0002, 1, 2, "", '\0');
  std::memcpy(bytes.data() + kHeaderOffsetMain + 11, "1.2", 3);
  UsePackage(bytes);
  ASSERT_TRUE(Read());
  EXPECT_EQ(package_.version, "1.2");
}

TEST_F(PackageRead, NoCheckPidTakesTheTargetFromTheModelName) {
  entry_.noCheckPid = true;
  entry_.modelName = "orvix m22";
  UsePackage(MakePackage(0x2000, kHeaderOffsetMain, 0x0002, 1, 2, "2.00"));
  ASSERT_TRUE(Read());
  EXPECT_EQ(package_.targetModel, 22u);
  EXPECT_EQ(package_.targetVidPid, 0x2E5A010Au);
  EXPECT_EQ(package_.packageModel, 7u);
  EXPECT_EQ(package_.vidPid, 0x2E5A0002u);
  EXPECT_EQ(package_.packageDriverName, "Orvix Photo Printer T08");
}

TEST_F(PackageRead, UnknownProductIdClearsThePreviousModel) {
  UsePackage(MakePackage(0x2000, kHeaderOffsetMain, 0x0002, 1, 2, "2.00"));
  ASSERT_TRUE(Read());
  UsePackage(MakePackage(0x2000, kHeaderOffsetMain, 0x7777, 1, 2, "3.00"));
  EXPECT_FALSE(Read()) << "no model has the product ID";
  EXPECT_EQ(package_.vidPid, 0x2E5A7777u);
  EXPECT_EQ(package_.targetModel, 0u);
  EXPECT_EQ(package_.packageModel, 0u);
  EXPECT_EQ(package_.driverName, "");
  EXPECT_EQ(package_.packageDriverName, "");

  // With NoCheckPid the target comes from the model name; the package model is cleared.
  entry_.noCheckPid = true;
  entry_.modelName = "M07";
  ASSERT_TRUE(Read());
  EXPECT_EQ(package_.targetModel, 7u);
  EXPECT_EQ(package_.packageModel, 0u);
  EXPECT_EQ(package_.packageDriverName, "");
  entry_.modelName = "no such model";
  ASSERT_TRUE(Read());
  EXPECT_EQ(package_.targetModel, 0u);
  EXPECT_EQ(package_.targetVidPid, 0u);
  EXPECT_EQ(package_.driverName, "");
}

TEST_F(PackageRead, CpuPackageIsReadWhenCpuFirst) {
  UsePackage(MakePackage(0x2000, kHeaderOffsetMain, 0x0002, 1, 2, "2.00"));
  entry_.cpuFirst = true;
  entry_.cpuFirmware = dir_.File("missing-cpu.bin");
  EXPECT_FALSE(Read());

  // A CPU package is looked for at 0x40 first even though write type 0 prefers 0x1040.
  std::string cpu = MakePackage(0x2000, kHeaderOffsetMain, 0x0002, 90, 91, "MAIN");
  const std::string front = MakePackage(0x100, kHeaderOffsetCpu, 0x0002, 33, 34, "5.1C");
  cpu.replace(kHeaderOffsetCpu, 15, front, kHeaderOffsetCpu, 15);
  entry_.cpuFirmware = dir_.Write("cpu.bin", cpu);
  ASSERT_TRUE(Read());
  EXPECT_EQ(package_.cpuVersion, "5.1C");
  EXPECT_EQ(package_.cpuProgramSeconds, 33);

  // A CPU package without a header stops the read after the firmware header: that is
  // taken, the CPU fields stay as they were.
  UsePackage(MakePackage(0x2000, kHeaderOffsetMain, 0x0002, 1, 2, "2.01"));
  entry_.cpuFirmware = dir_.Write("cpu-noheader.bin", std::string(0x2000, 'q'));
  EXPECT_FALSE(Read());
  EXPECT_EQ(package_.version, "2.01");
  EXPECT_EQ(package_.cpuVersion, "5.1C");
  EXPECT_EQ(package_.cpuProgramSeconds, 33);
}

TEST_F(PackageRead, ColourTableIsLoadedOnlyWithTheTableSwitchOn) {
  UsePackage("fw");
  const std::string table = dir_.Write("table.bin", "colours");
  EXPECT_FALSE(LoadPackageFiles(entry_, table).colourTable.named());
  entry_.tableSwitch = true;
  EXPECT_TRUE(LoadPackageFiles(entry_, table).colourTable.readable());
}

TEST(BlockChecksum, MarkerAndSumDecide) {
  std::vector<uint8_t> block = {0x10, 0x20, 0x30, kDeviceBlockMarker, 0};
  uint8_t sum = 0;
  for (std::size_t i = 0; i + 1 < block.size(); ++i) sum = static_cast<uint8_t>(sum + block[i]);
  block.back() = static_cast<uint8_t>(0xFF - sum - kDeviceBlockMarker);
  EXPECT_TRUE(VerifyBlockChecksum(block.data(), block.size(), kDeviceBlockMarker));

  block[0] ^= 1;
  EXPECT_FALSE(VerifyBlockChecksum(block.data(), block.size(), kDeviceBlockMarker));
  block[0] ^= 1;
  EXPECT_FALSE(VerifyBlockChecksum(block.data(), block.size(), 0x66)) << "wrong marker";
  EXPECT_FALSE(VerifyBlockChecksum(block.data(), 1, kDeviceBlockMarker));
  // The shortest block is the marker and its checksum.
  const uint8_t shortest[2] = {kDeviceBlockMarker,
                               static_cast<uint8_t>(0xFF - 2 * kDeviceBlockMarker)};
  EXPECT_TRUE(VerifyBlockChecksum(shortest, 2, kDeviceBlockMarker));
  EXPECT_FALSE(VerifyBlockChecksum(nullptr, 5, kDeviceBlockMarker));
}

}  // namespace
}  // namespace kiln::config
