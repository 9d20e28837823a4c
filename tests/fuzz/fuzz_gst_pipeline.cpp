// The GStreamer plugin on arbitrary files: the plugin's demuxer and decoder, or for a RIFF file the
// AVI demuxer and the plugin's decoder, read and decode to the end. Every input must end in an
// error or the end of the stream within the time allowed. (decodebin is left out: it drops the
// errors of an element it is still plugging, the AVI demuxer's too, and the pipeline then waits.)
#include <gst/gst.h>

#include <cstring>

#include "gstreamer/plugin.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

constexpr GstClockTime kTimeAllowed = 60 * GST_SECOND;

void RegisterPluginOnce() {
  static const bool registered = [] {
    gst_init(nullptr, nullptr);
    return gst_plugin_register_static(GST_VERSION_MAJOR, GST_VERSION_MINOR, "reelkit",
                                      "the plugin, linked in", reelkit::gst::RegisterPluginFeatures,
                                      "0", "Proprietary", "reelkit", "reelkit", "fuzzing") != 0;
  }();
  if (!registered) {
    __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  RegisterPluginOnce();
  reelkit::fuzzing::MemoryFile file(data, size);
  const bool riff = size >= 4 && std::memcmp(data, "RIFF", 4) == 0;
  const std::string description = "filesrc location=" + file.Path() +
                                  (riff ? " ! avidemux" : " ! reelkitdemux") +
                                  " ! reelkitdec ! fakesink sync=false";
  GstElement* pipeline = gst_parse_launch(description.c_str(), nullptr);
  if (pipeline == nullptr) {
    __builtin_trap();
  }
  gst_element_set_state(pipeline, GST_STATE_PLAYING);
  GstBus* bus = gst_element_get_bus(pipeline);
  // An AVI stream the decoder does not take fails the link, which is a warning: nothing flows.
  const auto ended =
      static_cast<GstMessageType>(GST_MESSAGE_ERROR | GST_MESSAGE_EOS | GST_MESSAGE_WARNING);
  GstMessage* message = gst_bus_timed_pop_filtered(bus, kTimeAllowed, ended);
  if (message == nullptr) {
    __builtin_trap();  // neither an error nor the end: the pipeline hangs
  }
  gst_message_unref(message);
  gst_object_unref(bus);
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(pipeline);
  return 0;
}
