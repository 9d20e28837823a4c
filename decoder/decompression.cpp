#include "decoder/decompression.h"

#include <lzf.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>

namespace reelkit {

void CInflater::StreamDeleter::operator()(z_stream_s* stream) const {
  inflateEnd(stream);
  std::default_delete<z_stream_s>()(stream);
}

CInflater::CInflater() = default;

CInflater::~CInflater() = default;

void CInflater::Begin(std::span<const std::uint8_t> input) {
  pending_ = input;
  ended_ = false;
  stopped_ = false;
  if (!stream_) {
    auto stream = std::make_unique<z_stream_s>();
    if (inflateInit(stream.get()) != Z_OK) {
      stopped_ = true;
      return;
    }
    stream_.reset(stream.release());
  } else if (inflateReset(stream_.get()) != Z_OK) {
    stopped_ = true;
    return;
  }
  stream_->next_in = nullptr;
  stream_->avail_in = 0;
  FeedInput();
}

void CInflater::FeedInput() {
  if (stream_->avail_in != 0 || pending_.empty()) {
    return;
  }
  const std::size_t chunk = std::min<std::size_t>(pending_.size(), UINT_MAX);
  // zlib's input pointer is not const-qualified but inflate never writes through it.
  stream_->next_in = const_cast<Bytef*>(pending_.data());
  stream_->avail_in = static_cast<uInt>(chunk);
  pending_ = pending_.subspan(chunk);
}

std::size_t CInflater::Step(std::uint8_t* output, std::size_t capacity) {
  FeedInput();
  const auto room = static_cast<uInt>(std::min<std::size_t>(capacity, UINT_MAX));
  stream_->next_out = output;
  stream_->avail_out = room;
  const int result = inflate(stream_.get(), Z_NO_FLUSH);
  const std::size_t written = room - stream_->avail_out;
  if (result == Z_STREAM_END) {
    ended_ = true;
  } else if (result != Z_OK) {
    stopped_ = true;
  }
  return written;
}

std::size_t CInflater::ReadInto(std::span<std::uint8_t> output) {
  std::size_t total = 0;
  while (total < output.size() && !ended_ && !stopped_) {
    total += Step(output.data() + total, output.size() - total);
  }
  return total;
}

bool CInflater::FinishWithin(std::uint64_t allowance) {
  std::array<std::uint8_t, 4096> discard{};
  // At least one step even with no allowance: the end marker may follow the last byte.
  do {
    if (ended_ || stopped_) {
      break;
    }
    const auto room = static_cast<std::size_t>(std::min<std::uint64_t>(allowance, discard.size()));
    allowance -= Step(discard.data(), room);
  } while (allowance > 0);
  return ended_;
}

std::size_t DecompressInto(Compression method, std::span<const std::uint8_t> input,
                           std::span<std::uint8_t> output, CInflater& inflater) {
  switch (method) {
    case Compression::Stored: {
      const std::size_t count = std::min(input.size(), output.size());
      if (count > 0) {
        std::memcpy(output.data(), input.data(), count);
      }
      return count;
    }
    case Compression::Zlib:
      inflater.Begin(input);
      return inflater.ReadInto(output);
    case Compression::Lzf: {
      if (input.empty() || output.empty()) {
        return 0;
      }
      const auto inLength = static_cast<unsigned>(std::min<std::size_t>(input.size(), UINT_MAX));
      const auto outLength = static_cast<unsigned>(std::min<std::size_t>(output.size(), UINT_MAX));
      return lzf_decompress(input.data(), inLength, output.data(), outLength);
    }
  }
  return 0;
}

}  // namespace reelkit
