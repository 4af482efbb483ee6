#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace kiln::platform {

// Open files shared by path: everyone who opens a path while it is open gets the same
// file, which closes with the last of them. A printer's node admits one open at a time,
// yet each of its pipes opens it.
template <typename File>
class SharedFiles {
 public:
  // The file open on the path, else the one open() gives (nullptr: it cannot be opened).
  template <typename Open>
  std::shared_ptr<File> Get(const std::string& path, Open open) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::erase_if(open_, [](const auto& entry) { return entry.second.expired(); });
    std::shared_ptr<File> file = open_[path].lock();
    if (!file) {
      file = open();
      if (file) open_[path] = file;
    }
    return file;
  }

 private:
  std::mutex mutex_;
  std::map<std::string, std::weak_ptr<File>> open_;
};

}  // namespace kiln::platform
