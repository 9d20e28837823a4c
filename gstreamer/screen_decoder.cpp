// The screen stream decoder, a GstVideoDecoder. Each input buffer is one bundle; each bundle that
// holds sub-packets makes one picture, cursor drawn, in the layout the engine's decoder writes
// (32-bit plain pixels, or 16-bit ones where the framework has their format). A picture goes out
// when the next one is decoded, lasting until then: idle time makes no repeated frames. Bundles
// without sub-packets (an AVI's empty spacer chunks) make nothing.
//
// After a flush, a stream from the recordings' demuxer starts over with a fresh decoder: its
// first bundle restores what a key image leaves as it was. An AVI's stream has no such bundle,
// so its decoder keeps the format and cursor it had.
//
// Threads: the base class calls every virtual method under its stream lock.
#include "gstreamer/screen_decoder.h"

#include <gst/video/video.h>

#include <memory>
#include <optional>

#include "common/conversion_failure.h"
#include "common/endian.h"
#include "common/packet_kind.h"
#include "decoder/avi_exception.h"
#include "decoder/screen_stream_decoder.h"
#include "engine/avi_input_reader.h"
#include "engine/failure_capture.h"
#include "engine/picture_decoding.h"
#include "gstreamer/failure_report.h"
#include "gstreamer/picture_output.h"
#include "gstreamer/stream_caps.h"

GST_DEBUG_CATEGORY_STATIC(reelkit_dec_debug);
#define GST_CAT_DEFAULT reelkit_dec_debug

namespace reelkit::gst {
namespace {

// The engine's decoder with the buffers it draws into, as a conversion holds them.
class CPictureDecoding {
 public:
  explicit CPictureDecoding(const BitmapFormat& streamFormat)
      : streamFormat_(streamFormat), outputFormat_(DecodedPictureFormat(streamFormat)) {
    try {
      decoder_.Initialize(streamFormat_, outputFormat_);
    } catch (const CAviException& failure) {
      ThrowDamagedScreenData(failure);
    }
    // A 32-bit picture of the stream's size, whatever the depth: a later depth change still
    // decodes whole pictures.
    const BitmapInfoHeader stream = streamFormat_.Header();
    frame_.ResizeZeroed(static_cast<std::size_t>(DibImageSize(stream.width, stream.height, 32)));
  }

  void Decode(std::span<const std::uint8_t> bundle) {
    try {
      decoder_.DecodePacket(streamFormat_, outputFormat_, bundle, frame_.span());
    } catch (const CAviException& failure) {
      ThrowDamagedScreenData(failure);
    }
  }

  const BitmapFormat& OutputFormat() const { return outputFormat_; }
  std::span<const std::uint8_t> Picture() const { return frame_.span(); }

 private:
  BitmapFormat streamFormat_;
  BitmapFormat outputFormat_;
  CScreenStreamDecoder decoder_;
  ByteBlock frame_;
};

GstVideoFormat VideoFormatOf(RawFormat format) {
  switch (format) {
    case RawFormat::Rgb16:
      return GST_VIDEO_FORMAT_RGB16;
    case RawFormat::Bgr16:
      return GST_VIDEO_FORMAT_BGR16;
    case RawFormat::Rgb15:
      return GST_VIDEO_FORMAT_RGB15;
    case RawFormat::Bgr15:
      return GST_VIDEO_FORMAT_BGR15;
    case RawFormat::Bgrx:
      break;
  }
  return GST_VIDEO_FORMAT_BGRx;
}

// True when a buffer holds a bundle with anything in it to decode.
bool HoldsSubPackets(std::span<const std::uint8_t> bundle) {
  if (bundle.size() <= 4) {
    return false;
  }
  const PacketKind kind = PacketKindOfFourCC(LoadU32LE(bundle.data()));
  return kind == PacketKind::Kbnd || kind == PacketKind::Bndl;
}

}  // namespace

struct DecoderState {
  // The stream's format from the caps; nothing when the first bundle announces it.
  std::optional<BitmapFormat> capsFormat;
  // The format taken for the stream, once known.
  std::optional<BitmapFormat> streamFormat;
  std::unique_ptr<CPictureDecoding> decoding;
  std::optional<PictureLayout> layout;  // of the negotiated output
  GstVideoCodecState* inputState = nullptr;
  // The decoded picture waiting for the next one to know how long it lasts.
  GstVideoCodecFrame* held = nullptr;
};

}  // namespace reelkit::gst

using reelkit::gst::DecoderState;

struct GstReelkitDec {
  GstVideoDecoder parent;
  // GObject makes the instance as C memory: the C++ state is made in init and deleted in finalize.
  DecoderState* state;
};

struct GstReelkitDecClass {
  GstVideoDecoderClass parentClass;
};

G_DEFINE_TYPE(GstReelkitDec, gst_reelkit_dec, GST_TYPE_VIDEO_DECODER)
GST_ELEMENT_REGISTER_DEFINE(reelkitdec, "reelkitdec", GST_RANK_PRIMARY, gst_reelkit_dec_get_type())

namespace reelkit::gst {
namespace {

GstStaticPadTemplate srcTemplate = GST_STATIC_PAD_TEMPLATE(
    "src", GST_PAD_SRC, GST_PAD_ALWAYS,
    GST_STATIC_CAPS(GST_VIDEO_CAPS_MAKE("{ BGRx, RGB16, BGR16, RGB15, BGR15 }")));

GstReelkitDec* DecOf(GstVideoDecoder* decoder) {
  return reinterpret_cast<GstReelkitDec*>(decoder);
}

DecoderState& StateOf(GstVideoDecoder* decoder) {
  return *DecOf(decoder)->state;
}

void DropHeld(DecoderState& state) {
  if (state.held != nullptr) {
    gst_video_codec_frame_unref(state.held);
    state.held = nullptr;
  }
}

// When a frame is shown: an AVI demuxer stamps only the decoding time of most chunks, which is
// the same for a stream without reordering.
GstClockTime ShownAt(const GstVideoCodecFrame* frame) {
  return GST_CLOCK_TIME_IS_VALID(frame->pts) ? frame->pts : frame->dts;
}

// Sends the held picture on, lasting until next when that is known.
GstFlowReturn FinishHeld(GstVideoDecoder* decoder, GstClockTime next) {
  DecoderState& state = StateOf(decoder);
  GstVideoCodecFrame* held = state.held;
  if (held == nullptr) {
    return GST_FLOW_OK;
  }
  state.held = nullptr;
  held->pts = ShownAt(held);
  if (GST_CLOCK_TIME_IS_VALID(next) && GST_CLOCK_TIME_IS_VALID(held->pts) && next > held->pts) {
    held->duration = next - held->pts;
  }
  return gst_video_decoder_finish_frame(decoder, held);
}

// The stream's format: from the caps, or announced by the AVI's first chunk as a conversion of an
// AVI takes it.
BitmapFormat StreamFormatFor(const DecoderState& state, std::span<const std::uint8_t> bundle) {
  if (state.capsFormat) {
    return *state.capsFormat;
  }
  if (!IsValidFirstChunk(bundle)) {
    throw CReelkitException(ConvertErrorKind::InvalidInputFormat);
  }
  return StreamFormatOfFirstChunk(bundle);
}

bool NegotiateLayout(GstVideoDecoder* decoder, const PictureLayout& layout) {
  DecoderState& state = StateOf(decoder);
  if (state.layout == layout) {
    return true;
  }
  GstVideoCodecState* output = gst_video_decoder_set_output_state(
      decoder, VideoFormatOf(layout.format), layout.width, layout.height, state.inputState);
  // Pictures last until the next one: the stream has no fixed rate.
  GST_VIDEO_INFO_FPS_N(&output->info) = 0;
  GST_VIDEO_INFO_FPS_D(&output->info) = 1;
  gst_video_colorimetry_from_string(&GST_VIDEO_INFO_COLORIMETRY(&output->info),
                                    GST_VIDEO_COLORIMETRY_SRGB);
  gst_video_codec_state_unref(output);
  if (!gst_video_decoder_negotiate(decoder)) {
    state.layout.reset();
    return false;
  }
  state.layout = layout;
  return true;
}

GstFlowReturn WritePicture(GstVideoDecoder* decoder, GstVideoCodecFrame* frame) {
  DecoderState& state = StateOf(decoder);
  const std::optional<PictureLayout> layout = LayoutOfPictures(state.decoding->OutputFormat());
  if (!layout) {
    throw CReelkitException(ConvertErrorKind::ReadInputFailed,
                            FailureCode::Fixed(kErrorInvalidData));
  }
  if (!NegotiateLayout(decoder, *layout)) {
    return GST_FLOW_NOT_NEGOTIATED;
  }
  if (const GstFlowReturn flow = gst_video_decoder_allocate_output_frame(decoder, frame);
      flow != GST_FLOW_OK) {
    return flow;
  }
  GstVideoCodecState* output = gst_video_decoder_get_output_state(decoder);
  GstVideoFrame picture;
  const bool mapped =
      gst_video_frame_map(&picture, &output->info, frame->output_buffer, GST_MAP_WRITE);
  gst_video_codec_state_unref(output);
  if (!mapped) {
    return GST_FLOW_ERROR;
  }
  CopyPicture(state.decoding->Picture(), *layout,
              static_cast<std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&picture, 0)),
              static_cast<std::size_t>(GST_VIDEO_FRAME_PLANE_STRIDE(&picture, 0)));
  gst_video_frame_unmap(&picture);
  return GST_FLOW_OK;
}

GstFlowReturn DecodeFrame(GstVideoDecoder* decoder, GstVideoCodecFrame* frame,
                          std::span<const std::uint8_t> bundle) {
  DecoderState& state = StateOf(decoder);
  if (!HoldsSubPackets(bundle)) {
    gst_video_decoder_release_frame(decoder, frame);
    return GST_FLOW_OK;
  }
  if (!state.decoding) {
    if (!state.streamFormat) {
      state.streamFormat = StreamFormatFor(state, bundle);
    }
    state.decoding = std::make_unique<CPictureDecoding>(*state.streamFormat);
  }
  state.decoding->Decode(bundle);
  if (const GstFlowReturn flow = WritePicture(decoder, frame); flow != GST_FLOW_OK) {
    gst_video_decoder_drop_frame(decoder, frame);
    return flow;
  }
  const GstFlowReturn flow = FinishHeld(decoder, ShownAt(frame));
  state.held = frame;
  return flow;
}

}  // namespace
}  // namespace reelkit::gst

using namespace reelkit::gst;

static gboolean gst_reelkit_dec_set_format(GstVideoDecoder* decoder, GstVideoCodecState* input) {
  DecoderState& state = StateOf(decoder);
  if (state.inputState != nullptr) {
    gst_video_codec_state_unref(state.inputState);
  }
  state.inputState = gst_video_codec_state_ref(input);
  state.capsFormat = StreamFormatOfCaps(input->caps);
  state.streamFormat.reset();
  state.decoding.reset();
  return TRUE;
}

static GstFlowReturn gst_reelkit_dec_handle_frame(GstVideoDecoder* decoder,
                                                  GstVideoCodecFrame* frame) {
  // Finishing, dropping or releasing the frame may free it with its buffer: the bundle is mapped
  // through a reference of its own.
  GstBuffer* input = gst_buffer_ref(frame->input_buffer);
  GstMapInfo map;
  if (!gst_buffer_map(input, &map, GST_MAP_READ)) {
    gst_buffer_unref(input);
    gst_video_decoder_drop_frame(decoder, frame);
    return GST_FLOW_ERROR;
  }
  GstFlowReturn flow = GST_FLOW_ERROR;
  try {
    flow = DecodeFrame(decoder, frame, {map.data, map.size});
  } catch (...) {
    PostFailure(GST_ELEMENT_CAST(decoder), reelkit::FailureOfCurrentException());
    gst_video_decoder_drop_frame(decoder, frame);
  }
  gst_buffer_unmap(input, &map);
  gst_buffer_unref(input);
  return flow;
}

static GstFlowReturn gst_reelkit_dec_finish(GstVideoDecoder* decoder) {
  return FinishHeld(decoder, GST_CLOCK_TIME_NONE);
}

static gboolean gst_reelkit_dec_flush(GstVideoDecoder* decoder) {
  DecoderState& state = StateOf(decoder);
  DropHeld(state);
  if (state.capsFormat) {
    state.decoding.reset();
  }
  return TRUE;
}

static gboolean gst_reelkit_dec_stop(GstVideoDecoder* decoder) {
  DecoderState& state = StateOf(decoder);
  DropHeld(state);
  state.decoding.reset();
  state.streamFormat.reset();
  state.capsFormat.reset();
  state.layout.reset();
  if (state.inputState != nullptr) {
    gst_video_codec_state_unref(state.inputState);
    state.inputState = nullptr;
  }
  return TRUE;
}

static void gst_reelkit_dec_finalize(GObject* object) {
  delete DecOf(reinterpret_cast<GstVideoDecoder*>(object))->state;
  G_OBJECT_CLASS(gst_reelkit_dec_parent_class)->finalize(object);
}

static void gst_reelkit_dec_class_init(GstReelkitDecClass* klass) {
  GST_DEBUG_CATEGORY_INIT(reelkit_dec_debug, "reelkitdec", 0, "screen stream decoder");
  G_OBJECT_CLASS(klass)->finalize = gst_reelkit_dec_finalize;
  GstElementClass* elementClass = GST_ELEMENT_CLASS(klass);
  GstCaps* sinkCaps = ScreenDecoderSinkCaps();
  gst_element_class_add_pad_template(
      elementClass, gst_pad_template_new("sink", GST_PAD_SINK, GST_PAD_ALWAYS, sinkCaps));
  gst_caps_unref(sinkCaps);
  gst_element_class_add_static_pad_template(elementClass, &srcTemplate);
  gst_element_class_set_static_metadata(
      elementClass, "Screen stream decoder", "Codec/Decoder/Video",
      "Decodes the screen stream of remote-session recordings", REELKIT_MAINTAINER);
  GstVideoDecoderClass* decoderClass = GST_VIDEO_DECODER_CLASS(klass);
  decoderClass->set_format = gst_reelkit_dec_set_format;
  decoderClass->handle_frame = gst_reelkit_dec_handle_frame;
  decoderClass->finish = gst_reelkit_dec_finish;
  decoderClass->drain = gst_reelkit_dec_finish;
  decoderClass->flush = gst_reelkit_dec_flush;
  decoderClass->stop = gst_reelkit_dec_stop;
}

static void gst_reelkit_dec_init(GstReelkitDec* dec) {
  dec->state = new DecoderState;
  GstVideoDecoder* decoder = &dec->parent;
  gst_video_decoder_set_packetized(decoder, TRUE);
  gst_video_decoder_set_needs_format(decoder, TRUE);
}
