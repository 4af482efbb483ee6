#include "protocol/model_facts.h"

namespace kiln::protocol {

ModelFacts ModelFactsFor(uint32_t openModel, uint32_t connectedModel, uint32_t targetModel,
                         bool largeModel, bool waitForRestart) {
  const models::ModelQuirks& open = models::QuirksOf(openModel);
  ModelFacts facts;
  // A block is only checked on a printer seen again after its restart.
  facts.keepsDeviceBlock = waitForRestart && (largeModel || open.keepsDeviceBlock);
  facts.deviceBlockOffset = open.deviceBlockOffset;
  facts.deviceBlockSize = models::QuirksOf(connectedModel).deviceBlockSize;
  facts.cardStatusRecord = models::IsCardPrinter(connectedModel);
  facts.extraProgrammingSeconds = waitForRestart ? open.extraProgrammingSeconds : 0;
  facts.singleBlockTable = models::QuirksOf(targetModel).singleBlockTable;
  return facts;
}

}  // namespace kiln::protocol
