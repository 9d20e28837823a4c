#include "gstreamer/recording_typefind.h"

#include "common/endian.h"
#include "common/picture_rules.h"
#include "gstreamer/stream_caps.h"

namespace {

GstStaticCaps recordingCaps = GST_STATIC_CAPS(REELKIT_RECORDING_CAPS);

// The magic and a version the reader takes, in the first eight bytes.
void FindRecording(GstTypeFind* find, gpointer) {
  const guint8* head = gst_type_find_peek(find, 0, 8);
  if (head != nullptr && reelkit::LoadU32LE(head) == reelkit::kRawRecordingMagic &&
      reelkit::LoadU32LE(head + 4) <= 1) {
    gst_type_find_suggest(find, GST_TYPE_FIND_MAXIMUM, gst_static_caps_get(&recordingCaps));
  }
}

}  // namespace

GST_TYPE_FIND_REGISTER_DEFINE(reelkit_recording, REELKIT_RECORDING_CAPS, GST_RANK_PRIMARY,
                              FindRecording, "rcrec", gst_static_caps_get(&recordingCaps), nullptr,
                              nullptr)
