#include "gstreamer/upstream_bytes.h"

#include <cerrno>

namespace reelkit::gst {

std::uint64_t CUpstreamBytes::Size() {
  gint64 length = 0;
  if (!gst_pad_peer_query_duration(pad_, GST_FORMAT_BYTES, &length) || length < 0) {
    return 0;
  }
  return static_cast<std::uint64_t>(length);
}

void CUpstreamBytes::DropBlock() {
  if (block_ != nullptr) {
    gst_buffer_unref(block_);
    block_ = nullptr;
  }
}

int CUpstreamBytes::Pull(std::uint64_t offset, std::size_t size, GstBuffer*& buffer) {
  buffer = nullptr;
  lastFlow_ = gst_pad_pull_range(pad_, offset, static_cast<guint>(size), &buffer);
  if (lastFlow_ == GST_FLOW_EOS) {
    return 0;
  }
  if (lastFlow_ != GST_FLOW_OK) {
    return lastFlow_ == GST_FLOW_FLUSHING ? ECANCELED : EIO;
  }
  return 0;
}

int CUpstreamBytes::ReadAt(std::uint64_t offset, std::span<std::uint8_t> bytes, std::size_t& got) {
  got = 0;
  if (bytes.size() >= kBlockSize) {
    // Large reads (key images) go straight into the caller's bytes.
    GstBuffer* buffer = nullptr;
    if (const int error = Pull(offset, bytes.size(), buffer); error != 0 || buffer == nullptr) {
      return error;
    }
    got = gst_buffer_extract(buffer, 0, bytes.data(), bytes.size());
    gst_buffer_unref(buffer);
    return 0;
  }
  const bool inBlock = block_ != nullptr && offset >= blockOffset_ &&
                       offset + bytes.size() <= blockOffset_ + gst_buffer_get_size(block_);
  if (!inBlock) {
    DropBlock();
    if (const int error = Pull(offset, kBlockSize, block_); error != 0 || block_ == nullptr) {
      return error;
    }
    blockOffset_ = offset;
  }
  got = gst_buffer_extract(block_, offset - blockOffset_, bytes.data(), bytes.size());
  return 0;
}

}  // namespace reelkit::gst
