// A LAN directory made by a test: .reg files and a lan.json written from
// text, removed with everything in it when the test ends.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace testing_support {

class TemporaryLan {
 public:
  TemporaryLan() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kestrova-lan-XXXXXX").string();
    if (mkdtemp(pattern.data()) != nullptr) directory_ = pattern;
  }
  ~TemporaryLan() {
    std::error_code ignored;
    std::filesystem::remove_all(directory_, ignored);
  }
  TemporaryLan(const TemporaryLan&) = delete;
  TemporaryLan& operator=(const TemporaryLan&) = delete;

  // Writes a file of the directory, bytes as they are.
  void Write(const std::string& name, std::string_view bytes) const {
    std::ofstream(directory_ / name, std::ios::binary) << bytes;
  }

  // A REGEDIT4 export of one computer: the header, then body.
  void Computer(const std::string& name, std::string_view body) const {
    Write(name + ".reg", "REGEDIT4\r\n\r\n" + std::string(body));
  }

  void Description(std::string_view json) const { Write("lan.json", json); }

  std::string Path() const { return directory_.string(); }

 private:
  std::filesystem::path directory_;
};

}  // namespace testing_support
