// The entry point GStreamer looks for in the installed plugin.
#include "gstreamer/plugin.h"

static gboolean PluginInit(GstPlugin* plugin) {
  return reelkit::gst::RegisterPluginFeatures(plugin);
}

GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, reelkit,
                  "Plays remote-session screen recordings as videos", PluginInit, REELKIT_VERSION,
                  "Proprietary", REELKIT_PACKAGE_NAME, REELKIT_HOMEPAGE)
