#include "i18n/embedded_resources.h"

#include <algorithm>

namespace reelkit {

std::span<const std::uint8_t> FindEmbeddedResource(std::string_view name) {
  const auto resources = EmbeddedResources();
  const auto found = std::ranges::find(resources, name, &EmbeddedResource::name);
  return found == resources.end() ? std::span<const std::uint8_t>() : found->bytes;
}

}  // namespace reelkit
