// Kiln.ini survives its writer being killed at any moment, and a write that finds the
// file system full: the file always parses and holds either the old or the new state.
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/profile.h"
#include "support/temp_dir.h"

namespace kiln::platform {
namespace {

using kiln::testing::TempDir;

constexpr int kKeys = 5;
constexpr const char* kSection = "Crash";

std::string KeyName(long write) {
  return "K" + std::to_string((write % kKeys + kKeys) % kKeys);
}

// The writer: write number n sets key n % kKeys to "v<n>", forever, from first on.
[[noreturn]] void WriteForever(const std::string& path, long first) {
  for (long n = first;; ++n) {
    const std::string value = "v" + std::to_string(n);
    WritePrivateProfileStringA(kSection, KeyName(n).c_str(), value.c_str(), path.c_str());
  }
}

std::string Read(const char* section, const char* key, const std::string& path) {
  char out[256];
  const uint32_t n = GetPrivateProfileStringA(section, key, "", out, sizeof out, path.c_str());
  return std::string(out, n);
}

// Number of the last write the file shows, checking that every key holds the value
// that write left it (so the file is exactly the state before or after one write);
// -2 when it does not.
long LastWriteShown(const std::string& path) {
  long last = -1;
  std::vector<long> shown(kKeys, -1);
  for (int k = 0; k < kKeys; ++k) {
    const std::string value = Read(kSection, KeyName(k).c_str(), path);
    if (value.empty() || value[0] != 'v') return -2;
    shown[static_cast<std::size_t>(k)] = std::stol(value.substr(1));
    if ((shown[static_cast<std::size_t>(k)] % kKeys + kKeys) % kKeys != k) return -2;
    last = std::max(last, shown[static_cast<std::size_t>(k)]);
  }
  for (int k = 0; k < kKeys; ++k) {
    // The newest write to key k at or before the last write.
    const long expected = last - ((last - k) % kKeys + kKeys) % kKeys;
    if (shown[static_cast<std::size_t>(k)] != expected) return -2;
  }
  return last;
}

std::vector<std::string> FilesBeside(const std::string& path) {
  std::vector<std::string> names;
  for (const auto& entry :
       std::filesystem::directory_iterator(std::filesystem::path(path).parent_path())) {
    if (entry.path() != path) names.push_back(entry.path().filename().string());
  }
  return names;
}

TEST(ProfileCrash, KilledWritersLeaveTheOldOrTheNewFile) {
  TempDir dir;
  std::string initial = "; written by the crash test\r\n[Keep]\r\nFile=fw.bin\r\n[Crash]\r\n";
  for (int k = 0; k < kKeys; ++k) initial += KeyName(k) + "=v" + std::to_string(k - kKeys) + "\r\n";
  const std::string path = dir.Write("Kiln.ini", initial);

  std::mt19937 random(20261207);
  // Long enough for some writes to complete, short enough for most kills to land in one.
  std::uniform_int_distribution<int> delayUs(0, 8000);
  long last = -1;
  int killedMidWrite = 0;
  constexpr int kKills = 1000;
  for (int kill = 0; kill < kKills; ++kill) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) WriteForever(path, last + 1);
    std::this_thread::sleep_for(std::chrono::microseconds(delayUs(random)));
    ASSERT_EQ(::kill(child, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);

    const long shown = LastWriteShown(path);
    ASSERT_NE(shown, -2) << "after kill " << kill << " the file is no state of the writes:\n"
                         << TempDir::Read(path);
    ASSERT_GE(shown, last) << "a completed write was lost";
    last = shown;
    ASSERT_EQ(Read("Keep", "File", path), "fw.bin");
    // At most the temporary file of the interrupted write is left beside it.
    const std::vector<std::string> others = FilesBeside(path);
    ASSERT_LE(others.size(), 1u);
    if (!others.empty()) {
      EXPECT_EQ(others[0].rfind("Kiln.ini.kilntmp.", 0), 0u) << others[0];
      ++killedMidWrite;
    }
  }
  // The next write cleans up what the last killed writer left.
  ASSERT_TRUE(WritePrivateProfileStringA("Keep", "File", "fw2.bin", path.c_str()));
  EXPECT_TRUE(FilesBeside(path).empty());
  std::printf("%d kills, %ld writes completed, %d kills left a temporary file\n", kKills, last + 1,
              killedMidWrite);
  EXPECT_GT(last, 0) << "the writer never completed a write";
}

// Child exit codes of the full-disk check.
constexpr int kSkip = 77;
enum FullDiskFailure { kFirstWrite = 1, kFullWriteSucceeded, kOldFileChanged, kTempLeft, kRetry };

// In a private mount namespace (nothing leaks into the test machine): a 64 KiB tmpfs,
// a Kiln.ini on it, the rest filled up; then a write that needs more room.
int FullDiskCheck() {
  if (::unshare(CLONE_NEWNS) != 0) return kSkip;
  if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return kSkip;
  TempDir dir;
  if (::mount("kiln-full", dir.path().c_str(), "tmpfs", 0, "size=64k") != 0) return kSkip;
  // Unmounted before the folder is removed, whichever way the check ends.
  struct Unmount {
    std::string at;
    ~Unmount() { ::umount(at.c_str()); }
  } unmount{dir.path().string()};
  const std::string path = dir.File("Kiln.ini");
  if (!WritePrivateProfileStringA("FW_INFO1", "File", "fw.bin", path.c_str())) return kFirstWrite;
  const std::string before = TempDir::Read(path);

  const std::string filler = dir.File("filler");
  if (std::FILE* file = std::fopen(filler.c_str(), "wb")) {
    const std::string block(4096, 'x');
    while (std::fwrite(block.data(), 1, block.size(), file) == block.size() &&
           std::fflush(file) == 0) {
    }
    std::fclose(file);
  }
  const std::string big(16384, 'm');
  if (WritePrivateProfileStringA("FW_INFO1", "Model", big.c_str(), path.c_str())) {
    return kFullWriteSucceeded;
  }
  if (TempDir::Read(path) != before) return kOldFileChanged;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    const std::string name = entry.path().filename().string();
    if (name != "Kiln.ini" && name != "filler") return kTempLeft;
  }
  // With room again the same write goes through.
  std::filesystem::remove(filler);
  if (!WritePrivateProfileStringA("FW_INFO1", "Model", big.c_str(), path.c_str())) return kRetry;
  return 0;
}

TEST(ProfileCrash, FullFileSystemKeepsTheOldFileAndReportsFailure) {
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) ::_exit(FullDiskCheck());
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == kSkip) {
    GTEST_SKIP() << "no tmpfs can be mounted here (needs root): full-disk case not run";
  }
  EXPECT_EQ(WEXITSTATUS(status), 0) << "failed check number " << WEXITSTATUS(status);
}

}  // namespace
}  // namespace kiln::platform
