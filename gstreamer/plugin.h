#pragma once

#include <gst/gst.h>

namespace reelkit::gst {

// Registers the type finder and both elements with the plugin; what the installed plugin's entry
// point calls, and what a program that links the elements itself registers them with.
gboolean RegisterPluginFeatures(GstPlugin* plugin);

}  // namespace reelkit::gst
