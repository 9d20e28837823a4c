#include "recorders/push_source.h"

#include <cstdlib>
#include <utility>

#include "common/packet_kind.h"
#include "recorders/result_codes.h"

namespace reelkit {

namespace {

constexpr std::uint32_t kFillEndOfStream = 1;

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
  const TaggedFrame frame{kind, packet, picture, start, stop};
  return copyMode ? DeliverCopy(frame) : DeliverPassThrough(frame);
}

std::uint32_t CPushPinBitmap::DeliverCopy(const TaggedFrame& frame) {
  if (frameReady_.IsSet()) {
    return kErrorBusy;
  }
  {
    std::lock_guard guard(pendingLock_);
    copyMode_ = true;
    pending_ = Pending{};
    pending_.repeat = ReusesLastPicture(frame.kind);
    if (!pending_.repeat) {
      pendingCopy_.Assign(frame.picture);
    }
    pending_.frame = frame;
    pending_.frame.picture = pendingCopy_.span();
    pictureHandedOver_ = true;
    frameTaken_.Reset();
  }
  // Signalled after the lock is released: the streaming thread that sees it takes the lock at once.
  frameReady_.Set();
  return status_;
}

std::uint32_t CPushPinBitmap::DeliverPassThrough(const TaggedFrame& frame) {
  // Only a running streaming thread will ever take the frame.
  if (!ThreadExists() || loopEnded_.IsSet()) {
    return kErrorAccessDenied;
  }
  if (frame.Size() > CFrameBatch::kLargestFrame) {
    return HandOverAlone(frame);
  }
  filling_.Append(frame);
  if (filling_.IsFull() && !HandOverBatch()) {
    return kErrorAccessDenied;
  }
  return statusSeen_;
}

bool CPushPinBitmap::HandOverBatch() {
  if (filling_.IsEmpty()) {
    return true;
  }
  if (!AwaitTake()) {
    filling_.Clear();
    return false;
  }
  Pending pending;
  pending.batch = true;
  {
    std::lock_guard guard(pendingLock_);
    std::swap(pendingBatch_, filling_);
  }
  filling_.Clear();
  Publish(pending);
  return true;
}

// One write to a slow disk may hold the streaming thread for seconds, and it will still take the
// frame afterwards: the caller waits for as long as the thread is alive.
std::uint32_t CPushPinBitmap::HandOverAlone(const TaggedFrame& frame) {
  if (!HandOverBatch() || !AwaitTake()) {
    return kErrorAccessDenied;
  }
  Pending pending;
  pending.frame = frame;
  Publish(pending);
  return AwaitTake() ? statusSeen_ : kErrorAccessDenied;
}

void CPushPinBitmap::Publish(const Pending& pending) {
  {
    std::lock_guard guard(pendingLock_);
    copyMode_ = false;
    pending_ = pending;
    frameTaken_.Reset();
  }
  frameReady_.Set();
}

// Only a thread that has stopped will never take what is pending; it is then withdrawn so that
// borrowed bytes are not read.
bool CPushPinBitmap::AwaitTake() {
  if (ThreadExists() && frameReady_.IsSet()) {
    CManualResetEvent::WaitAny({&frameTaken_, &loopEnded_});
  }
  std::lock_guard guard(pendingLock_);
  if (!frameReady_.IsSet()) {
    // The streaming thread wrote the status before it signalled, and writes nothing more until
    // the next hand-over.
    statusSeen_ = statusWhenTaken_;
    return true;
  }
  frameReady_.Reset();
  ReleasePending();
  return false;
}

bool CPushPinBitmap::ReusesLastPicture(std::uint32_t kind) const {
  return pictureHandedOver_ && kind == static_cast<std::uint32_t>(PacketKind::Empt);
}

std::uint32_t CPushPinBitmap::FillBuffer(CMediaSampleBuffer& sample) {
  const std::uint32_t failure = DeliveryFailure();
  if (status_ == 0 && failure != 0) {
    status_ = failure;
  }
  if (!draining_.IsEmpty()) {
    draining_.EmitNext(sample);
    return 0;
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
    TakePending(sample);
    statusWhenTaken_ = status_;
    ReleasePending();
    frameReady_.Reset();
    frameTaken_.Set();
    return 0;
  }
}

void CPushPinBitmap::TakePending(CMediaSampleBuffer& sample) {
  if (pending_.batch) {
    std::swap(draining_, pendingBatch_);
    draining_.EmitNext(sample);
    return;
  }
  CopyPendingInto(sample);
}

void CPushPinBitmap::CopyPendingInto(CMediaSampleBuffer& sample) {
  const TaggedFrame& frame = pending_.frame;
  sample.start = frame.start;
  sample.stop = frame.stop;
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
  frame.WriteTo(ResizeSample(sample, frame.Size()));
}

void CPushPinBitmap::ReleasePending() {
  pending_ = Pending{};
  pendingCopy_.Clear();
  pendingBatch_.Clear();
}

std::uint32_t CPushPinBitmap::FinishStream(PendingFrame pending) {
  if (!IsConnected()) {
    return kResultUnexpected;
  }
  if (ThreadExists()) {
    if (pending == PendingFrame::Deliver) {
      HandOverBatch();
    }
    {
      std::lock_guard guard(pendingLock_);
      deliverPendingOnStop_ = pending == PendingFrame::Deliver;
    }
    stopRequested_.Set();
    if (!stopAcknowledged_.IsSet()) {
      CManualResetEvent::WaitAny({&stopAcknowledged_, &loopEnded_});
    }
  }
  filling_.Clear();
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
  draining_.Clear();
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
