#include "wizard/wizard_paths.h"

#include <algorithm>

namespace reelkit {

std::string FolderOf(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? std::string_view() : path.substr(0, slash));
}

std::string CommonFolder(const std::vector<std::string>& paths) {
  if (paths.empty()) {
    return {};
  }
  const std::string first = FolderOf(paths.front());
  const bool allEqual = std::all_of(
      paths.begin(), paths.end(), [&](const std::string& path) { return FolderOf(path) == first; });
  return allEqual ? first : std::string();
}

std::string WithoutTrailingSeparators(std::string_view path) {
  while (!path.empty() && path.back() == '/') {
    path.remove_suffix(1);
  }
  return std::string(path);
}

std::string OutputPathFor(std::string_view sourcePath, std::string_view destinationDir,
                          OutputFormat format) {
  const std::size_t slash = sourcePath.rfind('/');
  std::string_view name =
      slash == std::string_view::npos ? sourcePath : sourcePath.substr(slash + 1);
  if (const std::size_t dot = name.rfind('.'); dot != std::string_view::npos) {
    name = name.substr(0, dot);
  }
  const OutputFormatDescriptor& row = *FindOutputFormat(format);
  std::string out(destinationDir);
  out.append("/").append(name).append("_").append(row.name).append(row.extension);
  return out;
}

std::u16string FormatSizeText(std::uint64_t bytes) {
  const bool inKilobytes = bytes >= 1024;
  const std::string digits = std::to_string(inKilobytes ? bytes / 1024 : bytes);
  std::u16string text;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) {
      text.push_back(u',');
    }
    text.push_back(static_cast<char16_t>(digits[i]));
  }
  text.append(inKilobytes ? u" KBytes" : u" Bytes");
  return text;
}

}  // namespace reelkit
