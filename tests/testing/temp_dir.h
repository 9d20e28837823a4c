#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace reelkit::testing {

// A fresh directory under the build tree, removed with its contents when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string File(const std::string& name) const { return (path_ / name).string(); }
  std::string Write(const std::string& name, std::span<const std::uint8_t> bytes) const;
  std::string Write(const std::string& name, const std::string& text) const;

 private:
  std::filesystem::path path_;
};

std::string ReadFileBytes(const std::string& path);

}  // namespace reelkit::testing
