#pragma once

#include <gst/gst.h>

// Finds raw recordings by their content, as the converter and the desktop's file type do, so that
// decodebin and playbin choose the demuxer whatever the file is called.
G_BEGIN_DECLS

GST_TYPE_FIND_REGISTER_DECLARE(reelkit_recording);

G_END_DECLS
