#pragma once

#include <gst/gst.h>

// reelkitdemux: reads a raw recording from its sink pad in pull mode and puts out its screen
// stream, one bundle per picture, at the times the converter shows the pictures.
G_BEGIN_DECLS

GST_ELEMENT_REGISTER_DECLARE(reelkitdemux);

G_END_DECLS
