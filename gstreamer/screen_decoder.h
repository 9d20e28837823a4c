#pragma once

#include <gst/gst.h>

// reelkitdec: decodes the screen stream into raw video, one picture a bundle, for the raw
// recordings' demuxer and for AVIs that carry the stream.
G_BEGIN_DECLS

GST_ELEMENT_REGISTER_DECLARE(reelkitdec);

G_END_DECLS
