#include "tools/make_bin_form.h"

#include <filesystem>

namespace kiln::tools {

void MakeBinForm::Choose(int index, const std::string& path) {
  paths[index] = path;
  lastFolder = Utf8Text(std::filesystem::absolute(Utf8Path(path)).parent_path());
}

CombineResult MakeBinForm::Combine() const {
  return CombineTableFile({paths[kCvd], paths[kHeating], paths[kColour]}, paths[kOutput]);
}

Notice MakeBinForm::CombineNotice(const CombineResult& result) {
  switch (result.error) {
    case CombineError::kNone:
      return {"Make BIN file:", "Combine OK!", false};
    case CombineError::kCannotOpenInput:
    case CombineError::kCannotWriteOutput:
      break;
    case CombineError::kInputTooLong:
      return {"Warning", result.path + "\nis larger than the " + result.region->name +
                             " region of a table file (" + std::to_string(result.region->length) +
                             " bytes). Nothing was written."};
  }
  return {"Open File Error!!", result.path};
}

}  // namespace kiln::tools
