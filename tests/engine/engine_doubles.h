#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/byte_block.h"
#include "common/endian.h"
#include "common/fourcc.h"
#include "common/packet_kind.h"
#include "common/reelkit_client.h"
#include "common/video_recorder.h"
#include "engine/output_sink.h"

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
                    std::to_string(failure.code.value));
  }
  void OnProgress(double percent) override { progress.push_back(percent); }
  bool IsCancelRequested() override { return ++asked == cancelAfter; }

  std::vector<std::string> calls;
  std::vector<double> progress;
  int asked = 0;
  int cancelAfter = -1;
};

// One sample as the recorder double saw it.
struct WrittenFrame {
  SampleKind kind = SampleKind::Picture;
  Time time = 0;
  std::vector<std::uint8_t> packet;   // a pass-through sample's sub-packets
  std::vector<std::uint8_t> picture;  // a decoded output's picture
  BitmapInfoHeader format;
};

// A recorder that keeps what it is given, or refuses.
struct RecorderScript {
  std::vector<WrittenFrame> frames;
  double framesPerSecond = 0;
  FourCC fourcc = 0;
  std::string outputPath;
  std::uint32_t refusal = 0;
  bool closed = false;
  // Off: frames are only counted, for runs of millions of them.
  bool keepFrames = true;
  std::size_t written = 0;
};

class RecorderDouble final : public IVideoRecorder {
 public:
  RecorderDouble(double framesPerSecond, FourCC fourcc, RecorderScript& script) : script_(script) {
    script_.framesPerSecond = framesPerSecond;
    script_.fourcc = fourcc;
  }
  void Open(const std::string& outputPath) override { script_.outputPath = outputPath; }
  std::uint32_t Write(SampleKind kind, const BitmapFormat& format,
                      std::span<const std::uint8_t> bytes, Time time) override {
    if (script_.refusal != 0) {
      return script_.refusal;
    }
    ++script_.written;
    if (!script_.keepFrames) {
      return 0;
    }
    const bool isPicture = kind == SampleKind::Picture || kind == SampleKind::RepeatedPicture;
    WrittenFrame frame{kind, time, {}, {}, format.Header()};
    (isPicture ? frame.picture : frame.packet).assign(bytes.begin(), bytes.end());
    script_.frames.push_back(std::move(frame));
    return 0;
  }
  std::uint32_t Close() override {
    script_.closed = true;
    return 0;
  }

 private:
  RecorderScript& script_;
};

inline RecorderFactory FactoryFor(RecorderScript& script) {
  return [&script](double framesPerSecond, FourCC fourcc) -> std::unique_ptr<IVideoRecorder> {
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
