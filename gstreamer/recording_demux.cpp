// The demuxer of raw recordings. Its sink pad works in pull mode only: the recording is walked
// once when the stream starts (for its length and its key images), then read bundle by bundle by
// the sink pad's task. A seek restarts the task at the last key image before the target; the
// decoder decodes forward from there and the pictures before the target fall outside the segment.
//
// Threads: the task's loop and the seek handler (holding the sink pad's stream lock while the
// task is paused) alone touch the reading state; queries read the duration under the object lock.
#include "gstreamer/recording_demux.h"

#include <memory>
#include <optional>

#include "common/endian.h"
#include "common/picture_rules.h"
#include "engine/failure_capture.h"
#include "gstreamer/failure_report.h"
#include "gstreamer/recording_playback.h"
#include "gstreamer/stream_caps.h"
#include "gstreamer/upstream_bytes.h"

GST_DEBUG_CATEGORY_STATIC(reelkit_demux_debug);
#define GST_CAT_DEFAULT reelkit_demux_debug

namespace reelkit::gst {
namespace {

GstClockTime ToClockTime(Time units) {
  return static_cast<GstClockTime>(units) * (GST_SECOND / kTimeUnitsPerSecond);
}

Time ToUnits(GstClockTime time) {
  return static_cast<Time>(time / (GST_SECOND / kTimeUnitsPerSecond));
}

// What the demuxer knows of the recording it reads. Made when the stream starts.
struct Reading {
  explicit Reading(GstPad* sinkPad) : upstream(sinkPad), stream(file) {}

  CUpstreamBytes upstream;
  InputFile file;
  BitmapFormat streamFormat;
  RecordingIndex index;
  CBundleStream stream;
  PlaybackBundle bundle;
};

}  // namespace

struct DemuxState {
  std::unique_ptr<Reading> reading;
  GstSegment segment;
  bool segmentPending = true;
  bool discont = true;
  guint32 seekSeqnum = GST_SEQNUM_INVALID;
  GstClockTime duration = GST_CLOCK_TIME_NONE;  // under the object lock
};

}  // namespace reelkit::gst

using reelkit::gst::DemuxState;

struct GstReelkitDemux {
  GstElement parent;
  GstPad* sinkPad;
  GstPad* srcPad;
  // GObject makes the instance as C memory: the C++ state is made in init and deleted in finalize.
  DemuxState* state;
};

struct GstReelkitDemuxClass {
  GstElementClass parentClass;
};

G_DEFINE_TYPE(GstReelkitDemux, gst_reelkit_demux, GST_TYPE_ELEMENT)
GST_ELEMENT_REGISTER_DEFINE(reelkitdemux, "reelkitdemux", GST_RANK_PRIMARY,
                            gst_reelkit_demux_get_type())

namespace reelkit::gst {
namespace {

GstStaticPadTemplate sinkTemplate = GST_STATIC_PAD_TEMPLATE(
    "sink", GST_PAD_SINK, GST_PAD_ALWAYS, GST_STATIC_CAPS(REELKIT_RECORDING_CAPS));
// A demuxer's stream pad appears once the stream is known: players and the discoverer take the
// element for a container by that.
GstStaticPadTemplate srcTemplate = GST_STATIC_PAD_TEMPLATE(
    "video_%u", GST_PAD_SRC, GST_PAD_SOMETIMES, GST_STATIC_CAPS(REELKIT_SCREEN_STREAM_CAPS));

GstReelkitDemux* DemuxOf(GstObject* object) {
  return reinterpret_cast<GstReelkitDemux*>(object);
}

GstElement* ElementOf(GstReelkitDemux* demux) {
  return &demux->parent;
}

// Events go out once the stream pad is there; a recording refused before it has nowhere to go.
void PushEvent(GstReelkitDemux* demux, GstEvent* event) {
  if (demux->srcPad == nullptr) {
    gst_event_unref(event);
    return;
  }
  if (demux->state->seekSeqnum != GST_SEQNUM_INVALID) {
    gst_event_set_seqnum(event, demux->state->seekSeqnum);
  }
  gst_pad_push_event(demux->srcPad, event);
}

gboolean SrcEvent(GstPad* pad, GstObject* parent, GstEvent* event);
gboolean SrcQuery(GstPad* pad, GstObject* parent, GstQuery* query);

void AddStreamPad(GstReelkitDemux* demux, GstCaps* caps) {
  GstPad* pad = gst_pad_new_from_static_template(&srcTemplate, "video_0");
  gst_pad_set_event_function(pad, SrcEvent);
  gst_pad_set_query_function(pad, SrcQuery);
  gst_pad_use_fixed_caps(pad);
  gst_pad_set_active(pad, TRUE);
  gchar* streamId = gst_pad_create_stream_id(pad, ElementOf(demux), nullptr);
  gst_pad_push_event(pad, gst_event_new_stream_start(streamId));
  g_free(streamId);
  gst_pad_push_event(pad, gst_event_new_caps(caps));
  gst_caps_unref(caps);
  demux->srcPad = pad;
  gst_element_add_pad(ElementOf(demux), pad);
  gst_element_no_more_pads(ElementOf(demux));
}

// Reads the header and walks the records; announces the stream. Runs on the task's first pass.
void OpenRecording(GstReelkitDemux* demux) {
  DemuxState& state = *demux->state;
  auto reading = std::make_unique<Reading>(demux->sinkPad);
  reading->file.Open(reading->upstream);
  const std::uint64_t recordsStart = ReadRecordingHeader(reading->file, reading->streamFormat);
  reading->index = IndexRecording(reading->file, recordsStart);
  reading->stream.ResumeAt(reading->index.first);
  const GstClockTime duration = ToClockTime(reading->index.end - reading->index.start);

  AddStreamPad(demux, ScreenStreamCaps(reading->streamFormat));
  GST_OBJECT_LOCK(demux);
  state.duration = duration;
  GST_OBJECT_UNLOCK(demux);
  state.segment.duration = duration;
  state.reading = std::move(reading);
  gst_element_post_message(ElementOf(demux),
                           gst_message_new_duration_changed(GST_OBJECT_CAST(demux)));
}

GstBuffer* BufferOf(const Reading& reading) {
  const PlaybackBundle& bundle = reading.bundle;
  GstBuffer* buffer = gst_buffer_new_memdup(bundle.bytes.data(), bundle.bytes.size());
  GST_BUFFER_PTS(buffer) = ToClockTime(bundle.frame.time - reading.index.start);
  GST_BUFFER_DTS(buffer) = GST_BUFFER_PTS(buffer);
  GST_BUFFER_DURATION(buffer) = ToClockTime(kPlaybackFrameDuration);
  if (!bundle.frame.isKey) {
    GST_BUFFER_FLAG_SET(buffer, GST_BUFFER_FLAG_DELTA_UNIT);
  }
  return buffer;
}

// One pass of the task: the next bundle downstream. Failures of the engine are posted here.
GstFlowReturn PushNextBundle(GstReelkitDemux* demux) {
  DemuxState& state = *demux->state;
  try {
    if (!state.reading) {
      OpenRecording(demux);
    }
    if (state.segmentPending) {
      PushEvent(demux, gst_event_new_segment(&state.segment));
      state.segmentPending = false;
    }
    Reading& reading = *state.reading;
    if (!reading.stream.Next(reading.bundle)) {
      return GST_FLOW_EOS;
    }
    GstBuffer* buffer = BufferOf(reading);
    const GstClockTime pts = GST_BUFFER_PTS(buffer);
    if (GST_CLOCK_TIME_IS_VALID(state.segment.stop) && pts >= state.segment.stop) {
      gst_buffer_unref(buffer);
      return GST_FLOW_EOS;
    }
    if (state.discont) {
      GST_BUFFER_FLAG_SET(buffer, GST_BUFFER_FLAG_DISCONT);
      state.discont = false;
    }
    state.segment.position = pts;
    return gst_pad_push(demux->srcPad, buffer);
  } catch (...) {
    if (state.reading && state.reading->upstream.WasFlushing()) {
      return GST_FLOW_FLUSHING;
    }
    PostFailure(ElementOf(demux), FailureOfCurrentException());
    return GST_FLOW_ERROR;
  }
}

void EndStream(GstReelkitDemux* demux, GstFlowReturn flow) {
  DemuxState& state = *demux->state;
  if (flow == GST_FLOW_EOS && (state.segment.flags & GST_SEGMENT_FLAG_SEGMENT) != 0) {
    const gint64 stop = GST_CLOCK_TIME_IS_VALID(state.segment.stop)
                            ? static_cast<gint64>(state.segment.stop)
                            : static_cast<gint64>(state.segment.duration);
    GstMessage* message =
        gst_message_new_segment_done(GST_OBJECT_CAST(demux), GST_FORMAT_TIME, stop);
    gst_message_set_seqnum(message, state.seekSeqnum);
    gst_element_post_message(ElementOf(demux), message);
    PushEvent(demux, gst_event_new_segment_done(GST_FORMAT_TIME, stop));
    return;
  }
  if (flow == GST_FLOW_NOT_LINKED || flow < GST_FLOW_EOS) {
    // The engine's failures are posted where they happen; the framework's are posted here.
    if (flow != GST_FLOW_ERROR) {
      GST_ELEMENT_FLOW_ERROR(demux, flow);
    }
  }
  PushEvent(demux, gst_event_new_eos());
}

void Loop(gpointer data) {
  auto* demux = DemuxOf(GST_OBJECT_PARENT(static_cast<GstPad*>(data)));
  const GstFlowReturn flow = PushNextBundle(demux);
  if (flow == GST_FLOW_OK) {
    return;
  }
  GST_DEBUG_OBJECT(demux, "pausing: %s", gst_flow_get_name(flow));
  gst_pad_pause_task(demux->sinkPad);
  if (flow != GST_FLOW_FLUSHING) {
    EndStream(demux, flow);
  }
}

// Where a seek to the segment's start begins reading; a key-unit seek starts the segment there.
const ResumePoint& PlaceSeek(const RecordingIndex& index, GstSegment& segment, GstSeekFlags flags) {
  const ResumePoint& point = index.PointFor(index.start + ToUnits(segment.start));
  if ((flags & GST_SEEK_FLAG_KEY_UNIT) != 0) {
    const GstClockTime keyTime = ToClockTime(point.time - index.start);
    segment.start = keyTime;
    segment.time = keyTime;
    segment.position = keyTime;
  }
  return point;
}

gboolean HandleSeek(GstReelkitDemux* demux, GstEvent* event) {
  gdouble rate = 1.0;
  GstFormat format = GST_FORMAT_UNDEFINED;
  GstSeekFlags flags = GST_SEEK_FLAG_NONE;
  GstSeekType startType = GST_SEEK_TYPE_NONE;
  GstSeekType stopType = GST_SEEK_TYPE_NONE;
  gint64 start = 0;
  gint64 stop = 0;
  gst_event_parse_seek(event, &rate, &format, &flags, &startType, &start, &stopType, &stop);
  if (format != GST_FORMAT_TIME || rate <= 0.0) {
    GST_DEBUG_OBJECT(demux, "only forward seeks in time are supported");
    return FALSE;
  }
  DemuxState& state = *demux->state;
  const guint32 seqnum = gst_event_get_seqnum(event);
  const bool flush = (flags & GST_SEEK_FLAG_FLUSH) != 0;
  if (flush) {
    GstEvent* flushStart = gst_event_new_flush_start();
    gst_event_set_seqnum(flushStart, seqnum);
    gst_pad_push_event(demux->sinkPad, gst_event_ref(flushStart));
    gst_pad_push_event(demux->srcPad, flushStart);
  } else {
    gst_pad_pause_task(demux->sinkPad);
  }
  GST_PAD_STREAM_LOCK(demux->sinkPad);
  if (flush) {
    GstEvent* flushStop = gst_event_new_flush_stop(TRUE);
    gst_event_set_seqnum(flushStop, seqnum);
    gst_pad_push_event(demux->sinkPad, gst_event_ref(flushStop));
    gst_pad_push_event(demux->srcPad, flushStop);
  }
  gboolean handled = TRUE;
  try {
    GstSegment segment = state.segment;
    gboolean update = FALSE;
    gst_segment_do_seek(&segment, rate, format, flags, startType, static_cast<guint64>(start),
                        stopType, static_cast<guint64>(stop), &update);
    Reading& reading = *state.reading;
    reading.upstream.DropBlock();
    reading.stream.ResumeAt(PlaceSeek(reading.index, segment, flags));
    state.segment = segment;
    state.segmentPending = true;
    state.discont = true;
    state.seekSeqnum = seqnum;
    if ((flags & GST_SEEK_FLAG_SEGMENT) != 0) {
      gst_element_post_message(
          ElementOf(demux), gst_message_new_segment_start(GST_OBJECT_CAST(demux), GST_FORMAT_TIME,
                                                          static_cast<gint64>(segment.start)));
    }
  } catch (...) {
    PostFailure(ElementOf(demux), FailureOfCurrentException());
    handled = FALSE;
  }
  gst_pad_start_task(demux->sinkPad, Loop, demux->sinkPad, nullptr);
  GST_PAD_STREAM_UNLOCK(demux->sinkPad);
  return handled;
}

gboolean SrcEvent(GstPad* pad, GstObject* parent, GstEvent* event) {
  if (GST_EVENT_TYPE(event) == GST_EVENT_SEEK) {
    const gboolean handled = HandleSeek(DemuxOf(parent), event);
    gst_event_unref(event);
    return handled;
  }
  return gst_pad_event_default(pad, parent, event);
}

gboolean SrcQuery(GstPad* pad, GstObject* parent, GstQuery* query) {
  GstReelkitDemux* demux = DemuxOf(parent);
  GstFormat format = GST_FORMAT_UNDEFINED;
  switch (GST_QUERY_TYPE(query)) {
    case GST_QUERY_DURATION: {
      gst_query_parse_duration(query, &format, nullptr);
      GST_OBJECT_LOCK(demux);
      const GstClockTime duration = demux->state->duration;
      GST_OBJECT_UNLOCK(demux);
      if (format != GST_FORMAT_TIME || !GST_CLOCK_TIME_IS_VALID(duration)) {
        return FALSE;
      }
      gst_query_set_duration(query, GST_FORMAT_TIME, static_cast<gint64>(duration));
      return TRUE;
    }
    case GST_QUERY_SEEKING: {
      gst_query_parse_seeking(query, &format, nullptr, nullptr, nullptr);
      if (format != GST_FORMAT_TIME) {
        return FALSE;
      }
      GST_OBJECT_LOCK(demux);
      const GstClockTime duration = demux->state->duration;
      GST_OBJECT_UNLOCK(demux);
      gst_query_set_seeking(query, GST_FORMAT_TIME, GST_CLOCK_TIME_IS_VALID(duration), 0,
                            GST_CLOCK_TIME_IS_VALID(duration) ? static_cast<gint64>(duration) : -1);
      return TRUE;
    }
    default:
      return gst_pad_query_default(pad, parent, query);
  }
}

gboolean SinkActivate(GstPad* pad, GstObject*) {
  GstQuery* query = gst_query_new_scheduling();
  const bool pull =
      gst_pad_peer_query(pad, query) && gst_query_has_scheduling_mode_with_flags(
                                            query, GST_PAD_MODE_PULL, GST_SCHEDULING_FLAG_SEEKABLE);
  gst_query_unref(query);
  return gst_pad_activate_mode(pad, pull ? GST_PAD_MODE_PULL : GST_PAD_MODE_PUSH, TRUE);
}

gboolean SinkActivateMode(GstPad* pad, GstObject* parent, GstPadMode mode, gboolean active) {
  GstReelkitDemux* demux = DemuxOf(parent);
  switch (mode) {
    case GST_PAD_MODE_PULL:
      if (!active) {
        return gst_pad_stop_task(pad);
      }
      demux->state->segmentPending = true;
      return gst_pad_start_task(pad, Loop, pad, nullptr);
    case GST_PAD_MODE_PUSH:
      return TRUE;
    default:
      return FALSE;
  }
}

// Only a source that reads at any position gives a recording's length and key images.
GstFlowReturn SinkChain(GstPad*, GstObject* parent, GstBuffer* buffer) {
  gst_buffer_unref(buffer);
  GST_ELEMENT_ERROR(DemuxOf(parent), STREAM, NOT_IMPLEMENTED,
                    ("A recording can only be played from a source that reads it at any "
                     "position, such as a file."),
                    ("the upstream element works in push mode only"));
  return GST_FLOW_ERROR;
}

void ResetState(DemuxState& state) {
  state.reading.reset();
  gst_segment_init(&state.segment, GST_FORMAT_TIME);
  state.segmentPending = true;
  state.discont = true;
  state.seekSeqnum = GST_SEQNUM_INVALID;
  state.duration = GST_CLOCK_TIME_NONE;
}

}  // namespace
}  // namespace reelkit::gst

using namespace reelkit::gst;

static GstStateChangeReturn gst_reelkit_demux_change_state(GstElement* element,
                                                           GstStateChange transition) {
  GstReelkitDemux* demux = DemuxOf(GST_OBJECT_CAST(element));
  const GstStateChangeReturn result =
      GST_ELEMENT_CLASS(gst_reelkit_demux_parent_class)->change_state(element, transition);
  if (transition == GST_STATE_CHANGE_PAUSED_TO_READY) {
    GST_OBJECT_LOCK(demux);
    ResetState(*demux->state);
    GST_OBJECT_UNLOCK(demux);
    if (demux->srcPad != nullptr) {
      gst_element_remove_pad(element, demux->srcPad);
      demux->srcPad = nullptr;
    }
  }
  return result;
}

static void gst_reelkit_demux_finalize(GObject* object) {
  delete DemuxOf(GST_OBJECT_CAST(object))->state;
  G_OBJECT_CLASS(gst_reelkit_demux_parent_class)->finalize(object);
}

static void gst_reelkit_demux_class_init(GstReelkitDemuxClass* klass) {
  GST_DEBUG_CATEGORY_INIT(reelkit_demux_debug, "reelkitdemux", 0, "raw recording demuxer");
  G_OBJECT_CLASS(klass)->finalize = gst_reelkit_demux_finalize;
  GstElementClass* elementClass = GST_ELEMENT_CLASS(klass);
  elementClass->change_state = gst_reelkit_demux_change_state;
  gst_element_class_add_static_pad_template(elementClass, &sinkTemplate);
  gst_element_class_add_static_pad_template(elementClass, &srcTemplate);
  gst_element_class_set_static_metadata(
      elementClass, "Screen recording demuxer", "Codec/Demuxer",
      "Reads remote-session screen recordings and puts out their screen stream",
      REELKIT_MAINTAINER);
}

static void gst_reelkit_demux_init(GstReelkitDemux* demux) {
  demux->state = new DemuxState;
  ResetState(*demux->state);
  demux->sinkPad = gst_pad_new_from_static_template(&sinkTemplate, "sink");
  gst_pad_set_activate_function(demux->sinkPad, SinkActivate);
  gst_pad_set_activatemode_function(demux->sinkPad, SinkActivateMode);
  gst_pad_set_chain_function(demux->sinkPad, SinkChain);
  gst_element_add_pad(ElementOf(demux), demux->sinkPad);
}
