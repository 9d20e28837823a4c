#include "tests/recorders/msvideo1_reference.h"

#include <cstring>
#include <stdexcept>

#include "recorders/picture_conversion.h"

namespace reelkit::testing {

CMsvideo1ReferenceEncoder::CMsvideo1ReferenceEncoder(int width, int height, int keyInterval)
    : context_(avcodec_alloc_context3(avcodec_find_encoder(AV_CODEC_ID_MSVIDEO1))),
      frame_(av_frame_alloc()),
      packet_(av_packet_alloc()) {
  if (!context_ || !frame_ || !packet_) {
    throw std::runtime_error("libavcodec's msvideo1 encoder is missing");
  }
  context_->width = width;
  context_->height = height;
  context_->pix_fmt = AV_PIX_FMT_RGB555LE;
  context_->time_base = {1, 10};
  context_->gop_size = keyInterval;
  context_->keyint_min = keyInterval;
  context_->flags |= AV_CODEC_FLAG_BITEXACT;
  frame_->format = AV_PIX_FMT_RGB555LE;
  frame_->width = width;
  frame_->height = height;
  if (avcodec_open2(context_.get(), nullptr, nullptr) < 0 ||
      av_frame_get_buffer(frame_.get(), 0) < 0) {
    throw std::runtime_error("libavcodec's msvideo1 encoder did not open");
  }
}

void CMsvideo1ReferenceEncoder::Load(std::span<const std::uint32_t> bottomUp) {
  const auto width = static_cast<std::size_t>(frame_->width);
  const auto height = static_cast<std::size_t>(frame_->height);
  if (bottomUp.size() != width * height) {
    throw std::invalid_argument("a picture of another size than the encoder's");
  }
  if (av_frame_make_writable(frame_.get()) < 0) {
    throw std::runtime_error("no writable frame");
  }
  for (std::size_t y = 0; y < height; ++y) {
    auto* row = reinterpret_cast<std::uint16_t*>(frame_->data[0] + static_cast<std::ptrdiff_t>(y) *
                                                                       frame_->linesize[0]);
    const std::uint32_t* source = bottomUp.data() + (height - 1 - y) * width;
    for (std::size_t x = 0; x < width; ++x) {
      row[x] = ToRgb555(source[x]);
    }
  }
}

void CMsvideo1ReferenceEncoder::Encode(Msvc1Frame& out) {
  frame_->pts = pts_++;
  if (avcodec_send_frame(context_.get(), frame_.get()) < 0 ||
      avcodec_receive_packet(context_.get(), packet_.get()) < 0) {
    throw std::runtime_error("libavcodec's msvideo1 encoder failed");
  }
  out.data.Assign(std::span<const std::uint8_t>(packet_->data, packet_->size));
  out.key = (packet_->flags & AV_PKT_FLAG_KEY) != 0;
  av_packet_unref(packet_.get());
}

CMsvideo1ReferenceDecoder::CMsvideo1ReferenceDecoder(int width, int height)
    : context_(avcodec_alloc_context3(avcodec_find_decoder(AV_CODEC_ID_MSVIDEO1))),
      frame_(av_frame_alloc()),
      packet_(av_packet_alloc()) {
  if (!context_ || !frame_ || !packet_) {
    throw std::runtime_error("libavcodec's msvideo1 decoder is missing");
  }
  context_->width = width;
  context_->height = height;
  context_->bits_per_coded_sample = 16;
  if (avcodec_open2(context_.get(), nullptr, nullptr) < 0) {
    throw std::runtime_error("libavcodec's msvideo1 decoder did not open");
  }
}

const std::vector<std::uint16_t>& CMsvideo1ReferenceDecoder::Decode(
    std::span<const std::uint8_t> coded) {
  if (av_new_packet(packet_.get(), static_cast<int>(coded.size())) < 0) {
    throw std::runtime_error("no packet");
  }
  std::memcpy(packet_->data, coded.data(), coded.size());
  const bool decoded = avcodec_send_packet(context_.get(), packet_.get()) >= 0 &&
                       avcodec_receive_frame(context_.get(), frame_.get()) >= 0;
  av_packet_unref(packet_.get());
  if (!decoded) {
    throw std::runtime_error("a coded picture did not decode");
  }
  const auto width = static_cast<std::size_t>(context_->width);
  const auto height = static_cast<std::size_t>(context_->height);
  picture_.resize(width * height);
  for (std::size_t y = 0; y < height; ++y) {
    const auto* row = reinterpret_cast<const std::uint16_t*>(
        frame_->data[0] + static_cast<std::ptrdiff_t>(y) * frame_->linesize[0]);
    std::uint16_t* out = picture_.data() + (height - 1 - y) * width;
    for (std::size_t x = 0; x < width; ++x) {
      out[x] = row[x] & 0x7FFF;
    }
  }
  av_frame_unref(frame_.get());
  return picture_;
}

}  // namespace reelkit::testing
