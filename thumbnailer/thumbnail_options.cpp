#include "thumbnailer/thumbnail_options.h"

#include <charconv>

namespace reelkit {
namespace {

std::optional<std::uint32_t> ParseSize(const std::string& text) {
  std::uint32_t size = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, size);
  if (error != std::errc() || stop != end || size < 1 || size > kLargestThumbnailSize) {
    return std::nullopt;
  }
  return size;
}

}  // namespace

std::optional<ThumbnailOptions> ParseThumbnailOptions(const std::vector<std::string>& arguments) {
  if (arguments.size() != 4 || arguments[0] != "-s" || arguments[2].empty() ||
      arguments[3].empty()) {
    return std::nullopt;
  }
  const auto size = ParseSize(arguments[1]);
  if (!size) {
    return std::nullopt;
  }
  return ThumbnailOptions{*size, arguments[2], arguments[3]};
}

}  // namespace reelkit
