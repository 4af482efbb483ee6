#include "platform/linux/lp_pipe.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>

#include "platform/linux/node_refusal.h"
#include "platform/linux/unique_fd.h"
#include "platform/printer_pipes.h"
#include "platform/shared_files.h"

namespace kiln::platform {

PipeResult PipeResultFromErrno(int errnoValue, uint32_t bytes) {
  PipeResult result{PipeStatus::kFailed, bytes, errnoValue};
  switch (errnoValue) {
    case 0:
      result.status = PipeStatus::kDone;
      break;
    case EAGAIN:
    case ETIMEDOUT:
      result.status = PipeStatus::kTimedOut;
      break;
    case ENODEV:
    case EIO:
      result.status = PipeStatus::kGone;
      break;
    case EPROTO:
    case EILSEQ:
      result.status = PipeStatus::kDataError;
      break;
    case EINVAL:
    case ENOTTY:
    case EBADF:
      result.status = PipeStatus::kRefused;
      break;
    default:
      break;
  }
  return result;
}

namespace {

// A hang-up on poll (also after a read of 0 bytes) means the printer went away: the
// same as ENODEV.
constexpr int kDeviceLost = ENODEV;

// One open file description of a node, shared by every pipe opened on its path.
using NodeFile = UniqueFd;

// Milliseconds left until a transfer's time-out; -1 (no limit) for a time-out of 0.
class Deadline {
 public:
  explicit Deadline(uint32_t timeoutMs)
      : unlimited_(timeoutMs == 0),
        end_(std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs)) {}
  int RemainingMs() const {
    if (unlimited_) return -1;
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(end_ - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
  }

 private:
  bool unlimited_;
  std::chrono::steady_clock::time_point end_;
};

enum class Readiness { kReady, kTimedOut, kLost, kFailed };

// Waits for the events (POLLIN or POLLOUT) until the deadline. *error is set on kFailed.
Readiness WaitFor(int fd, short events, const Deadline& deadline, int* error) {
  for (;;) {
    pollfd entry{fd, events, 0};
    const int ready = ::poll(&entry, 1, deadline.RemainingMs());
    if (ready < 0) {
      if (errno == EINTR) continue;
      *error = errno;
      return Readiness::kFailed;
    }
    if (ready == 0) return Readiness::kTimedOut;
    if ((entry.revents & events) != 0) return Readiness::kReady;
    if ((entry.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) return Readiness::kLost;
  }
}

// Whether the node reports a hang-up or an error right now (a removed device; the
// test bed's pseudo-terminal once its other end is closed).
bool HungUp(int fd) {
  pollfd entry{fd, POLLIN, 0};
  return ::poll(&entry, 1, 0) > 0 && (entry.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

// The end of a transfer whose wait did not find the node ready.
PipeResult Unready(Readiness readiness, uint32_t bytes, int error) {
  if (readiness == Readiness::kTimedOut) return PipeResultFromErrno(ETIMEDOUT, bytes);
  return PipeResultFromErrno(readiness == Readiness::kLost ? kDeviceLost : error, bytes);
}

class LpPipe final : public PipeFile {
 public:
  explicit LpPipe(std::shared_ptr<NodeFile> node) : node_(std::move(node)) {}

  // usblp queues at most 8192 bytes per write() and accepts the next piece once the
  // previous one reached the printer; the transfer is done when every byte was queued and
  // poll reports POLLOUT (the last piece went out).
  PipeResult Write(const uint8_t* data, uint32_t len, uint32_t timeoutMs) override {
    if (len == 0) return PipeResultFromErrno(0, 0);
    const Deadline deadline(timeoutMs);
    const int fd = node_->get();
    uint32_t done = 0;
    for (;;) {
      if (done < len) {
        const ssize_t n = ::write(fd, data + done, len - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EAGAIN) return PipeResultFromErrno(errno, done);
        if (n > 0) {
          done += static_cast<uint32_t>(n);
          continue;  // queue as much as the node takes before waiting
        }
      }
      int error = 0;
      const Readiness readiness = WaitFor(fd, POLLOUT, deadline, &error);
      if (readiness != Readiness::kReady) return Unready(readiness, done, error);
      if (done == len) return PipeResultFromErrno(0, done);
    }
  }

  // Reads return what has arrived; with nothing there yet, the read waits until poll
  // reports POLLIN or the time-out ends it.
  PipeResult Read(uint8_t* data, uint32_t len, uint32_t timeoutMs) override {
    if (len == 0) return PipeResultFromErrno(0, 0);
    const Deadline deadline(timeoutMs);
    const int fd = node_->get();
    for (;;) {
      const ssize_t n = ::read(fd, data, len);
      if (n < 0 && errno == EINTR) continue;
      // 0 bytes from a node that has not hung up is an empty transfer (the printer sent
      // a zero-length packet): it is done with nothing and the node stays open.
      if (n > 0 || (n == 0 && !HungUp(fd))) {
        return PipeResultFromErrno(0, static_cast<uint32_t>(n));
      }
      const int error = n == 0 ? kDeviceLost : errno;
      if (error != EAGAIN) return PipeResultFromErrno(error, 0);
      int waitError = 0;
      const Readiness readiness = WaitFor(fd, POLLIN, deadline, &waitError);
      if (readiness != Readiness::kReady) return Unready(readiness, 0, waitError);
    }
  }

  // usblp has no way to withdraw a queued transfer short of closing the node, which
  // the link does right after cancelling wherever a transfer was abandoned.
  void Cancel() override {}

  int TraceHandle() const override { return node_->get(); }

 private:
  std::shared_ptr<NodeFile> node_;
};

// Why the last open on this thread failed; kNone after one that worked.
thread_local OpenRefusal lastRefusal;

class LpPipeOpener final : public PipeOpener {
 public:
  std::unique_ptr<PipeFile> Open(const char* devicePath) override {
    lastRefusal = {};
    if (devicePath == nullptr || *devicePath == '\0') return nullptr;
    std::shared_ptr<NodeFile> node = nodes_.Get(devicePath, [devicePath] {
      NodeFile fd(::open(devicePath, O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
      // usblp admits one open at a time (EBUSY), and a node that would admit more (one
      // shared into containers, the test bed's stand-in) is held by an exclusive lock as
      // well, so that two programs never write to one printer at once. A node the user
      // may not open is EACCES.
      if (fd.get() >= 0 && ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
        const int error = errno == EWOULDBLOCK ? EBUSY : errno;
        fd = NodeFile();
        errno = error;
      }
      if (fd.get() < 0) lastRefusal = NodeRefusal(errno, devicePath);
      return fd.get() < 0 ? nullptr : std::make_shared<NodeFile>(std::move(fd));
    });
    if (!node) return nullptr;
    return std::make_unique<LpPipe>(std::move(node));
  }
  OpenRefusal LastRefusal() const override { return lastRefusal; }

 private:
  SharedFiles<NodeFile> nodes_;
};

}  // namespace

PipeOpener& SystemPipeOpener() {
  static LpPipeOpener opener;
  return opener;
}

}  // namespace kiln::platform
