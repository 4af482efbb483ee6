// Code pages through glibc's iconv, which knows every code page a language uses.
#include <iconv.h>

#include <cerrno>
#include <string>

#include "i18n/code_page.h"

namespace kiln::i18n {

namespace {

// One iconv conversion state, closed when it goes out of scope.
class Converter {
 public:
  explicit Converter(const char* from) : handle_(iconv_open("UTF-8", from)) {}
  ~Converter() {
    if (ok()) iconv_close(handle_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // iconv_open reports failure as the handle (iconv_t)-1.
  bool ok() const {
    return handle_ != reinterpret_cast<iconv_t>(-1);  // NOLINT(performance-no-int-to-ptr)
  }

  // Converts all of bytes; a sequence that cannot be read is replaced and skipped.
  std::string Convert(std::string_view bytes) {
    std::string out;
    char buffer[256];
    char* in = const_cast<char*>(bytes.data());
    size_t inLeft = bytes.size();
    while (inLeft > 0) {
      char* to = buffer;
      size_t toLeft = sizeof buffer;
      const size_t done = iconv(handle_, &in, &inLeft, &to, &toLeft);
      out.append(buffer, static_cast<size_t>(to - buffer));
      if (done != static_cast<size_t>(-1) || errno == E2BIG) continue;
      // EILSEQ or EINVAL (a sequence cut at the end): mark it and go on after its first byte.
      out.append("\xEF\xBF\xBD");
      ++in;
      --inLeft;
      iconv(handle_, nullptr, nullptr, nullptr, nullptr);
    }
    return out;
  }

 private:
  iconv_t handle_;
};

}  // namespace

std::string CodePageToUtf8(std::string_view bytes, uint32_t codePage) {
  Converter converter(("CP" + std::to_string(codePage)).c_str());
  if (!converter.ok()) return Latin1ToUtf8(bytes);
  return converter.Convert(bytes);
}

}  // namespace kiln::i18n
