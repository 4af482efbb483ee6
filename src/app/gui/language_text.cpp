#include "app/gui/language_text.h"

#include <iconv.h>

#include <QStringDecoder>
#include <cerrno>
#include <string>

namespace kiln::app {

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

bool IsValidUtf8(std::string_view bytes) {
  QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  const QString text = decoder.decode(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
  return !decoder.hasError();
}

}  // namespace

const char* LanguageCodePage(std::string_view languageTag) {
  struct TagPage {
    std::string_view tag;
    const char* codePage;
  };
  static constexpr TagPage kPages[] = {
      {"cht", "CP950"}, {"chs", "CP936"},  {"jpn", "CP932"},
      {"krn", "CP949"}, {"rus", "CP1251"}, {"pol", "CP1250"},
  };
  for (const TagPage& page : kPages) {
    if (page.tag == languageTag) return page.codePage;
  }
  return "CP1252";
}

QString DecodeLanguageText(std::string_view bytes, std::string_view languageTag) {
  if (IsValidUtf8(bytes)) return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
  Converter converter(LanguageCodePage(languageTag));
  // Every code page above is known to glibc; should one be missing, Latin-1 still
  // shows the ASCII part of the text.
  if (!converter.ok()) return QString::fromLatin1(bytes.data(), qsizetype(bytes.size()));
  const std::string utf8 = converter.Convert(bytes);
  return QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
}

}  // namespace kiln::app
