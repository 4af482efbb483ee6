// The profile engine on a fuzzed Kiln.ini and a fuzzed run of lookups, listings, writes
// and deletions. Every read must stay within its buffer and terminate it; after a write
// of plain names the file must read back the value written.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>

#include "platform/profile.h"
#include "support/fuzz_input.h"
#include "support/scratch_dir.h"

namespace {

using kiln::fuzz::FuzzInput;
namespace profile = kiln::platform;

constexpr uint32_t kBufferSize = 1100;

// Names a run uses again and again, so that its edits meet the file's own sections.
constexpr const char* kCommonNames[] = {"FW_INFO1", "FW_INFO", "File", "Model", "Lang", "a", ""};

bool IsPlain(std::string_view text) {
  if (text.empty()) return false;
  for (const char c : text) {
    const bool plain =
        (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    if (!plain) return false;
  }
  return true;
}

// A name: NULL, one of the common ones, or fuzzed bytes without a NUL.
struct Name {
  bool null = false;
  std::string text;
  const char* get() const { return null ? nullptr : text.c_str(); }
};

Name TakeName(FuzzInput& in) {
  const uint8_t choice = in.Byte();
  Name name;
  if (choice < 16) {
    name.null = true;
  } else if (choice < 128) {
    name.text = kCommonNames[choice % std::size(kCommonNames)];
  } else {
    const std::string raw = in.Text();
    name.text = raw.substr(0, raw.find('\0'));
  }
  return name;
}

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "profile fuzz: %s\n", what);
  std::abort();
}

void CheckTerminated(const char* out, uint32_t size, uint32_t returned) {
  if (size == 0) return;
  if (returned >= size) Fail("returned count not below the buffer size");
  if (out[returned] != '\0') Fail("text not terminated at the returned count");
}

void Lookup(FuzzInput& in, const char* path) {
  const Name section = TakeName(in);
  const Name key = TakeName(in);
  const Name fallback = TakeName(in);
  const uint32_t size = in.Byte() % 2 == 0 ? in.Byte() : kBufferSize - 1;
  char out[kBufferSize + 8];
  std::memset(out, 0x7F, sizeof out);
  const uint32_t n =
      profile::GetPrivateProfileStringA(section.get(), key.get(), fallback.get(), out, size, path);
  CheckTerminated(out, size, n);
  if (out[size] != 0x7F) Fail("wrote past the buffer");
}

void SectionListing(FuzzInput& in, const char* path) {
  const Name section = TakeName(in);
  const uint32_t size = in.Byte() % 2 == 0 ? in.Byte() : kBufferSize - 1;
  char out[kBufferSize + 8];
  std::memset(out, 0x7F, sizeof out);
  const uint32_t n = profile::GetPrivateProfileSectionA(section.get(), out, size, path);
  CheckTerminated(out, size, n);
  if (out[size] != 0x7F) Fail("wrote past the buffer");
}

void Write(FuzzInput& in, const char* path) {
  const Name section = TakeName(in);
  const Name key = TakeName(in);
  const Name value = TakeName(in);
  if (!profile::WritePrivateProfileStringA(section.get(), key.get(), value.get(), path)) return;
  if (!IsPlain(section.text) || !IsPlain(key.text) || section.null || key.null) return;

  char out[kBufferSize];
  const uint32_t n =
      profile::GetPrivateProfileStringA(section.get(), key.get(), "\x01", out, sizeof out, path);
  // A deleted key may still be found in a second copy of the section: nothing to check.
  if (value.null) return;
  if (IsPlain(value.text) && std::string_view(out, n) != value.text) {
    Fail("a written value does not read back");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  const std::string content(in.Bytes(in.U16() % 4096));
  const std::string path = kiln::fuzz::WriteScratchFile("Kiln.ini", content);

  for (int step = 0; step < 16 && !in.Empty(); ++step) {
    switch (in.Byte() % 6) {
      case 0:
      case 1:
        Lookup(in, path.c_str());
        break;
      case 2: {
        const Name section = TakeName(in);
        const Name key = TakeName(in);
        (void)profile::GetPrivateProfileIntA(section.get(), key.get(),
                                             static_cast<int32_t>(in.U32()), path.c_str());
        break;
      }
      case 3:
        SectionListing(in, path.c_str());
        break;
      default:
        Write(in, path.c_str());
        break;
    }
  }
  return 0;
}
