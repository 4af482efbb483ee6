#pragma once

#include <string>
#include <utility>

#include "tools/entry_form.h"
#include "tools/table_file.h"

namespace kiln::tools {

// The rules of "Make BIN:": the three inputs and the output of a table file, the folder
// the next file choice opens in, and what a combine tells the user.
class MakeBinForm {
 public:
  static constexpr int kCvd = 0, kHeating = 1, kColour = 2, kOutput = 3;

  explicit MakeBinForm(std::string programFolder) : lastFolder(std::move(programFolder)) {}

  // A file chosen for path index: the next choice opens in its folder.
  void Choose(int index, const std::string& path);
  CombineResult Combine() const;
  static Notice CombineNotice(const CombineResult& result);

  std::string paths[4];
  std::string lastFolder;
};

}  // namespace kiln::tools
