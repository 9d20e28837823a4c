// The GStreamer plugin on arbitrary files. A raw recording, or anything else, goes through the
// plugin's demuxer and decoder; a RIFF file's data chunks, as the engine's AVI reader finds them,
// go to the decoder one buffer each, as an AVI demuxer hands them over (the AVI demuxer itself is
// left out: its own faults are not the plugin's). Every input must end in an error or the end of
// the stream within the time allowed.
#include <gst/app/gstappsrc.h>
#include <gst/gst.h>

#include <cstring>
#include <vector>

#include "common/conversion_failure.h"
#include "common/fourcc.h"
#include "engine/avi_input_reader.h"
#include "gstreamer/plugin.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

constexpr GstClockTime kTimeAllowed = 60 * GST_SECOND;
using Chunks = std::vector<std::vector<std::uint8_t>>;

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

// The data chunks of the 'movi' lists, as far as the file holds whole ones.
Chunks DataChunks(const std::string& path) {
  using namespace reelkit;
  Chunks chunks;
  InputFile file;
  if (file.Open(path) != 0) {
    return chunks;
  }
  try {
    for (const MoviList& list : LocateMoviLists(file)) {
      file.SeekTo(list.offset);
      for (std::uint64_t consumed = 0; consumed < list.size;) {
        const ChunkHeader header = ReadMoviChunkHeader(file);
        std::vector<std::uint8_t> data(PaddedChunkSize(header.size));
        file.RequireAvailable(data.size());
        file.ReadExactly(data);
        consumed += 8 + data.size();
        if (IsDataChunk(header.id)) {
          data.resize(header.size);
          chunks.push_back(std::move(data));
        }
      }
    }
  } catch (const CReelkitException&) {
  }
  return chunks;
}

GstElement* ChunkPipeline(const Chunks& chunks) {
  const std::string description =
      "appsrc name=chunks format=time caps=video/x-avi-unknown,fourcc=(int)" +
      std::to_string(reelkit::kFourCCScreenCodec) + " ! reelkitdec ! fakesink sync=false";
  GstElement* pipeline = gst_parse_launch(description.c_str(), nullptr);
  if (pipeline == nullptr) {
    return nullptr;
  }
  GstElement* source = gst_bin_get_by_name(GST_BIN(pipeline), "chunks");
  GstClockTime time = 0;
  for (const auto& chunk : chunks) {
    GstBuffer* buffer = gst_buffer_new_memdup(chunk.data(), chunk.size());
    GST_BUFFER_PTS(buffer) = time;
    GST_BUFFER_DURATION(buffer) = GST_SECOND / 30;
    time += GST_SECOND / 30;
    gst_app_src_push_buffer(GST_APP_SRC(source), buffer);
  }
  gst_app_src_end_of_stream(GST_APP_SRC(source));
  gst_object_unref(source);
  return pipeline;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  RegisterPluginOnce();
  reelkit::fuzzing::MemoryFile file(data, size);
  const bool riff = size >= 4 && std::memcmp(data, "RIFF", 4) == 0;
  GstElement* pipeline =
      riff ? ChunkPipeline(DataChunks(file.Path()))
           : gst_parse_launch(("filesrc location=" + file.Path() +
                               " ! reelkitdemux ! reelkitdec ! fakesink sync=false")
                                  .c_str(),
                              nullptr);
  if (pipeline == nullptr) {
    __builtin_trap();
  }
  gst_element_set_state(pipeline, GST_STATE_PLAYING);
  GstBus* bus = gst_element_get_bus(pipeline);
  const auto ended = static_cast<GstMessageType>(GST_MESSAGE_ERROR | GST_MESSAGE_EOS);
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
