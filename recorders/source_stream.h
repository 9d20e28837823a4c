#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

#include "common/byte_block.h"
#include "recorders/media_types.h"

namespace reelkit {

// A sample being filled by a source: its buffer, the bytes written, times and key flag.
struct CMediaSampleBuffer {
  ByteBlock buffer;  // its size is the capacity
  std::size_t actualLength = 0;
  Time start = 0;
  Time stop = 0;
  bool syncPoint = false;
  bool repeatsPrevious = false;  // the buffer still holds the last sample's bytes, unchanged
};

// What the source asks of the allocator: how many buffers of what size.
struct AllocatorProperties {
  int bufferCount = 0;
  std::int64_t bufferSize = 0;
};

// The framework of a source's output pin: negotiates the type with the receiving pin, and while
// active runs one streaming thread that takes an empty sample, has the derived pin fill it and
// delivers it downstream.
//
// Threads: Connect, Active and Inactive from the graph's thread; FillBuffer and the loop on the
// streaming thread.
class CSourceStream {
 public:
  CSourceStream() = default;
  virtual ~CSourceStream();
  CSourceStream(const CSourceStream&) = delete;
  CSourceStream& operator=(const CSourceStream&) = delete;

  // Agrees on the type the derived pin offers and sizes the sample buffer. 0 or a failure code.
  std::uint32_t Connect(IInputPin& receiver);
  bool IsConnected() const { return receiver_ != nullptr; }
  const VideoMediaType& ConnectedType() const { return connectedType_; }
  // The size of the sample buffer as negotiated; it grows while streaming when a sample needs it.
  std::size_t SampleCapacity() const { return sample_.buffer.size(); }

  // Starts the streaming thread (the graph runs). 0, or the system's failure to make the thread,
  // which leaves no thread behind.
  std::uint32_t Active();
  // The stop command: the thread is told to stop and joined. The derived pin's OnStopCommand wakes
  // a FillBuffer that is waiting for work.
  void Inactive();
  bool ThreadExists() const { return threadExists_.load(); }

  // The code of the last failed downstream delivery or of the failure that ended the stream, 0 when
  // none failed.
  std::uint32_t DeliveryFailure() const { return deliveryFailure_.load(); }

 protected:
  // 0: deliver the sample; 1: no sample follows (end of stream); anything else: abort the stream.
  virtual std::uint32_t FillBuffer(CMediaSampleBuffer& sample) = 0;
  virtual std::uint32_t GetMediaType(VideoMediaType& type) = 0;
  virtual std::uint32_t DecideBufferSize(AllocatorProperties& request) = 0;
  virtual void OnStopCommand() = 0;
  // The whole loop; derived pins wrap RunBufferProcessingLoop.
  virtual void DoBufferProcessingLoop() { RunBufferProcessingLoop(); }

  // Runs until the stop command or the end of the stream. Never throws: a failure inside it ends
  // the stream and is kept as the delivery failure.
  void RunBufferProcessingLoop();
  // Joins the streaming thread; derived destructors call it while their state still exists.
  void StopStreaming();

 private:
  // Fills and delivers samples; returns the fill result that ended the stream, 0 on the stop
  // command.
  std::uint32_t StreamSamples();

  IInputPin* receiver_ = nullptr;  // not owned: the graph holds the receiver
  VideoMediaType connectedType_;
  CMediaSampleBuffer sample_;
  std::thread thread_;
  std::atomic<bool> threadExists_ = false;
  std::atomic<bool> stopCommand_ = false;
  std::atomic<std::uint32_t> deliveryFailure_ = 0;
};

}  // namespace reelkit
