// A fresh folder under the system's temporary folder, removed with everything in it.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

class DownloadTempFolder {
 public:
  DownloadTempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "qs-download-XXXXXX").string();
    path_ = ::mkdtemp(&pattern[0]) ? pattern : std::string();
  }
  ~DownloadTempFolder() {
    std::error_code ignored;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  DownloadTempFolder(const DownloadTempFolder&) = delete;
  DownloadTempFolder& operator=(const DownloadTempFolder&) = delete;

  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

  void Write(const std::string& name, const std::string& bytes) const {
    std::ofstream(File(name), std::ios::binary) << bytes;
  }
  std::string Read(const std::string& name) const {
    std::ifstream in(File(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  bool Exists(const std::string& name) const { return std::filesystem::exists(File(name)); }

 private:
  std::string path_;
};
