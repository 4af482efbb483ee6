#pragma once

#include <cstdint>

#include "models/model_table.h"

namespace kiln::protocol {

// What the models of one download make it do, looked up in the model table once, when
// the update is planned: the download itself never consults the table.
struct ModelFacts {
  // The printers' device data block is read before programming, laid into the image they
  // are sent and checked afterwards (large models, and the open model's own rule; only
  // when the printers are waited for after their restart).
  bool keepsDeviceBlock = false;
  // Where the open model's device data block goes in the image.
  uint32_t deviceBlockOffset = models::kDeviceBlockOffset;
  // The longest device data block the connected model hands out.
  uint32_t deviceBlockSize = models::kDeviceBlockSize;
  // The connected model's status record has the card-printer layout.
  bool cardStatusRecord = false;
  // Seconds the open model needs to program its flash beyond its package's time, added
  // to the count-down when the printers are waited for after their restart.
  uint32_t extraProgrammingSeconds = 0;
  // The target model takes a colour table as its first block only.
  bool singleBlockTable = false;
  friend bool operator==(const ModelFacts&, const ModelFacts&) = default;
};

// The facts of a download that finds its printers as openModel, reads their status
// records as connectedModel and merges a colour table in targetModel's layout.
ModelFacts ModelFactsFor(uint32_t openModel, uint32_t connectedModel, uint32_t targetModel,
                         bool largeModel, bool waitForRestart);

}  // namespace kiln::protocol
