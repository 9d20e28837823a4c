#include "tests/gstreamer/gst_pipeline.h"

#include <gst/app/gstappsink.h>
#include <gst/video/video.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

namespace reelkit::testing {
namespace {

struct Unref {
  void operator()(gpointer object) const { gst_object_unref(object); }
};
using ElementRef = std::unique_ptr<GstElement, Unref>;

struct SampleUnref {
  void operator()(GstSample* sample) const { gst_sample_unref(sample); }
};
using SampleRef = std::unique_ptr<GstSample, SampleUnref>;

// playbin with only its video, into an app sink that takes 32-bit pixels at once.
ElementRef MakePlaybin(const std::string& path) {
  GError* error = nullptr;
  gchar* uri = gst_filename_to_uri(path.c_str(), nullptr);
  const std::string description = std::string("playbin flags=video uri=") + uri +
                                  " audio-sink=fakesink video-sink=\"appsink name=pictures "
                                  "sync=false caps=video/x-raw,format=BGRx\"";
  g_free(uri);
  GstElement* element = gst_parse_launch(description.c_str(), &error);
  if (error != nullptr) {
    ADD_FAILURE() << error->message;
    g_error_free(error);
  }
  return ElementRef(element);
}

GstAppSink* SinkOf(GstElement* playbin) {
  GstElement* sink = nullptr;
  g_object_get(playbin, "video-sink", &sink, nullptr);
  gst_object_unref(sink);  // playbin keeps its own reference
  return GST_APP_SINK(sink);
}

ShownPicture PictureOf(GstSample* sample) {
  ShownPicture picture;
  GstVideoInfo info;
  gst_video_info_from_caps(&info, gst_sample_get_caps(sample));
  GstBuffer* buffer = gst_sample_get_buffer(sample);
  picture.pts = GST_BUFFER_PTS(buffer);
  picture.duration = GST_BUFFER_DURATION(buffer);
  picture.width = GST_VIDEO_INFO_WIDTH(&info);
  picture.height = GST_VIDEO_INFO_HEIGHT(&info);
  GstVideoFrame frame;
  if (!gst_video_frame_map(&frame, &info, buffer, GST_MAP_READ)) {
    ADD_FAILURE() << "cannot map a picture";
    return picture;
  }
  const auto* data = static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0));
  const int stride = GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0);
  for (int y = 0; y < picture.height; ++y) {
    for (int x = 0; x < picture.width; ++x) {
      const std::uint8_t* p = data + y * stride + x * 4;
      picture.pixels.push_back(std::uint32_t(p[2]) << 16 | std::uint32_t(p[1]) << 8 | p[0]);
    }
  }
  gst_video_frame_unmap(&frame);
  return picture;
}

std::string ErrorOn(GstBus* bus) {
  GstMessage* message = gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR);
  if (message == nullptr) {
    return {};
  }
  GError* error = nullptr;
  gst_message_parse_error(message, &error, nullptr);
  std::string text = error->message;
  g_error_free(error);
  gst_message_unref(message);
  return text;
}

}  // namespace

void UseBuiltPlugin() {
  const std::filesystem::path registry =
      std::filesystem::path(REELKIT_TEST_TMPDIR) / "gstreamer-registry.bin";
  std::filesystem::create_directories(registry.parent_path());
  setenv("GST_PLUGIN_PATH", REELKIT_GST_PLUGIN_DIR, 1);
  setenv("GST_REGISTRY", registry.c_str(), 1);
  gst_init(nullptr, nullptr);
  // A critical warning is a misused object (a buffer used after it went, say): it ends the test.
  g_log_set_always_fatal(static_cast<GLogLevelFlags>(G_LOG_FATAL_MASK | G_LOG_LEVEL_CRITICAL));
}

Playback PlayFile(const std::string& path, GstClockTime timeout) {
  Playback playback;
  ElementRef playbin = MakePlaybin(path);
  GstAppSink* sink = SinkOf(playbin.get());
  GstBus* bus = gst_element_get_bus(playbin.get());
  gst_element_set_state(playbin.get(), GST_STATE_PLAYING);
  const gint64 deadline = g_get_monotonic_time() + static_cast<gint64>(timeout / GST_USECOND);
  for (;;) {
    SampleRef sample(gst_app_sink_try_pull_sample(sink, 100 * GST_MSECOND));
    if (sample) {
      playback.pictures.push_back(PictureOf(sample.get()));
      continue;
    }
    playback.error = ErrorOn(bus);
    if (!playback.error.empty() || gst_app_sink_is_eos(sink)) {
      break;
    }
    if (g_get_monotonic_time() > deadline) {
      playback.timedOut = true;
      break;
    }
  }
  gst_element_set_state(playbin.get(), GST_STATE_NULL);
  gst_object_unref(bus);
  return playback;
}

std::vector<ShownPicture> PicturesAfterSeeks(const std::string& path,
                                             const std::vector<GstClockTime>& times) {
  std::vector<ShownPicture> pictures;
  ElementRef playbin = MakePlaybin(path);
  GstAppSink* sink = SinkOf(playbin.get());
  gst_element_set_state(playbin.get(), GST_STATE_PAUSED);
  gst_element_get_state(playbin.get(), nullptr, nullptr, 10 * GST_SECOND);
  for (const GstClockTime time : times) {
    const auto flags = static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE);
    EXPECT_TRUE(
        gst_element_seek_simple(playbin.get(), GST_FORMAT_TIME, flags, static_cast<gint64>(time)));
    gst_element_get_state(playbin.get(), nullptr, nullptr, 10 * GST_SECOND);
    SampleRef sample(gst_app_sink_try_pull_preroll(sink, 10 * GST_SECOND));
    pictures.push_back(sample ? PictureOf(sample.get()) : ShownPicture{});
  }
  gst_element_set_state(playbin.get(), GST_STATE_NULL);
  return pictures;
}

const ShownPicture* PictureAt(const std::vector<ShownPicture>& pictures, GstClockTime time) {
  const ShownPicture* shown = nullptr;
  for (const ShownPicture& picture : pictures) {
    if (picture.pts <= time) {
      shown = &picture;
    }
  }
  return shown;
}

}  // namespace reelkit::testing
