#include "gstreamer/stream_caps.h"

#include "common/fourcc.h"

namespace reelkit::gst {

GstCaps* ScreenStreamCaps(const BitmapFormat& streamFormat) {
  const BitmapInfoHeader header = streamFormat.Header();
  const std::span<const std::uint8_t> block = streamFormat.Bytes();
  GstBuffer* codecData = gst_buffer_new_memdup(block.data(), block.size());
  GstCaps* caps = gst_caps_new_simple(
      REELKIT_SCREEN_STREAM_CAPS, "width", G_TYPE_INT, header.width, "height", G_TYPE_INT,
      header.height, "bpp", G_TYPE_INT, static_cast<int>(header.bitCount), "framerate",
      GST_TYPE_FRACTION, 0, 1, "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1, "codec_data",
      GST_TYPE_BUFFER, codecData, nullptr);
  gst_buffer_unref(codecData);
  return caps;
}

GstCaps* ScreenDecoderSinkCaps() {
  GstCaps* caps = gst_caps_new_empty_simple(REELKIT_SCREEN_STREAM_CAPS);
  gst_caps_append(caps, gst_caps_new_simple("video/x-avi-unknown", "fourcc", G_TYPE_INT,
                                            static_cast<gint>(kFourCCScreenCodec), nullptr));
  return caps;
}

std::optional<BitmapFormat> StreamFormatOfCaps(const GstCaps* caps) {
  const GstStructure* structure = gst_caps_get_structure(caps, 0);
  if (!gst_structure_has_name(structure, REELKIT_SCREEN_STREAM_CAPS)) {
    return std::nullopt;
  }
  const GValue* value = gst_structure_get_value(structure, "codec_data");
  if (value == nullptr || !GST_VALUE_HOLDS_BUFFER(value)) {
    return std::nullopt;
  }
  GstBuffer* buffer = gst_value_get_buffer(value);
  GstMapInfo map;
  if (!gst_buffer_map(buffer, &map, GST_MAP_READ)) {
    return std::nullopt;
  }
  BitmapFormat format;
  const bool whole = map.size >= kBitmapInfoHeaderSize;
  if (whole) {
    format.Assign({map.data, map.size});
  }
  gst_buffer_unmap(buffer, &map);
  if (!whole) {
    return std::nullopt;
  }
  return format;
}

}  // namespace reelkit::gst
