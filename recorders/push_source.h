#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <span>

#include "common/byte_block.h"
#include "common/manual_reset_event.h"
#include "recorders/source_stream.h"

namespace reelkit {

// What FinishStream does with a frame the streaming thread has not taken yet.
enum class PendingFrame {
  Deliver,  // the stream is complete: the last frame goes out before end of stream
  Discard,  // the stream is abandoned
};

// The output pin of the push source. The recorder's thread hands over one frame at a time
// (DeliverFrame); the streaming thread turns it into one sample (FillBuffer). They meet through
// five manual-reset events: frame ready, frame taken, stop requested, stop acknowledged, loop
// ended.
//
// Copy mode: the picture is copied and DeliverFrame returns at once; 170 while the previous picture
// is still pending. The streaming thread takes the copy's storage as the sample's, not another
// copy. A spacer (kind 10, EMPT) repeats the picture before it: it is not copied at all, the
// sample keeps the last picture and goes downstream marked as a repeat. Pass-through mode: picture
// and packet are borrowed, and DeliverFrame waits for the streaming thread to copy them for as
// long as that thread is alive; when it has stopped, the frame is withdrawn (result 5), so the
// borrowed bytes are never read after DeliverFrame returns.
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
    std::uint32_t kind = 0;
    std::span<const std::uint8_t> picture;
    std::span<const std::uint8_t> packet;
    Time start = 0;
    Time stop = 0;
    bool repeat = false;  // copy mode: the sample already holds this picture
  };

  std::uint32_t WaitUntilTaken();
  void CopyPendingInto(CMediaSampleBuffer& sample);
  void ReleasePending();

  BitmapFormat format_;
  std::array<std::uint32_t, 3> masks_{};
  Time frameDuration_ = 0;

  std::mutex pendingLock_;  // guards the pending frame while it is filled in, copied or withdrawn
  Pending pending_;
  ByteBlock pendingCopy_;
  bool copyMode_ = false;
  // Copy mode, on the caller's side: a picture has been handed over, so the sample will hold the
  // last one when the next frame is taken.
  bool pictureHandedOver_ = false;
  bool deliverPendingOnStop_ = false;
  std::atomic<std::uint32_t> status_ = 0;
  // The status as the streaming thread took the last frame: what a pass-through hand-over reports,
  // so that it never depends on how far the thread has got since.
  std::uint32_t statusWhenTaken_ = 0;

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
