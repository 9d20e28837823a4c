#include "recorders/filter_graph.h"

#include "recorders/result_codes.h"

namespace reelkit {

// Receives the source's samples, compresses each into one packet and hands it to the multiplexer.
class CFilterGraph::CCompressorFilter : public IInputPin {
 public:
  explicit CCompressorFilter(std::unique_ptr<ICompressor> compressor)
      : compressor_(std::move(compressor)) {}

  std::uint32_t Connect(const VideoMediaType& type, CAviMultiplexer& multiplexer) {
    CompressedStreamInfo info;
    std::uint32_t result = compressor_->Connect(type, info);
    if (result != 0) {
      return result;
    }
    result = multiplexer.AddStream(info);
    if (result == 0) {
      multiplexer_ = &multiplexer;
    }
    return result;
  }

  std::uint32_t Receive(const MediaSample& sample) override {
    const std::uint32_t result = sample.repeatsPrevious
                                     ? compressor_->CompressRepeated(sample.data, packet_)
                                     : compressor_->Compress(sample.data, packet_);
    if (result != 0) {
      return result;
    }
    return multiplexer_->WritePacket(packet_, sample.start);
  }

  std::uint32_t EndOfStream() override { return multiplexer_->Finish(); }

 private:
  std::unique_ptr<ICompressor> compressor_;
  CAviMultiplexer* multiplexer_ = nullptr;  // owned by the graph
  CompressedPacket packet_;
};

CFilterGraph::CFilterGraph() = default;

CFilterGraph::~CFilterGraph() {
  Stop();
}

CPushSourceBitmap* CFilterGraph::AddSource(std::unique_ptr<CPushSourceBitmap> source) {
  source_ = std::move(source);
  return source_.get();
}

void CFilterGraph::AddCompressor(std::unique_ptr<ICompressor> compressor) {
  compressor_ = std::make_unique<CCompressorFilter>(std::move(compressor));
}

std::uint32_t CFilterGraph::SetOutputFileName(const std::string& path, double framesPerSecond) {
  if (path.empty()) {
    return kResultInvalidArgument;
  }
  multiplexer_ = std::make_unique<CAviMultiplexer>(path, framesPerSecond);
  return 0;
}

std::uint32_t CFilterGraph::RenderStream() {
  if (!source_ || !compressor_ || !multiplexer_) {
    return kResultUnexpected;
  }
  CPushPinBitmap& pin = source_->Pin();
  std::uint32_t result = pin.Connect(*compressor_);
  if (result != 0) {
    return result;
  }
  return compressor_->Connect(pin.ConnectedType(), *multiplexer_);
}

std::uint32_t CFilterGraph::Run() {
  if (state_ == GraphState::Running) {
    return 0;
  }
  if (!source_ || !source_->Pin().IsConnected()) {
    return kResultUnexpected;
  }
  std::uint32_t result = multiplexer_->Start();
  if (result != 0) {
    return result;
  }
  result = source_->Pin().Active();
  if (result == 0) {
    state_ = GraphState::Running;
  }
  return result;
}

std::uint32_t CFilterGraph::Stop() {
  if (source_) {
    source_->Pin().Inactive();
  }
  state_ = GraphState::Stopped;
  return multiplexer_ ? multiplexer_->Finish() : 0;
}

}  // namespace reelkit
