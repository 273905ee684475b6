#pragma once
// A temporary folder per test, removed with everything in it.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

class TempDir {
 public:
  TempDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "tessaro-parser-XXXXXX").string();
    char* made = mkdtemp(pattern.data());
    if (made != nullptr) path_ = made;
  }
  ~TempDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }

  // Writes the bytes to a file in the folder and returns its path.
  std::string write(const std::string& name, const std::string& bytes) const {
    std::string file = path_ + "/" + name;
    std::ofstream out(file, std::ios::binary);
    out << bytes;
    return file;
  }

 private:
  std::string path_;
};
