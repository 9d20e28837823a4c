#pragma once

#include <gst/gst.h>

#include "engine/input_file.h"

namespace reelkit::gst {

// The bytes of the element upstream of a pad in pull mode, as an InputFile reads them. Small reads
// (record heads) are served from one block pulled at a time, so walking a recording's heads costs
// a pull per block rather than per record. Used on the pad's streaming thread.
class CUpstreamBytes final : public IInputBytes {
 public:
  explicit CUpstreamBytes(GstPad* sinkPad) : pad_(sinkPad) {}
  ~CUpstreamBytes() override { DropBlock(); }
  CUpstreamBytes(const CUpstreamBytes&) = delete;
  CUpstreamBytes& operator=(const CUpstreamBytes&) = delete;

  // The length upstream reports; 0 when it knows none.
  std::uint64_t Size() override;
  int ReadAt(std::uint64_t offset, std::span<std::uint8_t> bytes, std::size_t& got) override;

  // True when the last read stopped because the pad is flushing: a seek, not a failure.
  bool WasFlushing() const { return lastFlow_ == GST_FLOW_FLUSHING; }
  void DropBlock();

  static constexpr std::size_t kBlockSize = 64u << 10;

 private:
  int Pull(std::uint64_t offset, std::size_t size, GstBuffer*& buffer);

  GstPad* pad_;
  GstFlowReturn lastFlow_ = GST_FLOW_OK;
  GstBuffer* block_ = nullptr;  // owned: one reference, dropped by DropBlock
  std::uint64_t blockOffset_ = 0;
};

}  // namespace reelkit::gst
