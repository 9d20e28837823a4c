#include "tests/tools/product_reading.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <utility>

#include "common/conversion_failure.h"
#include "common/endian.h"
#include "common/packet_kind.h"
#include "decoder/decompression.h"
#include "decoder/delta_codec.h"
#include "decoder/screen_moves.h"
#include "engine/input_file.h"
#include "engine/picture_decoding.h"
#include "tests/testing/temp_dir.h"
#include "tools/recording_writer/screen_model.h"

namespace reelkit::testing {
namespace {

// A stored run stream, or the one a compressed block expands to, cut at limit bytes.
Bytes Expand(recording::CompressionMethod method, std::span<const std::uint8_t> stored,
             std::size_t limit) {
  Bytes expanded(limit);
  CInflater inflater;
  expanded.resize(
      DecompressInto(static_cast<Compression>(method), stored, std::span(expanded), inflater));
  return expanded;
}

}  // namespace

ReadRecording ReadRecordingFile(const std::string& path) {
  ReadRecording recording;
  InputFile file;
  if (const int error = file.Open(path); error != 0) {
    ADD_FAILURE() << path << ": " << std::strerror(error);
    return recording;
  }
  try {
    recording.headerSize = ReadRecordingHeader(file, recording.streamFormat);
  } catch (const CReelkitException&) {
    ADD_FAILURE() << "the reader refuses the file header of " << path;
    return recording;
  }
  for (;;) {
    const std::uint64_t offset = file.Position();
    RecordingPacket packet;
    try {
      if (ReadRecord(file, packet) == 0) {
        break;
      }
    } catch (const CReelkitException&) {
      recording.refused = true;
      break;
    }
    recording.offsets.push_back(offset);
    recording.records.push_back(std::move(packet));
  }
  return recording;
}

ReadRecording ReadRecordingBytes(std::span<const std::uint8_t> bytes) {
  const TempDir dir;
  return ReadRecordingFile(dir.Write("recording.rcrec", bytes));
}

Bytes PayloadOf(const RecordingPacket& record) {
  Bytes payload(record.secondBlock.span().begin(), record.secondBlock.span().end());
  payload.insert(payload.end(), record.firstBlock.span().begin(), record.firstBlock.span().end());
  return payload;
}

CRecordingDecoder::CRecordingDecoder(const BitmapFormat& streamFormat)
    : streamFormat_(streamFormat), outputFormat_(DecodedPictureFormat(streamFormat)) {
  frame_.resize(DibImageSize(outputFormat_.Header()));
  decoder_.Initialize(streamFormat_, outputFormat_);
}

void CRecordingDecoder::Decode(const RecordingPacket& record) {
  PacketKind kind = record.kind;
  if (kind == PacketKind::None) {
    return;  // a conversion ends its bundle's walk at an unknown kind
  }
  if (kind == PacketKind::Init && !initSeen_) {
    kind = PacketKind::Fint;
    initSeen_ = true;
  }
  DecodeSubPacket(FourCCOfPacketKind(kind), PayloadOf(record));
}

void CRecordingDecoder::Decode(const ReadRecording& recording) {
  for (const RecordingPacket& record : recording.records) {
    Decode(record);
  }
}

void CRecordingDecoder::DecodeSubPacket(FourCC kind, std::span<const std::uint8_t> payload) {
  const PacketKind subPacket = PacketKindOfFourCC(kind);
  const bool key = subPacket == PacketKind::Kfrm || subPacket == PacketKind::Fint;
  recording::CBundleBuilder bundle(key ? recording::kFourCCKbnd : recording::kFourCCBndl);
  bundle.Add(kind, payload);
  decoder_.DecodePacket(streamFormat_, outputFormat_, bundle.Bytes().span(), frame_);
}

Bytes CRecordingDecoder::Screen() const {
  const auto image = decoder_.ScreenImage();
  const auto picture = std::min<std::size_t>(image.size(), Layout().FrameSize());
  return Bytes(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(picture));
}

void CRecordingDecoder::DecodeWholePictureRuns(std::uint8_t opcode) {
  const PlaneLayout& layout = Layout();
  const auto rowBytes = static_cast<std::size_t>(ByteWidth(layout.width, layout.bitCount));
  Bytes opcodes;
  for (std::uint32_t row = 0; row < layout.height; ++row) {
    for (std::size_t left = rowBytes; left > 0;) {
      const std::size_t run = std::min<std::size_t>(left, 255);
      opcodes.push_back(opcode);
      opcodes.push_back(static_cast<std::uint8_t>(run));
      left -= run;
    }
  }
  const recording::ScreenRect whole{0, 0, static_cast<int>(layout.width),
                                    static_cast<int>(layout.height)};
  const ByteBlock delta =
      recording::BuildDeltaPayload(whole, opcodes, recording::CompressionMethod::Stored).Joined();
  DecodeSubPacket(recording::kFourCCDlta, delta.span());
}

DecodedPlanes CRecordingDecoder::TakePlanes() {
  DecodedPlanes planes;
  planes.screen = Screen();
  if (planes.screen.empty()) {
    return planes;
  }
  DecodeWholePictureRuns(delta_opcode::kShowBytes);
  planes.current = Screen();
  DecodeWholePictureRuns(delta_opcode::kSwapBytes);
  planes.previous = Screen();
  return planes;
}

DecodedPlanes PlanesAfter(const ReadRecording& recording, std::size_t last) {
  CRecordingDecoder decoder(recording.streamFormat);
  for (std::size_t i = 0; i <= last && i < recording.records.size(); ++i) {
    decoder.Decode(recording.records[i]);
  }
  return decoder.TakePlanes();
}

StoredDelta ReadStoredDelta(std::span<const std::uint8_t> payload) {
  namespace field = recording::delta_header;
  StoredDelta delta;
  if (payload.size() < field::kSize) {
    ADD_FAILURE() << "DLTA payload of " << payload.size() << " bytes";
    return delta;
  }
  const std::uint8_t* head = payload.data();
  delta.rect = {LoadI32LE(head + field::kLeft), LoadI32LE(head + field::kTop),
                LoadI32LE(head + field::kWidth), LoadI32LE(head + field::kHeight)};
  delta.method = static_cast<recording::CompressionMethod>(LoadU32LE(head + field::kMethod));
  delta.opcodeLength = LoadU32LE(head + field::kOpcodeLength);
  const auto stored = payload.subspan(field::kSize);
  if (delta.method != recording::CompressionMethod::Stored) {
    EXPECT_EQ(LoadU32LE(head + field::kCompressedLength), stored.size());
  }
  // One byte more than declared shows a stream longer than its length says.
  delta.opcodes = Expand(delta.method, stored, std::size_t{delta.opcodeLength} + 1);
  EXPECT_EQ(delta.opcodes.size(), delta.opcodeLength) << "the runs are not the length declared";
  return delta;
}

std::array<int, 256> DeltaRuns(const ReadRecording& recording, std::size_t begin, std::size_t end) {
  std::array<int, 256> runs{};
  for (std::size_t i = begin; i < end && i < recording.records.size(); ++i) {
    if (recording.records[i].kind == PacketKind::Dlta) {
      const auto counted =
          recording::CountDeltaRuns(ReadStoredDelta(PayloadOf(recording.records[i])).opcodes);
      std::transform(runs.begin(), runs.end(), counted.begin(), runs.begin(), std::plus<>());
    }
  }
  return runs;
}

std::vector<recording::MoveKind> StoredMoveKinds(std::span<const std::uint8_t> payload) {
  namespace field = recording::move_header;
  if (payload.size() < field::kSize) {
    ADD_FAILURE() << "MOVE payload of " << payload.size() << " bytes";
    return {};
  }
  const std::size_t count = LoadU32LE(payload.data() + field::kRecordCount);
  const auto method =
      static_cast<recording::CompressionMethod>(LoadU32LE(payload.data() + field::kMethod));
  const Bytes records = Expand(method, payload.subspan(field::kSize), count * kMoveRecordSize);
  EXPECT_EQ(records.size(), count * kMoveRecordSize) << "fewer records than the count says";
  std::vector<recording::MoveKind> kinds;
  for (std::size_t at = 0; at + kMoveRecordSize <= records.size(); at += kMoveRecordSize) {
    kinds.push_back(static_cast<recording::MoveKind>(
        LoadU16LE(records.data() + at + recording::move_record::kKind)));
  }
  return kinds;
}

}  // namespace reelkit::testing
