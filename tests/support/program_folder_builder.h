#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "config/firmware_package.h"
#include "sim/printer_config.h"
#include "support/package_builder.h"
#include "support/temp_dir.h"

namespace kiln::testing {

// How a package of ProgramFolderBuilder::Package is laid out.
struct PackageShape {
  std::size_t size = 0x2000;
  uint32_t headerOffset = config::kHeaderOffsetMain;
  uint16_t programTime1 = 3, programTime2 = 3;
};

// A program folder built in a few calls: Kiln.ini section by section (rewritten after
// every call, so it always holds what was built so far), and the packages and other
// files it names:
//   ProgramFolderBuilder(dir).Package("fw.bin", 7, "1.10").Entry(1, {"File=fw.bin", "Delay2=2"});
class ProgramFolderBuilder {
 public:
  explicit ProgramFolderBuilder(const TempDir& dir) : dir_(dir) {}

  // Section [name] with these key lines ("Key=value"), after the sections built before.
  ProgramFolderBuilder& Section(std::string_view name,
                                std::initializer_list<std::string_view> lines) {
    ini_ += '[';
    ini_ += name;
    ini_ += "]\n";
    return Lines(lines);
  }
  // Model entry index: [FW_INFO<index>], or with index 0 the older [FW_INFO].
  ProgramFolderBuilder& Entry(int index, std::initializer_list<std::string_view> lines) {
    return Section(index == 0 ? std::string("FW_INFO") : "FW_INFO" + std::to_string(index), lines);
  }
  // More key lines in the section built last.
  ProgramFolderBuilder& Lines(std::initializer_list<std::string_view> lines) {
    for (const std::string_view line : lines) {
      ini_ += line;
      ini_ += '\n';
    }
    dir_.Write("Kiln.ini", ini_);
    return *this;
  }
  // A package for model's product ID holding version.
  ProgramFolderBuilder& Package(std::string_view name, uint32_t model, std::string_view version,
                                PackageShape shape = {}) {
    dir_.Write(name, MakePackage(shape.size, shape.headerOffset, sim::ProductIdOfModel(model),
                                 shape.programTime1, shape.programTime2, version));
    return *this;
  }
  // Any other file of the folder (a colour table, a large model's code or table).
  ProgramFolderBuilder& File(std::string_view name, std::string_view bytes) {
    dir_.Write(name, bytes);
    return *this;
  }

  const std::string& ini() const { return ini_; }
  std::string PathOf(std::string_view name) const { return dir_.File(name); }

 private:
  const TempDir& dir_;
  std::string ini_;
};

}  // namespace kiln::testing
