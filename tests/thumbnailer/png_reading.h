#pragma once

#include <png.h>

#include <cstdint>
#include <string>
#include <vector>

namespace reelkit::testing {

// A PNG decoded by libpng into 8-bit RGB, or empty when libpng refuses the file.
struct DecodedPng {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::vector<std::uint8_t> rgb;

  std::uint32_t At(std::uint32_t x, std::uint32_t y) const {
    const std::uint8_t* p = rgb.data() + (std::size_t{y} * width + x) * 3;
    return std::uint32_t{p[0]} << 16 | std::uint32_t{p[1]} << 8 | p[2];
  }
  bool IsOneColour() const {
    for (std::size_t k = 3; k < rgb.size(); ++k) {
      if (rgb[k] != rgb[k % 3]) {
        return false;
      }
    }
    return true;
  }
};

inline DecodedPng ReadPng(const std::string& path) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  DecodedPng png;
  if (png_image_begin_read_from_file(&image, path.c_str()) == 0) {
    return png;
  }
  image.format = PNG_FORMAT_RGB;
  std::vector<std::uint8_t> rgb(PNG_IMAGE_SIZE(image));
  if (png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr) == 0) {
    png_image_free(&image);
    return png;
  }
  png.width = image.width;
  png.height = image.height;
  png.rgb = std::move(rgb);
  return png;
}

}  // namespace reelkit::testing
