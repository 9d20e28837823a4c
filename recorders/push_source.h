#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <span>

#include "common/byte_block.h"
#include "common/manual_reset_event.h"
#include "recorders/frame_batch.h"
#include "recorders/source_stream.h"

namespace reelkit {

// What FinishStream does with frames the streaming thread has not taken yet.
enum class PendingFrame {
  Deliver,  // the stream is complete: they go out before end of stream
  Discard,  // the stream is abandoned
};

// The output pin of the push source. The recorder's thread hands frames over (DeliverFrame,
// FinishStream, WaitUntilReady, WaitForLoopEnd); the streaming thread turns each into one sample
// (FillBuffer). They meet through five manual-reset events: frame ready, frame taken, stop
// requested, stop acknowledged, loop ended. Only one hand-over is pending at a time.
//
// Copy mode: the picture is copied and DeliverFrame returns at once; 170 while the previous picture
// is still pending. The streaming thread takes the copy's storage as the sample's, not another
// copy. A spacer (kind 10, EMPT) repeats the picture before it: it is not copied at all, the
// sample keeps the last picture and goes downstream marked as a repeat.
//
// Pass-through mode: each frame (spacers most of all) is copied into a batch, and a full batch is
// handed over whole without waiting for the streaming thread to take it, unless the batch before
// is still pending; FinishStream hands over what is left. So the two threads meet once per batch,
// not once per frame. A frame too large to be copied twice is borrowed instead: the frames before
// it go first, and DeliverFrame waits for the streaming thread to copy it for as long as that
// thread is alive. When the thread has stopped, what is pending is withdrawn (result 5), so
// borrowed bytes are never read after DeliverFrame returns. A frame reports the status the
// streaming thread had when it took the last hand-over: a failure downstream reaches the caller a
// batch or two later, or through Status after the loop has ended.
class CPushPinBitmap : public CSourceStream {
 public:
  CPushPinBitmap();
  ~CPushPinBitmap() override;

  // Before the pin is connected: the pictures' format (header and palette; masks for 16 bits)
  // and the frame duration.
  void SetFrameFormat(std::span<const std::uint8_t> format,
                      const std::array<std::uint32_t, 3>& masks, Time frameDuration);

  std::uint32_t DeliverFrame(std::uint32_t kind, std::span<const std::uint8_t> picture, Time start,
                             Time stop, std::span<const std::uint8_t> packet, bool copyMode);
  std::uint32_t FinishStream(PendingFrame pending);
  // Copy mode, on the caller's thread: true when a frame of this kind would reuse the last picture
  // handed over rather than read its own (a spacer after the first picture).
  bool ReusesLastPicture(std::uint32_t kind) const;
  // Returns when no frame is pending or the stream is over.
  void WaitUntilReady();
  // Returns when the streaming loop has ended; at once when no streaming thread was started.
  void WaitForLoopEnd();
  bool StopRequested() const { return stopRequested_.IsSet(); }
  // 0, or the failure of a downstream delivery for good.
  std::uint32_t Status() const { return status_.load(); }

 protected:
  std::uint32_t FillBuffer(CMediaSampleBuffer& sample) override;
  std::uint32_t GetMediaType(VideoMediaType& type) override;
  std::uint32_t DecideBufferSize(AllocatorProperties& request) override;
  void OnStopCommand() override;
  void DoBufferProcessingLoop() override;

 private:
  struct Pending {
    TaggedFrame frame;
    bool repeat = false;  // copy mode: the sample already holds this picture
    bool batch = false;   // pass-through: the frames are those of pendingBatch_
  };

  std::uint32_t DeliverCopy(const TaggedFrame& frame);
  std::uint32_t DeliverPassThrough(const TaggedFrame& frame);
  // Hands over the frames not yet handed over, once the hand-over before has been taken. False
  // when the streaming thread has stopped and will take nothing more.
  bool HandOverBatch();
  std::uint32_t HandOverAlone(const TaggedFrame& frame);
  void Publish(const Pending& pending);
  // Returns when nothing is pending: true when the streaming thread took the last hand-over,
  // false when it stopped without taking it and the hand-over was withdrawn.
  bool AwaitTake();
  void TakePending(CMediaSampleBuffer& sample);
  void CopyPendingInto(CMediaSampleBuffer& sample);
  void ReleasePending();

  BitmapFormat format_;
  std::array<std::uint32_t, 3> masks_{};
  Time frameDuration_ = 0;

  // Guards the pending hand-over while it is filled in, taken or withdrawn.
  std::mutex pendingLock_;
  Pending pending_;
  ByteBlock pendingCopy_;
  CFrameBatch pendingBatch_;
  bool copyMode_ = false;
  bool deliverPendingOnStop_ = false;
  std::atomic<std::uint32_t> status_ = 0;
  // The status as the streaming thread took the last hand-over: what a pass-through frame reports,
  // so that it never depends on how far the thread has got since.
  std::uint32_t statusWhenTaken_ = 0;

  // The recorder's thread only.
  // Copy mode: a picture has been handed over, so the sample will hold the last one when the next
  // frame is taken.
  bool pictureHandedOver_ = false;
  CFrameBatch filling_;           // pass-through frames not yet handed over
  std::uint32_t statusSeen_ = 0;  // statusWhenTaken_ as of the last take the caller saw

  // The streaming thread only: the batch it is emitting, one frame per FillBuffer.
  CFrameBatch draining_;

  CEventGroup events_;
  CManualResetEvent frameReady_{events_};
  CManualResetEvent frameTaken_{events_};
  CManualResetEvent stopRequested_{events_};
  CManualResetEvent stopAcknowledged_{events_};
  CManualResetEvent loopEnded_{events_};
};

// The first filter of the recording pipeline: one output pin, fed by the recorder.
class CPushSourceBitmap {
 public:
  CPushSourceBitmap() = default;
  CPushSourceBitmap(const CPushSourceBitmap&) = delete;
  CPushSourceBitmap& operator=(const CPushSourceBitmap&) = delete;

  CPushPinBitmap& Pin() { return pin_; }

  void SetFrameFormat(std::span<const std::uint8_t> format,
                      const std::array<std::uint32_t, 3>& masks, Time frameDuration) {
    pin_.SetFrameFormat(format, masks, frameDuration);
  }
  std::uint32_t DeliverFrame(std::uint32_t kind, std::span<const std::uint8_t> picture, Time start,
                             Time stop, std::span<const std::uint8_t> packet, bool copyMode) {
    return pin_.DeliverFrame(kind, picture, start, stop, packet, copyMode);
  }
  std::uint32_t FinishStream(PendingFrame pending) { return pin_.FinishStream(pending); }

 private:
  CPushPinBitmap pin_;
};

}  // namespace reelkit
