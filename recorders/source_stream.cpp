#include "recorders/source_stream.h"

#include <exception>
#include <new>
#include <system_error>

#include "recorders/result_codes.h"

namespace reelkit {

namespace {

constexpr std::uint32_t kFillEndOfStream = 1;

// The streaming thread has no caller to throw to: a failure inside one of its steps becomes that
// step's result code, and running out of memory says so.
template <typename Step>
std::uint32_t ResultOfStep(Step step) {
  try {
    return step();
  } catch (const std::bad_alloc&) {
    return kResultOutOfMemory;
  } catch (const std::exception&) {
    return kResultFail;
  }
}

}  // namespace

CSourceStream::~CSourceStream() {
  StopStreaming();
}

std::uint32_t CSourceStream::Connect(IInputPin& receiver) {
  if (IsConnected()) {
    return kResultUnexpected;
  }
  std::uint32_t result = GetMediaType(connectedType_);
  if (result != 0) {
    return result;
  }
  AllocatorProperties request;
  result = DecideBufferSize(request);
  if (result != 0) {
    return result;
  }
  sample_.buffer.ResizeForOverwrite(static_cast<std::size_t>(request.bufferSize));
  receiver_ = &receiver;
  return 0;
}

std::uint32_t CSourceStream::Active() {
  if (!IsConnected() || threadExists_) {
    return kResultUnexpected;
  }
  stopCommand_ = false;
  // Set before the thread starts, since the thread may look at it at once, and cleared again when
  // no thread could be made.
  threadExists_ = true;
  try {
    thread_ = std::thread([this] { DoBufferProcessingLoop(); });
  } catch (const std::system_error& error) {
    threadExists_ = false;
    return ResultOfSystemError(error.code().value());
  }
  return 0;
}

void CSourceStream::Inactive() {
  if (!threadExists_) {
    return;
  }
  stopCommand_ = true;
  OnStopCommand();
  StopStreaming();
}

void CSourceStream::StopStreaming() {
  if (thread_.joinable()) {
    thread_.join();
  }
  threadExists_ = false;
}

void CSourceStream::RunBufferProcessingLoop() {
  const std::uint32_t ended = ResultOfStep([this] { return StreamSamples(); });
  if (ended == 0) {
    return;  // the stop command
  }
  const std::uint32_t endResult = ResultOfStep([this] { return receiver_->EndOfStream(); });
  if (endResult != 0) {
    deliveryFailure_ = endResult;
  }
  if (ended != kFillEndOfStream) {
    deliveryFailure_ = ended;
  }
}

std::uint32_t CSourceStream::StreamSamples() {
  while (!stopCommand_) {
    sample_.actualLength = 0;
    sample_.syncPoint = false;
    sample_.repeatsPrevious = false;
    const std::uint32_t filled = FillBuffer(sample_);
    if (filled == 0) {
      const MediaSample delivered{
          std::span<const std::uint8_t>(sample_.buffer.data(), sample_.actualLength), sample_.start,
          sample_.stop, sample_.syncPoint, sample_.repeatsPrevious};
      const std::uint32_t result = receiver_->Receive(delivered);
      if (result != 0) {
        deliveryFailure_ = result;
      }
      continue;
    }
    return filled;
  }
  return 0;
}

}  // namespace reelkit
