#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "avi/avi_recorder.h"
#include "common/byte_block.h"
#include "common/endian.h"
#include "common/fourcc.h"
#include "common/packet_kind.h"
#include "common/reelkit_client.h"
#include "engine/conversion_job.h"

namespace reelkit::testing {

// Everything a job said to its client, one line per call.
class ClientLog final : public IReelkitClient {
 public:
  void OnStart(const std::string& inputPath) override { calls.push_back("start " + inputPath); }
  void OnFinish(const ConversionStatistics& s) override {
    calls.push_back("finish " + std::to_string(s.packets) + " " + std::to_string(s.frames) + " " +
                    std::to_string(s.keyFrames) + " " + std::to_string(s.spacers) + " " +
                    std::to_string(s.seconds));
  }
  void OnError(const ConversionFailure& failure) override {
    calls.push_back("error " + std::to_string(static_cast<int>(failure.kind)) + " " +
                    std::to_string(failure.code));
  }
  void OnProgress(double percent) override { progress.push_back(percent); }
  bool IsCancelRequested() override { return ++asked == cancelAfter; }

  std::vector<std::string> calls;
  std::vector<double> progress;
  int asked = 0;
  int cancelAfter = -1;
};

// One WriteFrame call as the recorder double saw it.
struct WrittenFrame {
  std::uint32_t kind = 0;
  Time time = 0;
  std::vector<std::uint8_t> packet;
  std::vector<std::uint8_t> picture;
  BitmapInfoHeader format;
};

// A recorder that keeps what it is given. It can answer busy a number of times, or refuse.
struct RecorderScript {
  std::vector<WrittenFrame> frames;
  double framesPerSecond = 0;
  FourCC fourcc = 0;
  int busyAnswers = 0;
  int waits = 0;
  std::uint32_t refusal = 0;
  bool closed = false;
  // Off: frames are only counted, for runs of millions of them.
  bool keepFrames = true;
  std::size_t written = 0;
};

class RecorderDouble final : public CAviRecorder {
 public:
  RecorderDouble(double framesPerSecond, FourCC fourcc, RecorderScript& script)
      : CAviRecorder(framesPerSecond, fourcc), script_(script) {
    script_.framesPerSecond = framesPerSecond;
    script_.fourcc = fourcc;
  }
  std::uint32_t WriteFrame(std::uint32_t kind, std::span<const std::uint8_t> packet,
                           const BitmapFormat& format, std::span<const std::uint8_t> picture,
                           const std::string&, Time time) override {
    if (script_.busyAnswers > 0) {
      --script_.busyAnswers;
      return 170;
    }
    if (script_.refusal != 0) {
      return script_.refusal;
    }
    ++script_.written;
    if (!script_.keepFrames) {
      return 0;
    }
    script_.frames.push_back({kind,
                              time,
                              {packet.begin(), packet.end()},
                              {picture.begin(), picture.end()},
                              format.Header()});
    return 0;
  }
  void WaitUntilReady() override { ++script_.waits; }
  std::uint32_t Close() override {
    script_.closed = true;
    return 0;
  }

 private:
  RecorderScript& script_;
};

inline RecorderFactory FactoryFor(RecorderScript& script) {
  return [&script](double framesPerSecond, FourCC fourcc) -> std::unique_ptr<CAviRecorder> {
    return std::make_unique<RecorderDouble>(framesPerSecond, fourcc, script);
  };
}

// Builds raw recordings byte by byte, from the file layout.
class RawRecordingBytes {
 public:
  // A 40-byte header of the given size and depth, with masks or a palette behind it as needed.
  RawRecordingBytes(std::int32_t width, std::int32_t height, std::uint16_t bitCount,
                    std::uint32_t version = 0) {
    BitmapFormat format;
    BitmapInfoHeader header;
    header.width = width;
    header.height = height;
    header.bitCount = bitCount;
    header.clrUsed = bitCount <= 8 ? (1u << bitCount) : 0;
    header.sizeImage = static_cast<std::uint32_t>(DibImageSize(header));
    format.SetHeader(header);
    Header(format.Bytes(), version);
  }
  RawRecordingBytes(std::span<const std::uint8_t> formatBlock, std::uint32_t version) {
    Header(formatBlock, version);
  }

  RawRecordingBytes& Record(const char* fourcc, Time time, std::vector<std::uint8_t> first = {},
                            std::vector<std::uint8_t> second = {}) {
    bytes.AppendU32LE(FourCCFromText(fourcc));
    bytes.AppendU32LE(static_cast<std::uint32_t>(time));
    bytes.AppendU32LE(static_cast<std::uint32_t>(static_cast<std::uint64_t>(time) >> 32));
    bytes.AppendU32LE(static_cast<std::uint32_t>(first.size()));
    bytes.Append(first);
    bytes.AppendU32LE(static_cast<std::uint32_t>(second.size()));
    bytes.Append(second);
    return *this;
  }

  ByteBlock bytes;

 private:
  void Header(std::span<const std::uint8_t> formatBlock, std::uint32_t version) {
    bytes.AppendU32LE(0xDE33BA22);
    bytes.AppendU32LE(version);
    bytes.AppendU32LE(static_cast<std::uint32_t>(formatBlock.size()));
    bytes.Append(formatBlock);
  }
};

// The payload of a FINT that announces a 32-bit screen of the given size.
inline std::vector<std::uint8_t> FormatAnnouncement(std::int32_t width, std::int32_t height) {
  std::vector<std::uint8_t> payload(72, 0);
  StoreU32LE(payload.data(), 101);
  BitmapInfoHeader header;
  header.width = width;
  header.height = height;
  header.bitCount = 32;
  header.sizeImage = static_cast<std::uint32_t>(DibImageSize(header));
  WriteBitmapInfoHeader(payload.data() + 32, header);
  return payload;
}

}  // namespace reelkit::testing
