#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <memory>
#include <string>

#include "common/reelkit_client.h"
#include "common/video_recorder.h"
#include "engine/output_sink.h"
#include "tests/testing/silent_client.h"

namespace reelkit::fuzzing {

// Fuzz bytes as a file the jobs can open by path, without touching the disk.
class MemoryFile {
 public:
  MemoryFile(const std::uint8_t* data, std::size_t size)
      : fd_(::memfd_create("fuzz-input", MFD_CLOEXEC)) {
    std::size_t done = 0;
    while (fd_ >= 0 && done < size) {
      const ssize_t n = ::write(fd_, data + done, size - done);
      if (n <= 0) {
        break;
      }
      done += static_cast<std::size_t>(n);
    }
  }
  ~MemoryFile() {
    if (fd_ >= 0) {
      ::close(fd_);
    }
  }
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;

  std::string Path() const { return "/proc/self/fd/" + std::to_string(fd_); }

 private:
  int fd_;
};

// Accepts every sample and keeps nothing: the fuzzers exercise reading and decoding only.
class DiscardingRecorder final : public IVideoRecorder {
 public:
  void Open(const std::string&) override {}
  std::uint32_t Write(SampleKind, const BitmapFormat&, std::span<const std::uint8_t>,
                      Time) override {
    return 0;
  }
  std::uint32_t Close() override { return 0; }
};

inline RecorderFactory DiscardingRecorders() {
  return [](double, FourCC) -> std::unique_ptr<IVideoRecorder> {
    return std::make_unique<DiscardingRecorder>();
  };
}

using testing::SilentClient;

}  // namespace reelkit::fuzzing
