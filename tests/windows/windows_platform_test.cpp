// The Win32 pieces of the platform layer: paths named in and outside the ANSI code page,
// Kiln.ini with either line end, the read-only attribute, named mutexes, the instance
// lock and a report window handle that is no window.

#include <gtest/gtest.h>
#include <windows.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "platform/atomic_file.h"
#include "platform/file_probe.h"
#include "platform/history_file.h"
#include "platform/instance_lock.h"
#include "platform/named_mutex.h"
#include "platform/path_join.h"
#include "platform/profile.h"
#include "platform/read_only_file.h"
#include "platform/stop_notice.h"
#include "platform/stop_signals.h"
#include "platform/windows/unique_handle.h"
#include "platform/windows/wide_text.h"
#include "platform/windows/window_report.h"
#include "support/temp_dir.h"

namespace kiln::platform {
namespace {

using testing::TempDir;

// path as UTF-8, for Kiln's functions.
std::string Utf8Path(const std::filesystem::path& path) {
  return windows::Utf8(path.wstring());
}

void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Value(const char* section, const char* key, const std::string& path) {
  char buffer[64];
  const uint32_t n =
      GetPrivateProfileStringA(section, key, "-", buffer, sizeof buffer, path.c_str());
  return std::string(buffer, n);
}

TEST(WindowsFiles, FoldersNamedInAndOutsideTheAnsiCodePageAndEitherLineEnd) {
  struct Case {
    const char* folder;  // UTF-8
    const char* lineEnd;
  };
  const Case cases[] = {
      {"crlf", "\r\n"},
      {"lf", "\n"},
      {"caf\xC3\xA9", "\r\n"},                     // in the Western ANSI code page
      {"\xCE\xA9\xE6\x97\xA5\xE6\x9C\xAC", "\n"},  // Greek and Japanese: outside it
  };
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.folder) + (c.lineEnd[0] == '\r' ? " CRLF" : " LF"));
    const std::filesystem::path folder = dir.path() / windows::Wide(c.folder);
    std::filesystem::create_directories(folder);
    const std::string ini = Utf8Path(folder / L"Kiln.ini");
    const std::string end = c.lineEnd;
    WriteBytes(folder / L"Kiln.ini", "[FW_INFO1]" + end + "File=fw.bin" + end + "Delay2=7" + end);

    EXPECT_TRUE(FileExists(ini.c_str()));
    EXPECT_EQ(Value("FW_INFO1", "File", ini), "fw.bin") << "the value keeps no line end";
    EXPECT_EQ(GetPrivateProfileIntA("FW_INFO1", "Delay2", 0, ini.c_str()), 7u);
    ASSERT_TRUE(WritePrivateProfileStringA("FW_INFO1", "WriteType", "2", ini.c_str()));
    EXPECT_EQ(Value("FW_INFO1", "WriteType", ini), "2");
    EXPECT_EQ(Value("FW_INFO1", "File", ini), "fw.bin") << "the write lost another key";

    const std::string package = Utf8Path(folder / L"fw.bin");
    ASSERT_TRUE(WriteFileAtomically(package.c_str(), "0123456789"));
    std::string content;
    EXPECT_EQ(ReadWholeFile(package.c_str(), content), ReadResult::kOk);
    EXPECT_EQ(content, "0123456789");
    ReadOnlyFile file(package.c_str());
    ASSERT_TRUE(file.IsOpen());
    EXPECT_EQ(file.size(), 10u);
    EXPECT_FALSE(FileExists(Utf8Path(folder).c_str())) << "a folder is no file";

    const std::string history = Utf8Path(folder / L"state" / L"history.jsonl");
    std::string error;
    ASSERT_TRUE(AppendLinesDurably(history, {"one"}, error)) << error;
    ASSERT_TRUE(AppendLinesDurably(history, {"two"}, error)) << error;
    EXPECT_EQ(ReadBytes(folder / L"state" / L"history.jsonl"), "one\ntwo\n");
    FileTail tail;
    ASSERT_TRUE(ReadFileTail(history, 4, tail)) << tail.error;
    EXPECT_EQ(tail.text, "two\n") << "the tail is the last limit bytes";
    EXPECT_TRUE(tail.cut);
    EXPECT_FALSE(ReadFileTail("NUL", 4, tail)) << "a device is no history file";
    EXPECT_FALSE(tail.missing);
    EXPECT_NE(tail.error.find("not a regular file"), std::string::npos) << tail.error;
  }
}

// A name Kiln.ini gives is joined part by part as Windows opens it: '\\' alone, trailing
// dots and blanks dropped, "." and ".." kept.
TEST(WindowsFiles, NamesAreJoinedAsWindowsOpensThem) {
  EXPECT_EQ(JoinPath("C:\\kiln", "sub/fw.bin. "), "C:\\kiln\\sub\\fw.bin");
  EXPECT_EQ(JoinPath("C:\\kiln", "..\\up.\\fw.bin"), "C:\\kiln\\..\\up\\fw.bin");
  EXPECT_EQ(JoinPath("C:\\kiln\\", "./fw.bin"), "C:\\kiln\\\\.\\fw.bin");
}

// A disk that refuses the bytes (run by kiln_windows_full_disk with a file size limit of
// 1 MiB, KILN_FILE_SIZE_LIMIT set): the write fails, the old file stays, no temporary file
// is left behind.
TEST(WindowsFiles, AWriteTheDiskRefusesFailsAndLeavesTheOldFile) {
  if (std::getenv("KILN_FILE_SIZE_LIMIT") == nullptr) GTEST_SKIP() << "no file size limit";
  TempDir dir;
  const std::filesystem::path file = dir.path() / "Kiln.ini";
  WriteBytes(file, "[FW_INFO1]\r\nFile=fw.bin\r\n");
  EXPECT_FALSE(WriteFileAtomically(Utf8Path(file).c_str(), std::string(4u << 20, 'x')));
  EXPECT_EQ(ReadBytes(file), "[FW_INFO1]\r\nFile=fw.bin\r\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                          std::filesystem::directory_iterator()),
            1);
}

TEST(WindowsFiles, ReadOnlyKilnIniIsNotWrittenUntilItsAttributeIsCleared) {
  TempDir dir;
  const std::string ini = Utf8Path(dir.path() / L"Kiln.ini");
  WriteBytes(dir.path() / L"Kiln.ini", "[a]\r\nk=v\r\n");
  ASSERT_TRUE(::SetFileAttributesW(windows::Wide(ini).c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_FALSE(WritePrivateProfileStringA("a", "k", "w", ini.c_str()));
  EXPECT_EQ(EditProfile(ini.c_str(), [](IniDocument&) { return true; }), ProfileEdit::kReadOnly);
  EXPECT_EQ(ReadBytes(dir.path() / L"Kiln.ini"), "[a]\r\nk=v\r\n");
  ASSERT_TRUE(SetFileAttributesNormal(ini.c_str()));
  EXPECT_TRUE(WritePrivateProfileStringA("a", "k", "w", ini.c_str()));
  EXPECT_EQ(Value("a", "k", ini), "w");
}

TEST(WindowsMutex, OwnedByOneThreadReentrantAndReleasedOnlyByIt) {
  auto mutex = OpenNamedMutex("kiln-test-mutex", LockScope::kThisUser);
  ASSERT_NE(mutex, nullptr);
  ASSERT_TRUE(mutex->Lock());
  ASSERT_TRUE(mutex->Lock());
  bool otherUnlocked = true;
  std::thread([&] { otherUnlocked = mutex->Unlock(); }).join();
  EXPECT_FALSE(otherUnlocked) << "another thread released the owner's hold";
  EXPECT_TRUE(mutex->Unlock());
  EXPECT_TRUE(mutex->Unlock());
  EXPECT_FALSE(mutex->Unlock()) << "more releases than holds";
  // Every user's mutex of the same name is another object, and free.
  auto global = OpenNamedMutex("kiln-test-mutex", LockScope::kEveryUser);
  ASSERT_NE(global, nullptr);
  bool taken = false;
  std::thread([&] { taken = global->Lock() && global->Unlock(); }).join();
  EXPECT_TRUE(taken);
}

// Closing a handle does not release a mutex: a mutex its owner held twice and then let go
// of is free for another holder of the same name at once, while the owner still runs.
TEST(WindowsMutex, LettingGoOfAHeldMutexReleasesEveryHold) {
  auto mutex = OpenNamedMutex("kiln-test-held", LockScope::kThisUser);
  ASSERT_NE(mutex, nullptr);
  // Another handle keeps the mutex itself alive once Kiln's is closed.
  const windows::UniqueHandle other(::CreateMutexW(nullptr, FALSE, L"kiln-test-held"));
  ASSERT_TRUE(other.valid());
  ASSERT_TRUE(mutex->Lock());
  ASSERT_TRUE(mutex->Lock());
  mutex.reset();
  DWORD waited = WAIT_FAILED;
  std::thread([&] {
    waited = ::WaitForSingleObject(other.get(), 0);
    if (waited == WAIT_OBJECT_0) ::ReleaseMutex(other.get());
  }).join();
  EXPECT_EQ(waited, static_cast<DWORD>(WAIT_OBJECT_0));
}

TEST(WindowsInstance, OnlyTheFirstHolderRunsUntilItEnds) {
  auto first = InstanceLock::TryAcquire("kiln-test-instance");
  ASSERT_TRUE(first);
  EXPECT_FALSE(InstanceLock::TryAcquire("kiln-test-instance"));
  first.reset();
  EXPECT_TRUE(InstanceLock::TryAcquire("kiln-test-instance"));
}

TEST(WindowsReports, AHandleThatIsNoWindowIsPassedOver) {
  auto sender = WindowReportSender::Connect();
  ASSERT_TRUE(sender);
  EXPECT_FALSE(sender->Send(12345678, 0x5555, 102, 1));
  EXPECT_FALSE(sender->Send(0, 0x5555, 102, 1));
}

// A native window waits on no descriptor: the first stop wakes it once, the same whether
// it asked before or after the stop came, and later stops do not.
TEST(WindowsStop, TheFirstStopWakesTheWindowOnce) {
  EXPECT_EQ(StopSignalDescriptor(), -1);
  int woken = 0;
  WhenStopRequested([&] { ++woken; });
  EXPECT_EQ(woken, 0);
  EXPECT_TRUE(NoteStop(SIGINT));
  EXPECT_FALSE(NoteStop(SIGTERM));
  EXPECT_EQ(woken, 1);
  EXPECT_EQ(StopRequested(), SIGINT);
  int late = 0;
  WhenStopRequested([&] { ++late; });
  EXPECT_EQ(late, 1) << "a window that asks after the stop is woken at once";
  EXPECT_EQ(woken, 1);
}

}  // namespace
}  // namespace kiln::platform
