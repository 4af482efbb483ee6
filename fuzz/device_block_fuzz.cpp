// The device data block check and the image merge: the block read back from a printer
// answering fuzzed bytes, and table files of fuzzed sizes and contents merged into
// images of fuzzed sizes.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "config/firmware_package.h"
#include "protocol/image_patching.h"
#include "support/fuzz_channel.h"
#include "support/fuzz_input.h"
#include "support/scratch_dir.h"

namespace {

using kiln::fuzz::FuzzInput;
namespace protocol = kiln::protocol;

constexpr uint8_t kUntouched = 0xEE;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "device block fuzz: %s\n", what);
  std::abort();
}

// A size near the ones the merge needs: a fuzzed distance below or above a landmark.
uint32_t SizeNear(FuzzInput& in, uint32_t landmark) {
  const uint16_t distance = static_cast<uint16_t>(in.U16() & 0x0FFF);
  return in.Bool() ? landmark + distance : (distance < landmark ? landmark - distance : 0);
}

void Merge(FuzzInput& in) {
  const uint32_t model = in.Bool() ? 22 : 1 + in.Byte() % 38;
  const uint32_t tableSize = SizeNear(in, model == 22 ? 0x4000 : kiln::config::kTableFileSize);
  const uint32_t imageSize = SizeNear(in, model == 22 ? 0x51000 : 0x68000);
  // The table repeats the fuzzed pattern; a missing table file is tried as well.
  const std::string pattern(in.Bytes(64));
  // Doubled rather than appended pattern by pattern: a one-byte pattern would take a
  // hundred thousand appends.
  std::string table = pattern.empty() ? std::string(tableSize, '\0') : pattern;
  while (table.size() < tableSize) {
    table.append(table, 0, std::min<std::size_t>(table.size(), tableSize - table.size()));
  }
  table.resize(tableSize);
  const std::string path = in.Bool() ? kiln::fuzz::WriteScratchFile("table.bin", table)
                                     : kiln::fuzz::ScratchDir() + "/missing.bin";

  // One buffer for every run: allocating images of this size each time would dominate.
  static std::vector<uint8_t> image;
  image.assign(imageSize, kUntouched);
  kiln::FixedText<512> resultText;
  const bool merged =
      protocol::MergeTableFile(kiln::config::LoadFile(path), "image.bin", image, model, resultText);
  if (image.size() != imageSize) Fail("merge resized the image");
  if (!merged && resultText.empty()) Fail("a refused merge names no reason");
}

void ReadBack(FuzzInput& in) {
  const uint32_t openModel = in.Bool() ? 13 : 1 + in.Byte() % 38;
  const uint32_t connectedModel = 1 + in.Byte() % 38;
  const uint32_t imageSize = SizeNear(in, in.Bool() ? kiln::models::kDeviceBlockOffset
                                                    : kiln::models::QuirksOf(13).deviceBlockOffset);
  static kiln::fuzz::AnswerStream answers;
  static kiln::fuzz::FuzzChannel channel(answers, 7);
  // One protocol object per send mode, made once: each holds two 256 KiB buffers.
  static protocol::CPrnCmd padded(&channel, protocol::SendMode::kPadded);
  static protocol::CPrnCmd unpadded(&channel, protocol::SendMode::kUnpadded);
  channel.SetModel(connectedModel);
  protocol::CPrnCmd& prn = in.Bool() ? unpadded : padded;
  answers = kiln::fuzz::AnswerStream(in.Rest());

  static std::vector<uint8_t> image;
  image.assign(imageSize, kUntouched);
  protocol::PreserveDeviceBlock(prn, image, openModel, connectedModel);
  if (image.size() != imageSize) Fail("the block read-back resized the image");

  // A block may only land at the model's offset: every byte elsewhere is untouched.
  static const std::vector<uint8_t> pristine(kiln::models::kDeviceBlockOffset + 0x10000,
                                             kUntouched);
  const uint32_t offset = openModel == 13 ? kiln::models::QuirksOf(13).deviceBlockOffset
                                          : kiln::models::kDeviceBlockOffset;
  const uint32_t before = offset < imageSize ? offset : imageSize;
  const uint32_t blockEnd = offset + kiln::models::kDeviceBlockSize;
  const uint32_t after = blockEnd < imageSize ? imageSize - blockEnd : 0;
  if (std::memcmp(image.data(), pristine.data(), before) != 0 ||
      (after != 0 && std::memcmp(image.data() + blockEnd, pristine.data(), after) != 0)) {
    Fail("block bytes outside the block's place");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput in(data, size);
  switch (in.Byte() % 3) {
    case 0:
      Merge(in);
      break;
    case 1:
      ReadBack(in);
      break;
    default: {
      const std::string block(in.Rest());
      (void)kiln::config::VerifyBlockChecksum(reinterpret_cast<const uint8_t*>(block.data()),
                                              block.size(), kiln::config::kDeviceBlockMarker);
      break;
    }
  }
  return 0;
}
