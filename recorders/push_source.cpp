#include "recorders/push_source.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "common/endian.h"
#include "common/packet_kind.h"
#include "recorders/result_codes.h"

namespace reelkit {

namespace {

constexpr std::uint32_t kFillEndOfStream = 1;
constexpr std::size_t kTagSize = 4;

}  // namespace

CPushPinBitmap::CPushPinBitmap() = default;

CPushPinBitmap::~CPushPinBitmap() {
  if (ThreadExists()) {
    FinishStream(PendingFrame::Discard);
  }
  Inactive();
}

void CPushPinBitmap::SetFrameFormat(std::span<const std::uint8_t> format,
                                    const std::array<std::uint32_t, 3>& masks, Time frameDuration) {
  format_.Assign(format);
  masks_ = masks;
  frameDuration_ = frameDuration;
  stopAcknowledged_.Reset();
}

std::uint32_t CPushPinBitmap::DeliverFrame(std::uint32_t kind,
                                           std::span<const std::uint8_t> picture, Time start,
                                           Time stop, std::span<const std::uint8_t> packet,
                                           bool copyMode) {
  if (!IsConnected()) {
    return kResultUnexpected;
  }
  // A stream that ended on a failure takes nothing more; its frame would wait for good.
  if (loopEnded_.IsSet() && status_ != 0) {
    return status_;
  }
  if (copyMode && frameReady_.IsSet()) {
    return kErrorBusy;
  }
  {
    std::lock_guard guard(pendingLock_);
    copyMode_ = copyMode;
    pending_.packet = packet;
    pending_.repeat = false;
    if (copyMode) {
      pending_.repeat = ReusesLastPicture(kind);
      if (!pending_.repeat) {
        pendingCopy_.Assign(picture);
      }
      pending_.picture = pendingCopy_.span();
      pictureHandedOver_ = true;
    } else {
      pending_.picture = picture;
    }
    pending_.start = start;
    pending_.stop = stop;
    pending_.kind = kind;
    frameTaken_.Reset();
  }
  // Signalled after the lock is released: the streaming thread that sees it takes the lock at once.
  frameReady_.Set();
  if (copyMode) {
    return status_;
  }
  return WaitUntilTaken();
}

// One write to a slow disk may hold the streaming thread for seconds, and it will still take the
// frame afterwards: the caller waits for as long as the thread is alive. Only a thread that has
// stopped will never take it; the frame is then withdrawn so its borrowed bytes are not read.
std::uint32_t CPushPinBitmap::WaitUntilTaken() {
  if (ThreadExists()) {
    CManualResetEvent::WaitAny({&frameTaken_, &loopEnded_});
  }
  std::lock_guard guard(pendingLock_);
  if (frameTaken_.IsSet()) {
    // The streaming thread wrote the status before it signalled, and writes nothing more until
    // the next frame.
    frameTaken_.Reset();
    return statusWhenTaken_;
  }
  frameReady_.Reset();
  ReleasePending();
  return kErrorAccessDenied;
}

bool CPushPinBitmap::ReusesLastPicture(std::uint32_t kind) const {
  return pictureHandedOver_ && kind == static_cast<std::uint32_t>(PacketKind::Empt);
}

std::uint32_t CPushPinBitmap::FillBuffer(CMediaSampleBuffer& sample) {
  const std::uint32_t failure = DeliveryFailure();
  if (status_ == 0 && failure != 0) {
    status_ = failure;
  }
  for (;;) {
    CManualResetEvent::WaitAny({&frameReady_, &stopRequested_});
    std::lock_guard guard(pendingLock_);
    const bool ready = frameReady_.IsSet();
    if (stopRequested_.IsSet() && !(ready && deliverPendingOnStop_)) {
      stopAcknowledged_.Set();
      return kFillEndOfStream;
    }
    if (!ready) {
      continue;  // withdrawn before it was taken
    }
    CopyPendingInto(sample);
    statusWhenTaken_ = status_;
    ReleasePending();
    frameReady_.Reset();
    frameTaken_.Set();
    return 0;
  }
}

void CPushPinBitmap::CopyPendingInto(CMediaSampleBuffer& sample) {
  sample.start = pending_.start;
  sample.stop = pending_.stop;
  sample.syncPoint = true;
  if (copyMode_) {
    // The pending copy already holds the whole sample: its storage becomes the sample's, and the
    // sample's old storage takes the next pending copy, so a picture is copied once, not twice.
    if (!pending_.repeat) {
      std::swap(sample.buffer, pendingCopy_);
    }
    sample.actualLength = sample.buffer.size();
    sample.repeatsPrevious = pending_.repeat;
    return;
  }
  const std::uint32_t tag = FourCCOfPacketKind(static_cast<PacketKind>(pending_.kind));
  const std::size_t tagSize = pending_.kind != 0 ? kTagSize : 0;
  const std::size_t packetSize = pending_.packet.size();
  const std::size_t total = tagSize + packetSize + pending_.picture.size();
  // A sample that does not fit would lose the end of a bundle and break every later picture, so the
  // buffer grows instead.
  if (sample.buffer.size() < total) {
    sample.buffer.ResizeForOverwrite(total);
  }
  std::uint8_t* out = sample.buffer.data();
  if (tagSize != 0) {
    StoreU32LE(out, tag);
  }
  std::copy_n(pending_.packet.data(), packetSize, out + tagSize);
  std::copy(pending_.picture.begin(), pending_.picture.end(), out + tagSize + packetSize);
  sample.actualLength = total;
}

void CPushPinBitmap::ReleasePending() {
  pending_ = Pending{};
  pendingCopy_.Clear();
}

std::uint32_t CPushPinBitmap::FinishStream(PendingFrame pending) {
  if (!IsConnected()) {
    return kResultUnexpected;
  }
  if (ThreadExists()) {
    {
      std::lock_guard guard(pendingLock_);
      deliverPendingOnStop_ = pending == PendingFrame::Deliver;
    }
    stopRequested_.Set();
    if (!stopAcknowledged_.IsSet()) {
      CManualResetEvent::WaitAny({&stopAcknowledged_, &loopEnded_});
    }
  }
  std::lock_guard guard(pendingLock_);
  if (frameReady_.IsSet()) {
    frameReady_.Reset();
    ReleasePending();
  }
  return 0;
}

void CPushPinBitmap::WaitUntilReady() {
  if (!ThreadExists() || !frameReady_.IsSet()) {
    return;
  }
  CManualResetEvent::WaitAny({&frameTaken_, &stopAcknowledged_, &loopEnded_});
}

void CPushPinBitmap::WaitForLoopEnd() {
  if (ThreadExists()) {
    loopEnded_.Wait();
  }
}

void CPushPinBitmap::OnStopCommand() {
  stopRequested_.Set();
}

void CPushPinBitmap::DoBufferProcessingLoop() {
  loopEnded_.Reset();
  RunBufferProcessingLoop();
  if (status_ == 0) {
    status_ = DeliveryFailure();
  }
  loopEnded_.Set();
}

std::uint32_t CPushPinBitmap::GetMediaType(VideoMediaType& type) {
  const BitmapInfoHeader header = format_.Header();
  if (header.compression != kCompressionRgb) {
    return kResultFail;
  }
  type.format = format_;
  type.averageTimePerFrame = frameDuration_;
  type.masks = masks_;
  type.fixedSampleSize = header.sizeImage;
  return 0;
}

std::uint32_t CPushPinBitmap::DecideBufferSize(AllocatorProperties& request) {
  if (request.bufferCount == 0) {
    request.bufferCount = 1;
  }
  const BitmapInfoHeader header = format_.Header();
  request.bufferSize = header.sizeImage;
  if (request.bufferSize <= 0) {
    request.bufferSize =
        std::llabs(static_cast<std::int64_t>(header.width) * header.height) * 8 + 64;
  }
  return 0;
}

}  // namespace reelkit
