#pragma once

#include <gst/gst.h>

#include <optional>

#include "common/bitmap_format.h"

// The media types the plugin's elements meet, as GStreamer caps.
namespace reelkit::gst {

// A raw recording, found by its content; the desktop's name for the file type is the same.
#define REELKIT_RECORDING_CAPS "video/x-reelkit-recording"
// The screen stream, one bundle a buffer. codec_data holds the stream's bitmap format block
// (header, then masks or colour table) as the recording declares it.
#define REELKIT_SCREEN_STREAM_CAPS "video/x-vqsc"

// The screen stream of a recording of this format: its size and depth, and the format block.
GstCaps* ScreenStreamCaps(const BitmapFormat& streamFormat);

// What the decoder accepts: the screen stream as the demuxer puts it out, and as an AVI
// demuxer hands over a stream whose FourCC it does not know.
GstCaps* ScreenDecoderSinkCaps();

// The stream format the caps carry; nothing for caps without one (an AVI's stream, whose format
// is announced by its first chunk).
std::optional<BitmapFormat> StreamFormatOfCaps(const GstCaps* caps);

}  // namespace reelkit::gst
