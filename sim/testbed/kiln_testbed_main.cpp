// kiln-testbed: runs a command on a umockdev test bed holding virtual printers.
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "sim/launcher_options.h"
#include "sim/testbed/test_bed.h"
#include "sim/testbed/umockdev_env.h"
#include "sim/transcript_json.h"

namespace {

using kiln::sim::LauncherOptions;
using kiln::sim::TestBed;

constexpr int kUsageError = 2;
constexpr int kTestBedError = 1;
constexpr int kCannotRun = 127;

int Fail(int status, const std::string& message) {
  std::fprintf(stderr, "kiln-testbed: %s\n", message.c_str());
  return status;
}

// The running command, for passing on a request to end.
volatile sig_atomic_t runningCommand = 0;

void PassOn(int signal) {
  if (runningCommand > 0) ::kill(static_cast<pid_t>(runningCommand), signal);
}

// Runs the command with this process's environment (which carries UMOCKDEV_DIR and the
// preload library) and returns its exit status, or 128 + the signal that ended it.
int RunCommand(const std::vector<std::string>& command) {
  std::vector<char*> argv;
  argv.reserve(command.size() + 1);
  for (const std::string& arg : command) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  const std::string cannotRun = "kiln-testbed: cannot run " + command[0] + "\n";

  // Like system(): a terminal's interrupt ends the command only; a request to end the
  // launcher is passed on to the command. Either way the launcher lives on to write the
  // transcript and remove the test bed.
  struct sigaction ignore {
  }, passOn{}, oldInt{}, oldQuit{}, oldTerm{}, oldHup{};
  ignore.sa_handler = SIG_IGN;
  passOn.sa_handler = PassOn;
  sigaction(SIGINT, &ignore, &oldInt);
  sigaction(SIGQUIT, &ignore, &oldQuit);
  sigaction(SIGTERM, &passOn, &oldTerm);
  sigaction(SIGHUP, &passOn, &oldHup);

  const pid_t child = ::fork();
  if (child == 0) {
    // Only async-signal-safe calls here: the serving threads may hold locks.
    sigaction(SIGINT, &oldInt, nullptr);
    sigaction(SIGQUIT, &oldQuit, nullptr);
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);  // the command ends if the launcher is killed
    ::execvp(argv[0], argv.data());
    const ssize_t ignored = ::write(STDERR_FILENO, cannotRun.data(), cannotRun.size());
    (void)ignored;
    ::_exit(kCannotRun);
  }
  int status = 0;
  int result = kCannotRun;
  if (child > 0) {
    runningCommand = child;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    runningCommand = 0;
    result = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  sigaction(SIGINT, &oldInt, nullptr);
  sigaction(SIGQUIT, &oldQuit, nullptr);
  sigaction(SIGTERM, &oldTerm, nullptr);
  sigaction(SIGHUP, &oldHup, nullptr);
  return result;
}

bool WriteTranscript(const std::string& path, TestBed& bed) {
  std::ofstream out(path, std::ios::trunc);
  for (std::size_t i = 0; i < bed.PrinterCount(); ++i) {
    out << kiln::sim::TranscriptJsonLines(i, bed.Printer(i).Transcript());
  }
  return static_cast<bool>(out.flush());
}

}  // namespace

int main(int argc, char** argv) {
  LauncherOptions options;
  std::string error;
  if (!kiln::sim::ParseLauncherArgs(std::vector<std::string>(argv + 1, argv + argc), options,
                                    error)) {
    return Fail(kUsageError, error + " (see --help)");
  }
  if (options.help) {
    std::fputs(kiln::sim::LauncherUsage().c_str(), stdout);
    return 0;
  }
  if (options.version) {
    std::puts("kiln-testbed (Kiln) " KILN_VERSION);
    return 0;
  }
  if (!kiln::sim::InUmockdevEnvironment()) {
    kiln::sim::ReexecuteUnderUmockdev(argv, error);
    return Fail(kCannotRun, error);
  }

  std::unique_ptr<TestBed> bed =
      TestBed::Create(options.printers, kiln::platform::SystemClock(), &error);
  if (!bed) return Fail(kTestBedError, "cannot build the test bed: " + error);

  const int status = RunCommand(options.command);
  if (!options.transcriptPath.empty() && !WriteTranscript(options.transcriptPath, *bed)) {
    std::fprintf(stderr, "kiln-testbed: cannot write %s\n", options.transcriptPath.c_str());
  }
  bed.reset();
  return status;
}
