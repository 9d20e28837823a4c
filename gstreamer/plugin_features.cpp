#include "gstreamer/plugin.h"
#include "gstreamer/recording_demux.h"
#include "gstreamer/recording_typefind.h"
#include "gstreamer/screen_decoder.h"

namespace reelkit::gst {

gboolean RegisterPluginFeatures(GstPlugin* plugin) {
  const bool found = GST_TYPE_FIND_REGISTER(reelkit_recording, plugin);
  const bool demux = GST_ELEMENT_REGISTER(reelkitdemux, plugin);
  const bool decoder = GST_ELEMENT_REGISTER(reelkitdec, plugin);
  return found && demux && decoder;
}

}  // namespace reelkit::gst
