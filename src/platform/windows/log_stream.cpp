#include "platform/log_stream.h"

#include "platform/windows/wide_text.h"

namespace kiln::platform {

std::FILE* OpenLogStream(const char* path) {
  // Windows opens no FIFO by a file name: the wide open of the C runtime is enough, and
  // takes any Unicode name.
  return ::_wfopen(windows::WidePath(path).c_str(), L"a");
}

}  // namespace kiln::platform
