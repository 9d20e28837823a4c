#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

struct z_stream_s;

namespace reelkit {

// How DLTA opcodes and MOVE records are carried.
enum class Compression : std::uint32_t {
  Stored = 0,
  Zlib = 1,
  Lzf = 2,
};

// One zlib inflate state kept for the decoder's lifetime: reset per stream instead of being
// rebuilt, so a steady stream of compressed deltas allocates nothing.
class CInflater {
 public:
  CInflater();
  ~CInflater();
  CInflater(const CInflater&) = delete;
  CInflater& operator=(const CInflater&) = delete;

  // Starts a new stream over input, which must stay alive until the next Begin.
  void Begin(std::span<const std::uint8_t> input);
  // Fills output from the stream until it is full, the stream ends or the data is bad; returns
  // the bytes written. Later calls go on where the last one stopped.
  std::size_t ReadInto(std::span<std::uint8_t> output);
  // Inflates on, discarding at most allowance bytes, and tells whether the stream ended cleanly
  // within them (the test the one-call uncompress applies to its output size).
  bool FinishWithin(std::uint64_t allowance);
  bool Ended() const { return ended_; }

 private:
  // Runs inflate once into output; returns the bytes written.
  std::size_t Step(std::uint8_t* output, std::size_t capacity);
  void FeedInput();

  struct StreamDeleter {
    void operator()(z_stream_s* stream) const;
  };
  std::unique_ptr<z_stream_s, StreamDeleter> stream_;
  std::span<const std::uint8_t> pending_;
  bool ended_ = false;
  bool stopped_ = false;
};

// Decompresses input into output by the method; returns the bytes produced (0 for an unknown
// method or a block the library refuses).
std::size_t DecompressInto(Compression method, std::span<const std::uint8_t> input,
                           std::span<std::uint8_t> output, CInflater& inflater);

}  // namespace reelkit
