#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "recorders/avi_multiplexer.h"
#include "recorders/compressor.h"
#include "recorders/media_types.h"
#include "recorders/push_source.h"

namespace reelkit {

enum class GraphState : std::uint32_t { Stopped = 0, Running = 2 };

// The recording pipeline: push source -> compressor -> AVI multiplexer and file writer. The graph
// owns its filters. Samples flow unpaced: the streaming thread compresses and writes each sample as
// soon as the source has filled it.
//
// Threads: everything from the recorder's thread; the filters' work runs on the source's streaming
// thread while the graph runs.
class CFilterGraph {
 public:
  CFilterGraph();
  ~CFilterGraph();
  CFilterGraph(const CFilterGraph&) = delete;
  CFilterGraph& operator=(const CFilterGraph&) = delete;

  // Returns the source, which stays owned by the graph.
  CPushSourceBitmap* AddSource(std::unique_ptr<CPushSourceBitmap> source);
  void AddCompressor(std::unique_ptr<ICompressor> compressor);
  // Adds the AVI multiplexer and its file writer for path.
  std::uint32_t SetOutputFileName(const std::string& path, double framesPerSecond);
  // Connects source, compressor and multiplexer in that order.
  std::uint32_t RenderStream();

  std::uint32_t Run();
  // Stops the streaming thread and completes the file; 0 or the completion's failure code.
  std::uint32_t Stop();
  GraphState GetState() const { return state_.load(); }

 private:
  class CCompressorFilter;

  std::unique_ptr<CAviMultiplexer> multiplexer_;
  std::unique_ptr<CCompressorFilter> compressor_;
  std::unique_ptr<CPushSourceBitmap> source_;  // destroyed first: its thread feeds the others
  std::atomic<GraphState> state_ = GraphState::Stopped;
};

}  // namespace reelkit
