// A second program using a printer, for the tests of the I/O right between processes.
//
//   kiln_link_worker journal <devicePath> <journalFile> <rounds>
//       takes the I/O right of the device path `rounds` times; inside each hold it appends
//       "begin <pid>" and, a moment later, "end <pid>" to the journal
//   kiln_link_worker hold <devicePath> <journalFile> <milliseconds>
//       takes the I/O right once and keeps it for the given time, journalled as above
//   kiln_link_worker revision <model> <instance> <rounds> <expectedRevision>
//       opens the printer through discovery and asks for its firmware revision `rounds`
//       times (each one command transaction under the I/O right)
//
// Exits 0 when every round went as expected.

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "protocol/prn_cmd.h"
#include "usb/io_right.h"
#include "usb/usb_link.h"

namespace {

bool Append(int fd, const std::string& line) {
  return ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
}

int Journal(const char* devicePath, const char* journal, unsigned rounds, unsigned holdMs) {
  const int fd = ::open(journal, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return 3;
  kiln::usb::IoRight right;
  if (!right.Set(devicePath)) return 3;
  const std::string pid = std::to_string(::getpid());
  bool ok = true;
  for (unsigned i = 0; i < rounds; ++i) {
    right.Wait();
    ok = Append(fd, "begin " + pid + "\n") && ok;
    std::this_thread::sleep_for(std::chrono::milliseconds(holdMs));
    ok = Append(fd, "end " + pid + "\n") && ok;
    right.Release();
  }
  ::close(fd);
  return ok ? 0 : 2;
}

int Revision(uint32_t model, uint32_t instance, unsigned rounds, const char* expected) {
  kiln::usb::CUsbLink link;
  if (link.OpenIOChannel(model, instance) != kiln::usb::kOpenOk) return 1;
  kiln::protocol::CPrnCmd prn(&link, kiln::protocol::SendMode::kPadded);
  int status = 0;
  for (unsigned i = 0; i < rounds && status == 0; ++i) {
    char revision[24] = {};
    if (prn.GetProductRev(revision, sizeof revision) != kiln::usb::ResultCode::kAnswered ||
        std::strcmp(revision, expected) != 0) {
      std::fprintf(stderr, "round %u: revision \"%s\"\n", i, revision);
      status = 2;
    }
  }
  link.Finish();
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "journal") == 0) {
    return Journal(argv[2], argv[3], static_cast<unsigned>(std::atoi(argv[4])), 2);
  }
  if (argc == 5 && std::strcmp(argv[1], "hold") == 0) {
    return Journal(argv[2], argv[3], 1, static_cast<unsigned>(std::atoi(argv[4])));
  }
  if (argc == 6 && std::strcmp(argv[1], "revision") == 0) {
    return Revision(static_cast<uint32_t>(std::atoi(argv[2])),
                    static_cast<uint32_t>(std::atoi(argv[3])),
                    static_cast<unsigned>(std::atoi(argv[4])), argv[5]);
  }
  std::fprintf(stderr, "usage: kiln_link_worker journal|hold|revision ...\n");
  return 64;
}
