#pragma once

#include <cups/cups.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "platform/print_queue_hold.h"
#include "support/outside_environment.h"
#include "support/temp_dir.h"

extern char** environ;

namespace kiln::testing {

inline constexpr const char* kCupsd = "/usr/sbin/cupsd";
inline constexpr const char* kLpadmin = "/usr/sbin/lpadmin";

// Whether a private cupsd can be started here (scripts/deps installs cups-daemon and
// cups-client).
inline bool CupsdAvailable() {
  return ::access(kCupsd, X_OK) == 0 && ::access(kLpadmin, X_OK) == 0;
}

// A PPD whose make-and-model (NickName) is the given driver name.
inline std::string MinimalPpd(const char* nickName) {
  return std::string(
             "*PPD-Adobe: \"4.3\"\n*FormatVersion: \"4.3\"\n*FileVersion: \"1.0\"\n"
             "*LanguageVersion: English\n*LanguageEncoding: ISOLatin1\n"
             "*PCFileName: \"KILNTEST.PPD\"\n*Manufacturer: \"Orvix\"\n*Product: \"(Test)\"\n"
             "*ModelName: \"") +
         nickName + "\"\n*ShortNickName: \"" + nickName + "\"\n*NickName: \"" + nickName +
         "\"\n*PSVersion: \"(3010.000) 0\"\n*LanguageLevel: \"3\"\n*ColorDevice: True\n"
         "*DefaultColorSpace: RGB\n*FileSystem: False\n*Throughput: \"1\"\n"
         "*LandscapeOrientation: Plus90\n*TTRasterizer: Type42\n"
         "*OpenUI *PageSize/Media Size: PickOne\n*DefaultPageSize: Letter\n"
         "*PageSize Letter/Letter: \"<</PageSize[612 792]>>setpagedevice\"\n"
         "*CloseUI: *PageSize\n*OpenUI *PageRegion: PickOne\n*DefaultPageRegion: Letter\n"
         "*PageRegion Letter/Letter: \"<</PageSize[612 792]>>setpagedevice\"\n"
         "*CloseUI: *PageRegion\n*DefaultImageableArea: Letter\n"
         "*ImageableArea Letter/Letter: \"0 0 612 792\"\n*DefaultPaperDimension: Letter\n"
         "*PaperDimension Letter/Letter: \"612 792\"\n";
}

// A cupsd of its own: configuration, spool, state and socket in a temporary folder; the
// CUPS client settings of this process (CUPS_SERVER) point at it.
class PrivateCupsd {
 public:
  // policyLimits: <Limit ...> blocks placed ahead of the default policy's <Limit All>,
  // which allows everything.
  bool Start(std::string_view policyLimits = {}) {
    const std::string root = dir_.path().string();
    for (const char* sub : {"cache", "state", "spool", "log", "home"}) {
      std::filesystem::create_directories(dir_.path() / sub);
    }
    socket_ = dir_.File("cups.sock");
    dir_.Write("cupsd.conf", "Listen " + socket_ +
                                 "\nLogLevel warn\n"
                                 "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                                 "<Location /admin>\n  Order allow,deny\n  Allow all\n</Location>\n"
                                 "<Policy default>\n" +
                                 std::string(policyLimits) +
                                 "  <Limit All>\n    Order deny,allow\n"
                                 "  </Limit>\n</Policy>\n");
    dir_.Write("cups-files.conf",
               "ServerRoot " + root + "\nCacheDir " + root + "/cache\nStateDir " + root +
                   "/state\nRequestRoot " + root + "/spool\nTempDir " + root + "/spool\nErrorLog " +
                   root + "/log/error_log\nAccessLog " + root + "/log/access_log\nPageLog " + root +
                   "/log/page_log\nFileDevice Yes\nSandboxing Relaxed\n"
                   "SystemGroup root\n");
    ::setenv("CUPS_SERVER", socket_.c_str(), 1);
    ::setenv("HOME", dir_.File("home").c_str(), 1);
    cupsSetServer(nullptr);  // libcups keeps the server it read first: read CUPS_SERVER again

    const std::string conf = dir_.File("cupsd.conf");
    const std::string files = dir_.File("cups-files.conf");
    const char* argv[] = {kCupsd, "-f", "-c", conf.c_str(), "-s", files.c_str(), nullptr};
    // The server and its tools run outside the test bed, without the preloaded libraries.
    std::vector<char*> environment = OutsideTestBedEnvironment();
    if (::posix_spawn(&pid_, kCupsd, nullptr, nullptr, const_cast<char**>(argv),
                      environment.data()) != 0) {
      pid_ = -1;
      return false;
    }
    // Ready once the socket is there; cupsd needs well under a second.
    for (int i = 0; i < 250 && !std::filesystem::exists(socket_); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return std::filesystem::exists(socket_);
  }

  // An enabled queue whose make-and-model is nickName, printing to deviceUri.
  bool AddQueue(const char* name, const char* nickName, const char* deviceUri = "file:/dev/null") {
    const std::string ppd = dir_.Write(std::string(name) + ".ppd", MinimalPpd(nickName));
    const std::string command = "env -u LD_PRELOAD -u UMOCKDEV_DIR " + std::string(kLpadmin) +
                                " -p " + name + " -E -v '" + deviceUri + "' -P '" + ppd +
                                "' 2>/dev/null";
    return std::system(command.c_str()) == 0;
  }

  bool RemoveQueue(const char* name) {
    const std::string command = "env -u LD_PRELOAD -u UMOCKDEV_DIR " + std::string(kLpadmin) +
                                " -x " + name + " 2>/dev/null";
    return std::system(command.c_str()) == 0;
  }

  void Stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
  }

  ~PrivateCupsd() { Stop(); }

  const TempDir& dir() const { return dir_; }

 private:
  TempDir dir_;
  std::string socket_;
  pid_t pid_ = -1;
};

// Whether the print server has the queue stopped; nullopt when it has no such queue.
inline std::optional<bool> QueueStopped(const std::string& name) {
  for (const platform::PrintQueue& queue : platform::ListPrintQueues()) {
    if (queue.name == name) return queue.stopped;
  }
  return std::nullopt;
}

// A raw job (no filters) to the queue; its id, 0 when refused.
inline int SubmitJob(const PrivateCupsd& cupsd, const char* queue) {
  const std::string file = cupsd.dir().Write("job.bin", "job data\n");
  cups_option_t* options = nullptr;
  const int count = cupsAddOption("raw", "true", 0, &options);
  const int id =
      cupsPrintFile2(CUPS_HTTP_DEFAULT, queue, file.c_str(), "kiln test", count, options);
  cupsFreeOptions(count, options);
  return id;
}

inline ipp_jstate_t JobState(const char* queue, int id) {
  cups_job_t* jobs = nullptr;
  const int count = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, queue, 0, CUPS_WHICHJOBS_ALL);
  ipp_jstate_t state = IPP_JSTATE_ABORTED;
  for (int i = 0; i < count; ++i) {
    if (jobs[i].id == id) state = jobs[i].state;
  }
  cupsFreeJobs(count, jobs);
  return state;
}

inline bool JobCompletes(const char* queue, int id) {
  for (int i = 0; i < 200; ++i) {
    if (JobState(queue, id) == IPP_JSTATE_COMPLETED) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

}  // namespace kiln::testing
