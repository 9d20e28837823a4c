#include "avi/source_stream.h"

#include "common/error_codes.h"

namespace reelkit {

namespace {
constexpr std::uint32_t kFillEndOfStream = 1;
}

CSourceStream::~CSourceStream() {
  StopStreaming();
}

std::uint32_t CSourceStream::Connect(IInputPin& receiver, IGraphEventSink& graph) {
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
  graph_ = &graph;
  return 0;
}

std::uint32_t CSourceStream::Active() {
  if (!IsConnected() || threadExists_) {
    return kResultUnexpected;
  }
  stopCommand_ = false;
  threadExists_ = true;
  thread_ = std::thread([this] { DoBufferProcessingLoop(); });
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
    const std::uint32_t endResult = receiver_->EndOfStream();
    if (endResult != 0) {
      deliveryFailure_ = endResult;
    }
    if (filled != kFillEndOfStream) {
      graph_->NotifyEvent(IGraphEventSink::kEventErrorAbort, filled);
    }
    return;
  }
}

}  // namespace reelkit
