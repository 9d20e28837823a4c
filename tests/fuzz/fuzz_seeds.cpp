// Writes the seed corpora of the fuzz targets with the recording writer: one short session at
// every screen depth and compression method, holding every kind of record, as a raw recording and
// cut into the bundle file that fuzz_decode_packet reads (a selector byte, then bundles separated
// by "|~|"). The AVI seeds are these recordings converted to pass-through by reelkit itself.
//
//   fuzz_seeds <recording-dir> <bundle-dir>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "common/byte_reader.h"
#include "common/packet_kind.h"
#include "tools/recording_writer/recording_writer.h"

namespace {

using namespace reelkit;
using namespace reelkit::recording;
using Bytes = std::vector<std::uint8_t>;

// fuzz_decode_packet decodes at 37 x 23 pixels for selectors below 16.
constexpr int kWidth = 37;
constexpr int kHeight = 23;
constexpr int kSmallWidth = 20;
constexpr int kSmallHeight = 12;
constexpr Time kFrame = 1'000'000;  // one output frame at 10 frames per second

// A depth with the selector byte that makes fuzz_decode_packet use the same stream format; the
// 4-bit depth has no writer layout and is written record by record.
struct Depth {
  const char* name;
  std::optional<PixelLayout> layout;
  std::uint8_t selector;
};

constexpr std::array<Depth, 7> kDepths = {{
    {"4", std::nullopt, 0},
    {"8", PixelLayout::Indexed8, 1},
    {"555", PixelLayout::Rgb555, 2},
    {"565", PixelLayout::Rgb565, 3},
    {"24", PixelLayout::Rgb24, 4},
    {"32", PixelLayout::Rgb32, 5},
    {"32bf", PixelLayout::Rgb32BitFields, 6},
}};

struct Method {
  const char* name;
  CompressionMethod method;
};

constexpr std::array<Method, 3> kMethods = {{
    {"stored", CompressionMethod::Stored},
    {"zlib", CompressionMethod::Zlib},
    {"lzf", CompressionMethod::Lzf},
}};

std::uint32_t Gradient(int x, int y) {
  return static_cast<std::uint32_t>((x * 6) << 16 | (y * 9) << 8 | ((x + y) * 5 & 0xFF));
}

std::uint32_t Checks(int x, int y) {
  return ((x / 4 + y / 3) % 2) != 0 ? 0x202020 : 0xE0C040;
}

std::uint32_t Window(int x, int y) {
  return x > 5 && x < 25 && y > 3 && y < 15 ? 0x3050F0u : Gradient(x, y);
}

CursorShape Arrow() {
  std::vector<std::uint32_t> argb(8 * 10, 0);
  for (int y = 0; y < 10; ++y) {
    for (int x = 0; x <= y && x < 8; ++x) {
      argb[y * 8 + x] = x == 0 || x == y ? 0xFF000000u : 0xFFFFFFFFu;
    }
  }
  return CursorShape::FromArgb(argb, 8, 10, 1, 1);
}

// Records the writer has no call for: kinds that only bundles carry, an unknown kind and an
// empty record.
void WriteStrayRecords(CRecordingWriter& writer, Time t) {
  const std::array<std::uint8_t, 3> junk = {1, 2, 3};
  writer.WriteRecord(MakeFourCC('J', 'U', 'N', 'K'), t, junk, {});
  writer.WriteRecord(kFourCCBndl, t, {}, junk);
  writer.WriteRecord(MakeFourCC('E', 'M', 'P', 'T'), t, {}, {});
}

Bytes WriterSession(PixelLayout layout, CompressionMethod method) {
  WriterOptions options;
  options.deltaCompression = method;
  options.moveCompression = method;
  options.deltaUnits = method == CompressionMethod::Zlib ? DeltaUnits::Words : DeltaUnits::Bytes;
  CRecordingWriter writer(MakeStreamFormat(kWidth, kHeight, layout), options);
  const Bytes gradient = PaintPicture(kWidth, kHeight, layout, Gradient);
  const Bytes window = PaintPicture(kWidth, kHeight, layout, Window);
  const Bytes checks = PaintPicture(kWidth, kHeight, layout, Checks);

  Time t = 5 * kFrame;
  writer.WriteInit(t, &writer.Model().NativeFormat());
  writer.WriteCursorShape(t, Arrow());
  writer.WriteCursorPosition(t, 10, 8);
  writer.WriteKeyFrame(t, gradient);
  t += kFrame;
  writer.WriteDelta(t, window);
  writer.WriteCursorPosition(t, 30, 20);  // partly off the picture
  t += kFrame;
  writer.WriteDelta(t, gradient);  // swap runs back to the previous plane
  const std::vector<MoveOperation> moves{
      {MoveKind::Save, {2, 2, 12, 8}, 0, 0, 0},
      {MoveKind::Copy, {0, 0, kWidth, kHeight - 2}, 0, 2, 0},
      {MoveKind::Fill, {20, 10, 9, 7}, 0, 0, 0x00FF00FF},
      {MoveKind::Copy, {4, 9, 12, 8}, 7, 5, 0},
  };
  writer.WriteMoves(t, moves);
  t += 4 * kFrame;  // a gap the job fills with spacers
  writer.WriteDelta(t, checks);
  writer.WriteInit(t);
  WriteStrayRecords(writer, t);
  t += kFrame;
  writer.WriteKeyFrame(t, window);
  writer.WriteDelta(t, gradient);
  t += kFrame;
  const BitmapFormat small = MakeStreamFormat(kSmallWidth, kSmallHeight, layout);
  writer.WriteFormat(t, &small);
  writer.WriteKeyFrame(t, PaintPicture(kSmallWidth, kSmallHeight, layout, Checks));
  t += kFrame;
  writer.WriteDelta(t, PaintPicture(kSmallWidth, kSmallHeight, layout, Gradient));
  t += kFrame;
  const BitmapFormat whole = MakeStreamFormat(kWidth, kHeight, layout);
  KeyFrameOptions announced;
  announced.announcedFormat = &whole;
  writer.WriteKeyFrame(t, checks, announced);
  writer.WriteDelta(t, window);
  const ByteBlock& bytes = writer.Bytes();
  return Bytes(bytes.data(), bytes.data() + bytes.size());
}

// The 4-bit session, record by record: the writer's model has no 4-bit layout.
class CRawSession {
 public:
  explicit CRawSession(const BitmapFormat& format) {
    Append(BuildFileHeader(kDefaultFileVersion, format.Bytes()));
  }
  void Record(FourCC fourcc, Time t, const RecordPayload& payload) {
    Append(BuildRecord(fourcc, t, payload));
  }
  const Bytes& bytes() const { return bytes_; }

 private:
  void Append(const ByteBlock& block) {
    bytes_.insert(bytes_.end(), block.data(), block.data() + block.size());
  }
  Bytes bytes_;
};

BitmapFormat Nibble4Format(int width, int height) {
  BitmapInfoHeader header;
  header.width = width;
  header.height = height;
  header.bitCount = 4;
  header.clrUsed = 16;
  header.sizeImage = static_cast<std::uint32_t>(DibImageSize(header));
  BitmapFormat format(header);
  for (std::size_t entry = 0; entry < 16; ++entry) {
    format.ColorTable()[4 * entry] = static_cast<std::uint8_t>(entry * 17);
    format.ColorTable()[4 * entry + 1] = static_cast<std::uint8_t>(255 - entry * 17);
    format.ColorTable()[4 * entry + 2] = static_cast<std::uint8_t>(entry * 9);
  }
  return format;
}

Bytes NibblePlane(int width, int height, int seed) {
  Bytes plane(DibImageSize(width, height, 4));
  for (std::size_t k = 0; k < plane.size(); ++k) {
    plane[k] = static_cast<std::uint8_t>((k * 7 + static_cast<std::size_t>(seed)) * 13);
  }
  return plane;
}

// Every byte-unit opcode over a 10 x 4 rectangle: 5 bytes per row at 4 bits.
Bytes NibbleOpcodes() {
  return {3, 5, 0x12, 0x34, 0x56, 0x78, 0x9A,  // literal bytes
          4, 5, 0xF0,                          // fill
          1, 5,                                // keep
          2, 5};                               // swap
}

Bytes NibbleSession(CompressionMethod method) {
  const BitmapFormat format = Nibble4Format(kWidth, kHeight);
  const BitmapFormat small = Nibble4Format(kSmallWidth, kSmallHeight);
  CRawSession session(format);
  const Bytes first = NibblePlane(kWidth, kHeight, 1);
  const Bytes second = NibblePlane(kWidth, kHeight, 2);
  const std::vector<MoveOperation> moves{
      {MoveKind::Save, {3, 2, 10, 8}, 0, 0, 0},
      {MoveKind::Copy, {0, 0, kWidth, kHeight - 1}, 0, 1, 0},
      {MoveKind::Fill, {20, 10, 9, 7}, 0, 0, 0},
  };
  Time t = 5 * kFrame;
  session.Record(kFourCCInit, t, BuildFormatPayload(&format));
  session.Record(kFourCCMous, t, BuildCursorShapePayload(Arrow()));
  session.Record(kFourCCMpos, t, BuildCursorPositionPayload(9, 7));
  session.Record(kFourCCKfrm, t, BuildKeyFramePayload(nullptr, first, second));
  t += kFrame;
  session.Record(kFourCCDlta, t, BuildDeltaPayload({3, 2, 10, 4}, NibbleOpcodes(), method));
  session.Record(kFourCCMove, t, BuildMovePayload(moves, method));
  t += 3 * kFrame;
  session.Record(kFourCCInit, t, BuildFormatPayload(nullptr));
  session.Record(kFourCCMpos, t, BuildCursorPositionPayload(36, 22));
  session.Record(kFourCCDlta, t, BuildDeltaPayload({5, 11, 10, 4}, NibbleOpcodes(), method));
  t += kFrame;
  session.Record(kFourCCFint, t, BuildFormatPayload(&small));
  session.Record(kFourCCKfrm, t,
                 BuildKeyFramePayload(nullptr, NibblePlane(kSmallWidth, kSmallHeight, 3),
                                      NibblePlane(kSmallWidth, kSmallHeight, 4)));
  t += kFrame;
  session.Record(kFourCCKfrm, t, BuildKeyFramePayload(&format, second, first));
  return session.bytes();
}

struct SessionRecord {
  FourCC fourcc;
  Time timestamp;
  Bytes payload;  // second block, then first block, as a bundle carries it
};

std::vector<SessionRecord> RecordsOf(const Bytes& recording) {
  ByteReader reader(recording);
  reader.Skip(8);
  reader.Skip(*reader.ReadU32());
  std::vector<SessionRecord> records;
  while (!reader.AtEnd()) {
    SessionRecord record{*reader.ReadU32(), static_cast<Time>(*reader.ReadU64()), {}};
    const auto first = *reader.Take(*reader.ReadU32());
    const auto second = *reader.Take(*reader.ReadU32());
    record.payload.assign(second.begin(), second.end());
    record.payload.insert(record.payload.end(), first.begin(), first.end());
    records.push_back(std::move(record));
  }
  return records;
}

// Cut as a conversion job cuts them: a new bundle at each new time and at each format or key
// image; the first INIT travels as a FINT.
std::vector<Bytes> BundlesOf(const Bytes& recording) {
  std::vector<Bytes> bundles;
  Time bundleTime = -1;
  bool initSeen = false;
  for (SessionRecord& record : RecordsOf(recording)) {
    if (record.fourcc == kFourCCInit && !initSeen) {
      record.fourcc = kFourCCFint;
      initSeen = true;
    }
    const bool key = record.fourcc == kFourCCFint || record.fourcc == kFourCCKfrm;
    if (bundles.empty() || key || record.timestamp != bundleTime) {
      bundles.emplace_back(4, 0);
      StoreU32LE(bundles.back().data(), kFourCCBndl);
      bundleTime = record.timestamp;
    }
    Bytes& bundle = bundles.back();
    if (key) {
      StoreU32LE(bundle.data(), kFourCCKbnd);
    }
    const std::size_t at = bundle.size();
    bundle.resize(at + 8);
    StoreU32LE(bundle.data() + at,
               PacketKindOfFourCC(record.fourcc) == PacketKind::None ? 0 : record.fourcc);
    StoreU32LE(bundle.data() + at + 4, static_cast<std::uint32_t>(record.payload.size()));
    bundle.insert(bundle.end(), record.payload.begin(), record.payload.end());
  }
  return bundles;
}

Bytes BundleFile(std::uint8_t selector, const std::vector<Bytes>& bundles) {
  Bytes file{selector};
  for (std::size_t k = 0; k < bundles.size(); ++k) {
    if (k > 0) {
      file.insert(file.end(), {'|', '~', '|'});
    }
    file.insert(file.end(), bundles[k].begin(), bundles[k].end());
  }
  return file;
}

void WriteFile(const std::filesystem::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    throw std::runtime_error("cannot write " + path.string());
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <recording-dir> <bundle-dir>\n", argv[0]);
    return 2;
  }
  const std::filesystem::path recordings = argv[1];
  const std::filesystem::path bundles = argv[2];
  try {
    std::filesystem::create_directories(recordings);
    std::filesystem::create_directories(bundles);
    for (const Depth& depth : kDepths) {
      for (const Method& method : kMethods) {
        const Bytes recording = depth.layout ? WriterSession(*depth.layout, method.method)
                                             : NibbleSession(method.method);
        const std::string name = std::string(depth.name) + "-" + method.name;
        WriteFile(recordings / (name + ".rcrec"), recording);
        WriteFile(bundles / (name + ".bundles"), BundleFile(depth.selector, BundlesOf(recording)));
      }
    }
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "fuzz_seeds: %s\n", failure.what());
    return 1;
  }
  return 0;
}
