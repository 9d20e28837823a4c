#pragma once

#include <cstdint>
#include <span>

#include "decoder/native_format.h"
#include "decoder/picture_geometry.h"

namespace reelkit {

// Whether pictures are drawn at the native depth into a private working frame and then expanded
// to 32 bits, rather than drawn straight into the caller's frame.
bool ConversionApplies(std::uint32_t nativeBitCount, std::uint32_t outputBitCount);

// Expands the working frame (geometry's native depth and output size) into 32-bit pixels in the
// frame, rows of 4 x output width bytes, bottom-up: 4- and 8-bit pixels through the colour table
// (entries copied in stored order), 24-bit pixels with a zero fourth byte. Combinations that do
// not convert leave the frame as it is; rows that do not fit wholly in both buffers are skipped.
void ConvertToRgb32(std::span<const std::uint8_t> working, const CPictureGeometry& geometry,
                    std::uint32_t outputBitCount, std::span<const std::uint8_t, 1024> colorTable,
                    std::span<std::uint8_t> frame);

// Reads the working frame's 32-bit pixels through their colour masks into plain 32-bit pixels
// (blue, green, red, 0) in the frame, rows of 4 x output width bytes, bottom-up. Channels narrower
// than 8 bits are widened so that full scale stays full scale.
void ConvertMaskedRgb32(std::span<const std::uint8_t> working, const CPictureGeometry& geometry,
                        const ColorMasks& masks, std::span<std::uint8_t> frame);

}  // namespace reelkit
