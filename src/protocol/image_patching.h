#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "config/package_files.h"
#include "models/model_table.h"
#include "platform/fixed_text.h"
#include "protocol/model_facts.h"
#include "protocol/patched_image.h"
#include "protocol/prn_cmd.h"

namespace kiln::protocol {

// Copies the table file's blocks into the image: for a target model that takes a single
// block (model 22) its first 0x4000 bytes at 0x4D000; for every other model the CVD block at
// 0x2E000, the heating table at 0x30000 and the colour table at 0x64000. A table file that could
// not be read, or an image (loaded from imagePath) or table file too small for those ranges,
// refuses the update: false, with failure naming the file (and the sizes).
bool MergeTableFile(const config::LoadedFile& table, const std::string& imagePath,
                    std::vector<uint8_t>& image, uint32_t targetModel, FixedText<512>& failure);
// The same blocks laid over the image as patches that point into the table file's bytes
// (singleBlockTable: the target model's layout), with the same refusals.
bool LayTableFile(const config::LoadedFile& table, const std::string& imagePath,
                  PatchedImage& image, bool singleBlockTable, FixedText<512>& failure);

// Reads the printer's device data block (0x8000, 0x8702, then 0xE028 pieces) as it
// hands it out; empty when it holds none, the read fails, or the block is longer than the
// facts' longest block. The facts' connected model chooses the status record layout.
std::vector<uint8_t> ReadDeviceBlock(CPrnCmd& prn, const ModelFacts& facts);

// The printer's device data block, read back, when it is valid and fits an image of
// imageSize bytes at the open model's device-block offset; empty otherwise.
std::vector<uint8_t> KeepDeviceBlock(CPrnCmd& prn, const ModelFacts& facts, uint32_t imageSize);

// Reads the printer's device data block back and, when it is valid and fits, places it
// in the image at the open model's device-block offset. Returns the block placed;
// empty when none was.
std::vector<uint8_t> PreserveDeviceBlock(CPrnCmd& prn, std::vector<uint8_t>& image,
                                         uint32_t openModel, uint32_t connectedModel);

}  // namespace kiln::protocol
