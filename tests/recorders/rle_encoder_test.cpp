#include "recorders/encoders/rle_encoder.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "recorders/encoders/colour_tables.h"
#include "recorders/ffmpeg_handles.h"
#include "tests/recorders/rle_test_pictures.h"
#include "tests/testing/allocation_count.h"
#include "tests/testing/process.h"
#include "tests/testing/temp_dir.h"

namespace reelkit {
namespace {

using testing::Picture;

struct CodecParametersDeleter {
  void operator()(AVCodecParameters* parameters) const { avcodec_parameters_free(&parameters); }
};
using CodecParametersPtr = std::unique_ptr<AVCodecParameters, CodecParametersDeleter>;

struct InputContextDeleter {
  void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
using InputContextPtr = std::unique_ptr<AVFormatContext, InputContextDeleter>;

struct Clip {
  int width = 0;
  int height = 0;
  std::vector<Picture> pictures;
};

std::vector<RleFrame> EncodeClip(const Clip& clip, int keyInterval) {
  CRleEncoder encoder(clip.width, clip.height, keyInterval);
  std::vector<RleFrame> frames(clip.pictures.size());
  for (std::size_t i = 0; i < clip.pictures.size(); ++i) {
    encoder.Encode(clip.pictures[i], frames[i]);
  }
  return frames;
}

void ThrowOnAvError(int result, const char* step) {
  if (result < 0) {
    throw std::runtime_error(std::string(step) + " failed: " + std::to_string(result));
  }
}

AvPacketPtr PacketOf(const RleFrame& frame, std::int64_t index) {
  AvPacketPtr packet(av_packet_alloc());
  ThrowOnAvError(av_new_packet(packet.get(), static_cast<int>(frame.data.size())), "packet");
  std::memcpy(packet->data, frame.data.data(), frame.data.size());
  packet->pts = packet->dts = index;
  packet->duration = 1;
  packet->flags = frame.key ? AV_PKT_FLAG_KEY : 0;
  if (frame.paletteChanged) {
    std::uint8_t* palette =
        av_packet_new_side_data(packet.get(), AV_PKT_DATA_PALETTE, AVPALETTE_SIZE);
    std::memcpy(palette, frame.palette.data(), AVPALETTE_SIZE);
  }
  return packet;
}

// The way the recorder stores the stream: PAL8 declared, palette changes as packet side data.
void WriteAvi(const std::string& path, int width, int height, const std::vector<RleFrame>& frames) {
  AVFormatContext* raw = nullptr;
  ThrowOnAvError(avformat_alloc_output_context2(&raw, nullptr, "avi", path.c_str()), "muxer");
  AvOutputFormatContextPtr muxer(raw);
  muxer->flags |= AVFMT_FLAG_BITEXACT;
  AVStream* stream = avformat_new_stream(muxer.get(), nullptr);
  stream->time_base = {1, 10};
  AVCodecParameters* par = stream->codecpar;
  par->codec_type = AVMEDIA_TYPE_VIDEO;
  par->codec_id = AV_CODEC_ID_MSRLE;
  par->codec_tag = MKTAG('m', 'r', 'l', 'e');
  par->width = width;
  par->height = height;
  par->format = AV_PIX_FMT_PAL8;
  par->bits_per_coded_sample = 8;
  ThrowOnAvError(avio_open(&muxer->pb, path.c_str(), AVIO_FLAG_WRITE), "open");
  ThrowOnAvError(avformat_write_header(muxer.get(), nullptr), "header");
  for (std::size_t i = 0; i < frames.size(); ++i) {
    AvPacketPtr packet = PacketOf(frames[i], static_cast<std::int64_t>(i));
    av_packet_rescale_ts(packet.get(), {1, 10}, stream->time_base);
    ThrowOnAvError(av_write_frame(muxer.get(), packet.get()), "write");
  }
  ThrowOnAvError(av_write_trailer(muxer.get()), "trailer");
}

Picture PictureFromPal8(const AVFrame& frame) {
  Picture picture(static_cast<std::size_t>(frame.width) * static_cast<std::size_t>(frame.height));
  const auto* palette = reinterpret_cast<const std::uint32_t*>(frame.data[1]);
  for (int y = 0; y < frame.height; ++y) {
    const std::uint8_t* line = frame.data[0] + static_cast<std::ptrdiff_t>(y) * frame.linesize[0];
    std::uint32_t* out =
        picture.data() + static_cast<std::size_t>(frame.height - 1 - y) * frame.width;
    for (int x = 0; x < frame.width; ++x) {
      out[x] = palette[line[x]] & 0x00FFFFFF;
    }
  }
  return picture;
}

// libavcodec's decoder, fed packet by packet.
class CReferenceDecoder {
 public:
  explicit CReferenceDecoder(const AVCodecParameters& parameters) {
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MSRLE);
    context_.reset(avcodec_alloc_context3(codec));
    ThrowOnAvError(avcodec_parameters_to_context(context_.get(), &parameters), "parameters");
    ThrowOnAvError(avcodec_open2(context_.get(), codec, nullptr), "decoder");
  }

  Picture Decode(const AVPacket& packet) {
    ThrowOnAvError(avcodec_send_packet(context_.get(), &packet), "send");
    ThrowOnAvError(avcodec_receive_frame(context_.get(), frame_.get()), "receive");
    return PictureFromPal8(*frame_);
  }

 private:
  AvCodecContextPtr context_;
  AvFramePtr frame_{av_frame_alloc()};
};

std::vector<Picture> DecodeAvi(const std::string& path) {
  AVFormatContext* raw = nullptr;
  ThrowOnAvError(avformat_open_input(&raw, path.c_str(), nullptr, nullptr), "demuxer");
  InputContextPtr demuxer(raw);
  CReferenceDecoder decoder(*demuxer->streams[0]->codecpar);
  std::vector<Picture> pictures;
  AvPacketPtr packet(av_packet_alloc());
  while (av_read_frame(demuxer.get(), packet.get()) >= 0) {
    pictures.push_back(decoder.Decode(*packet));
    av_packet_unref(packet.get());
  }
  return pictures;
}

// A decoder that has seen nothing before this frame.
Picture DecodeAlone(int width, int height, const RleFrame& frame) {
  CodecParametersPtr parameters(avcodec_parameters_alloc());
  parameters->codec_type = AVMEDIA_TYPE_VIDEO;
  parameters->codec_id = AV_CODEC_ID_MSRLE;
  parameters->width = width;
  parameters->height = height;
  parameters->bits_per_coded_sample = 8;
  CReferenceDecoder decoder(*parameters);
  RleFrame withPalette = frame;
  withPalette.paletteChanged = true;
  return decoder.Decode(*PacketOf(withPalette, 0));
}

std::vector<Picture> RoundTrip(const Clip& clip, const std::vector<RleFrame>& frames) {
  testing::TempDir dir;
  const std::string path = dir.File("clip.avi");
  WriteAvi(path, clip.width, clip.height, frames);
  return DecodeAvi(path);
}

std::string Hex(std::uint32_t colour) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%06X", colour);
  return text;
}

// Names the first differing pixel, which says more than two megabytes of vector output.
::testing::AssertionResult SamePictures(const Clip& clip, const std::vector<Picture>& decoded) {
  if (decoded.size() != clip.pictures.size()) {
    return ::testing::AssertionFailure()
           << decoded.size() << " pictures decoded, " << clip.pictures.size() << " encoded";
  }
  for (std::size_t f = 0; f < decoded.size(); ++f) {
    for (std::size_t p = 0; p < decoded[f].size(); ++p) {
      if (decoded[f][p] != clip.pictures[f][p]) {
        return ::testing::AssertionFailure()
               << "frame " << f << " pixel (" << p % clip.width << ", row " << p / clip.width
               << " from the bottom): " << Hex(decoded[f][p]) << " instead of "
               << Hex(clip.pictures[f][p]);
      }
    }
  }
  return ::testing::AssertionSuccess();
}

// ---- pictures of at most 256 colours ----------------------------------------------------------

std::vector<std::uint32_t> ColourSet(int count, std::uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<std::uint32_t> colours;
  while (static_cast<int>(colours.size()) < count) {
    const std::uint32_t colour = random() & 0x00FFFFFF;
    if (std::find(colours.begin(), colours.end(), colour) == colours.end()) {
      colours.push_back(colour);
    }
  }
  return colours;
}

Picture Noise(int width, int height, const std::vector<std::uint32_t>& colours,
              std::uint32_t seed) {
  std::mt19937 random(seed);
  Picture picture(static_cast<std::size_t>(width) * height);
  for (std::uint32_t& pixel : picture) {
    pixel = colours[random() % colours.size()];
  }
  return picture;
}

void Fill(Picture& picture, int width, int x0, int row0, int x1, int row1, std::uint32_t colour) {
  for (int row = row0; row < row1; ++row) {
    for (int x = x0; x < x1; ++x) {
      picture[static_cast<std::size_t>(row) * width + x] = colour;
    }
  }
}

Clip OnePixelChangingColour() {
  return {1, 1, {{0x102030}, {0x102030}, {0xFFFFFF}, {0x000000}, {0xABCDEF}}};
}

Clip OddSizedNoiseChangingInPlaces() {
  const auto colours = ColourSet(40, 1);
  Clip clip{7, 5, {Noise(7, 5, colours, 2)}};
  std::mt19937 random(3);
  for (int f = 0; f < 6; ++f) {
    Picture next = clip.pictures.back();
    for (int k = 0; k < 4; ++k) {
      next[random() % next.size()] = colours[random() % colours.size()];
    }
    clip.pictures.push_back(next);
  }
  return clip;
}

// Runs of 254, 255, 256 and 510 pixels, then boundaries moved by one.
Clip RunsAroundTheLimit() {
  const int width = 1300;
  Clip clip{width, 3, {}};
  for (int shift = 0; shift < 3; ++shift) {
    Picture picture(static_cast<std::size_t>(width) * 3, 0x202020);
    int x = 0;
    std::uint32_t colour = 0x3060C0;
    for (int length : {254 + shift, 255, 256 - shift, 510}) {
      Fill(picture, width, x, 0, x + length, 3, colour++);
      x += length;
    }
    clip.pictures.push_back(picture);
  }
  return clip;
}

// No two neighbours alike: literals of the longest length, odd lengths padded.
Clip LiteralsAroundTheLimit() {
  const int width = 517;
  Clip clip{width, 4, {}};
  const auto colours = ColourSet(256, 4);
  Picture picture(static_cast<std::size_t>(width) * 4);
  for (std::size_t i = 0; i < picture.size(); ++i) {
    picture[i] = colours[(i * 7) % 256];
  }
  clip.pictures.push_back(picture);
  picture[width + 300] = picture[width + 301];  // a pair inside a literal
  Fill(picture, width, 3, 2, 258, 3, colours[9]);
  clip.pictures.push_back(picture);
  return clip;
}

// Changes far apart: skips of more than 255 rows and columns, and backwards to a lower column.
Clip ChangesFarApart() {
  const int width = 700;
  const int height = 600;
  Clip clip{width, height, {Picture(static_cast<std::size_t>(width) * height, 0xE0E0E0)}};
  Picture next = clip.pictures.back();
  next[2 * width + 650] = 0x0000FF;
  next[300 * width + 10] = 0x00FF00;
  next[300 * width + 299] = 0xFF0000;
  next[599 * width + 699] = 0x123456;
  clip.pictures.push_back(next);
  next[599 * width + 699] = 0xE0E0E0;
  next[599 * width + 0] = 0x654321;
  clip.pictures.push_back(next);
  return clip;
}

// Changed pixels with gaps of 6 to 9 unchanged ones between them, around the skip threshold.
Clip GapsAroundTheSkipThreshold() {
  const int width = 200;
  Clip clip{width, 4, {Picture(static_cast<std::size_t>(width) * 4, 0x404040)}};
  for (int gap = 6; gap <= 9; ++gap) {
    Picture next = clip.pictures.back();
    for (int x = gap; x < width; x += gap + 1) {
      next[static_cast<std::size_t>(gap - 6) * width + x] ^= 0x00FF00;
    }
    clip.pictures.push_back(next);
  }
  return clip;
}

// Every frame trades colours for new ones: the palette must follow with reused entries.
Clip ColoursReplacedEveryFrame() {
  const int width = 60;
  const int height = 50;
  Clip clip{width, height, {}};
  for (int f = 0; f < 6; ++f) {
    clip.pictures.push_back(Noise(width, height, ColourSet(200, 10 + f), 20 + f));
  }
  return clip;
}

// Colours leave the picture and others take their entries between key frames: the lower half's
// 100 colours give way to one, then 150 new ones arrive, which fit only in the freed entries.
Clip ColoursTradedBetweenKeyFrames() {
  const int width = 120;
  const int height = 80;
  const auto upper = ColourSet(100, 30);
  const auto lower = ColourSet(100, 31);
  const auto fresh = ColourSet(150, 32);
  Picture picture = Noise(width, height, lower, 33);
  const Picture upperNoise = Noise(width, height, upper, 34);
  std::copy(upperNoise.begin() + static_cast<std::ptrdiff_t>(width) * 40, upperNoise.end(),
            picture.begin() + static_cast<std::ptrdiff_t>(width) * 40);
  Clip clip{width, height, {picture}};
  Fill(picture, width, 0, 0, width, 40, 0x00FFFF);
  clip.pictures.push_back(picture);
  for (int row = 0; row < 40; ++row) {
    for (int x = 0; x < width; ++x) {
      picture[static_cast<std::size_t>(row) * width + x] = fresh[(row * 7 + x) % fresh.size()];
    }
  }
  clip.pictures.push_back(picture);
  return clip;
}

// A colour moves within the changed stretch while a new colour arrives: the entry it moves with
// looks free once the old pixels are released, and must not be given to the newcomer.
Clip ColourMovesWhileAnotherArrives() {
  const int width = 40;
  Picture picture(static_cast<std::size_t>(width) * 2, 0x808080);
  Fill(picture, width, 0, 0, 10, 1, 0xAA5500);
  Clip clip{width, 2, {picture}};
  Fill(picture, width, 0, 0, 10, 1, 0x0055AA);
  Fill(picture, width, 20, 0, 30, 1, 0xAA5500);
  clip.pictures.push_back(picture);
  return clip;
}

// Exactly 256 colours, then two of them swapped for two new ones.
Clip AllEntriesUsed() {
  Clip clip{16, 16, {Picture(256)}};
  const auto colours = ColourSet(256, 40);
  std::copy(colours.begin(), colours.end(), clip.pictures[0].begin());
  Picture next = clip.pictures[0];
  next[0] = 0xFEFEFE;
  next[255] = 0x010101;
  clip.pictures.push_back(next);
  return clip;
}

// A picture that codes to exactly the size of the uncompressed picture (4 x 2 of one colour is
// two runs, an end of line and the end code: 8 bytes) must not be mistaken for one.
Clip SizeOfTheUncompressedPicture() {
  return {4, 2, {Picture(8, 0x3366CC), Picture(8, 0x3366CC), Picture(8, 0xCC6633)}};
}

struct ExactCase {
  const char* name;
  std::function<Clip()> make;
  int keyInterval;
};

class RleExactness : public ::testing::TestWithParam<ExactCase> {};

TEST_P(RleExactness, DecodesToTheSamePictures) {
  const Clip clip = GetParam().make();
  const auto frames = EncodeClip(clip, GetParam().keyInterval);
  EXPECT_TRUE(SamePictures(clip, RoundTrip(clip, frames)));
}

INSTANTIATE_TEST_SUITE_P(
    FewColours, RleExactness,
    ::testing::Values(
        ExactCase{"OnePixel", OnePixelChangingColour, 100},
        ExactCase{"OddSizedNoise", OddSizedNoiseChangingInPlaces, 3},
        ExactCase{"RunsAroundTheLimit", RunsAroundTheLimit, 100},
        ExactCase{"LiteralsAroundTheLimit", LiteralsAroundTheLimit, 100},
        ExactCase{"ChangesFarApart", ChangesFarApart, 100},
        ExactCase{"GapsAroundTheSkipThreshold", GapsAroundTheSkipThreshold, 100},
        ExactCase{"ColoursReplacedEveryFrame", ColoursReplacedEveryFrame, 100},
        ExactCase{"ColoursTradedBetweenKeyFrames", ColoursTradedBetweenKeyFrames, 100},
        ExactCase{"ColourMovesWhileAnotherArrives", ColourMovesWhileAnotherArrives, 100},
        ExactCase{"AllEntriesUsed", AllEntriesUsed, 100},
        ExactCase{"SizeOfTheUncompressedPicture", SizeOfTheUncompressedPicture, 2}),
    [](const auto& row) { return std::string(row.param.name); });

// Random rectangles in random sizes: colours come and go, now and then a gradient of many
// colours passes through. Every picture of at most 256 colours must come back exactly.
TEST(RleEncoder, RandomEditsKeepEveryFewColouredPictureExact) {
  int checked = 0;
  int rich = 0;
  for (std::uint32_t seed = 1; seed <= 24; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    const int width = 1 + static_cast<int>(random() % 300);
    const int height = 1 + static_cast<int>(random() % 120);
    const auto pool = ColourSet(256, 1000 + seed);
    Clip clip{width, height, {Picture(static_cast<std::size_t>(width) * height, pool[0])}};
    for (int f = 0; f < 10; ++f) {
      Picture next = clip.pictures.back();
      for (int edits = 1 + static_cast<int>(random() % 6); edits > 0; --edits) {
        const int x0 = static_cast<int>(random() % width);
        const int row0 = static_cast<int>(random() % height);
        const int x1 = x0 + 1 + static_cast<int>(random() % (width - x0));
        const int row1 = row0 + 1 + static_cast<int>(random() % (height - row0));
        const bool gradient = random() % 16 == 0;
        const bool noise = random() % 3 == 0;
        for (int row = row0; row < row1; ++row) {
          for (int x = x0; x < x1; ++x) {
            std::uint32_t& pixel = next[static_cast<std::size_t>(row) * width + x];
            pixel = gradient
                        ? static_cast<std::uint32_t>((x * 5 % 256) << 16 | (row * 3 % 256) << 8)
                    : noise ? pool[random() % pool.size()]
                            : pool[(seed + static_cast<std::uint32_t>(f)) % pool.size()];
          }
        }
      }
      clip.pictures.push_back(next);
    }
    const auto frames = EncodeClip(clip, 1 + static_cast<int>(random() % 6));
    const auto decoded = RoundTrip(clip, frames);
    ASSERT_EQ(decoded.size(), clip.pictures.size());
    for (std::size_t f = 0; f < decoded.size(); ++f) {
      CColourCounter colours(256);
      bool few = true;
      for (const std::uint32_t pixel : clip.pictures[f]) {
        few = few && colours.Add(pixel, 1);
      }
      if (few) {
        ++checked;
        EXPECT_TRUE(SamePictures({width, height, {clip.pictures[f]}}, {decoded[f]}))
            << "frame " << f;
      } else {
        ++rich;
      }
    }
  }
  // Both kinds of picture, and returns from many colours to few, must have been tried.
  EXPECT_GT(checked, 150);
  EXPECT_GT(rich, 20);
}

TEST(RleEncoder, CodedPictureNeverHasTheUncompressedSize) {
  const Clip clip = SizeOfTheUncompressedPicture();
  for (const RleFrame& frame : EncodeClip(clip, 2)) {
    EXPECT_NE(frame.data.size(), 8u);
  }
}

// ---- inter frames ------------------------------------------------------------------------------

TEST(RleEncoder, UnchangedPictureCostsOnlyTheEndCode) {
  const Picture desktop = testing::RenderDesktop(640, 480, 0);
  CRleEncoder encoder(640, 480, 100);
  RleFrame frame;
  encoder.Encode(desktop, frame);
  encoder.Encode(desktop, frame);
  EXPECT_FALSE(frame.key);
  EXPECT_FALSE(frame.paletteChanged);
  EXPECT_EQ(std::vector<std::uint8_t>(frame.data.span().begin(), frame.data.span().end()),
            (std::vector<std::uint8_t>{0, 1}));
}

// A spacer is coded without looking at its picture; the stream must be the one that coding the
// same picture again gives. When a key frame is due the picture is needed after all.
TEST(RleEncoder, UnchangedPictureCodedUnseenEqualsCodingItAgain) {
  constexpr int kWidth = 320;
  constexpr int kHeight = 200;
  CRleEncoder seeing(kWidth, kHeight, 4);
  CRleEncoder unseeing(kWidth, kHeight, 4);
  RleFrame seen;
  RleFrame unseen;
  EXPECT_FALSE(unseeing.EncodeUnchanged(unseen));  // nothing to repeat yet
  int codedUnseen = 0;
  for (int i = 0; i < 14; ++i) {
    const bool repeat = i % 3 != 0;
    const Picture picture = testing::RenderDesktop(kWidth, kHeight, i - i % 3);
    seeing.Encode(picture, seen);
    if (repeat && unseeing.EncodeUnchanged(unseen)) {
      ++codedUnseen;
    } else {
      EXPECT_TRUE(!repeat || seen.key) << i << ": only a due key frame needs the picture";
      unseeing.Encode(picture, unseen);
    }
    EXPECT_EQ(unseen.data, seen.data) << i;
    EXPECT_EQ(unseen.key, seen.key) << i;
    EXPECT_EQ(unseen.paletteChanged, seen.paletteChanged) << i;
    EXPECT_EQ(unseen.palette, seen.palette) << i;
  }
  EXPECT_GE(codedUnseen, 6);
}

TEST(RleEncoder, SmallChangeCostsFewBytes) {
  const int width = 640;
  const int height = 480;
  Picture screen(static_cast<std::size_t>(width) * height, 0x3A6EA5);
  Fill(screen, width, 40, 60, 500, 400, 0xF0F0F0);
  Fill(screen, width, 0, 0, width, 30, 0x202020);
  Picture next = screen;
  Fill(next, width, 600, 300, 604, 302, 0xFF00FF);
  const Clip clip{width, height, {screen, next}};
  const auto frames = EncodeClip(clip, 100);
  EXPECT_FALSE(frames[1].key);
  EXPECT_LT(frames[1].data.size(), 48u);
  EXPECT_TRUE(SamePictures(clip, RoundTrip(clip, frames)));
}

TEST(RleEncoder, KeyFramesComeAtTheInterval) {
  struct Row {
    const char* name;
    int keyInterval;
    std::vector<int> keys;
  };
  for (const Row& row : {Row{"every frame", 1, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
                         Row{"every fifth", 5, {0, 5, 10}}, Row{"every tenth", 10, {0, 10}}}) {
    SCOPED_TRACE(row.name);
    const int width = 40;
    Clip clip{width, 30, {Picture(static_cast<std::size_t>(width) * 30, 0x808080)}};
    for (int f = 1; f < 12; ++f) {
      Picture next = clip.pictures.back();
      next[static_cast<std::size_t>(f)] = 0x0000FF;
      clip.pictures.push_back(next);
    }
    std::vector<int> keys;
    const auto frames = EncodeClip(clip, row.keyInterval);
    for (std::size_t f = 0; f < frames.size(); ++f) {
      if (frames[f].key) {
        keys.push_back(static_cast<int>(f));
      }
    }
    EXPECT_EQ(keys, row.keys);
  }
}

TEST(RleEncoder, KeyFramesDecodeWithoutTheFramesBefore) {
  const int width = 320;
  const int height = 200;
  Clip clip{width, height, {}};
  for (int f = 0; f < 9; ++f) {
    clip.pictures.push_back(Noise(width, height, ColourSet(50 + 20 * f, 50 + f), 60 + f));
  }
  const auto frames = EncodeClip(clip, 4);
  for (std::size_t f = 0; f < frames.size(); ++f) {
    if (frames[f].key) {
      EXPECT_TRUE(SamePictures({width, height, {clip.pictures[f]}},
                               {DecodeAlone(width, height, frames[f])}))
          << "key frame " << f;
    }
  }
}

TEST(RleEncoder, PaletteChangesAreFlaggedAndCarryTheColours) {
  const int width = 50;
  Clip clip{width, 40, {Picture(static_cast<std::size_t>(width) * 40, 0x112233)}};
  clip.pictures.push_back(clip.pictures[0]);
  Picture withRed = clip.pictures[0];
  withRed[5] = 0xFF0000;
  clip.pictures.push_back(withRed);
  clip.pictures.push_back(withRed);
  const auto frames = EncodeClip(clip, 100);
  EXPECT_TRUE(frames[0].paletteChanged);
  EXPECT_FALSE(frames[1].paletteChanged);
  EXPECT_TRUE(frames[2].paletteChanged);
  EXPECT_FALSE(frames[2].key);
  EXPECT_FALSE(frames[3].paletteChanged);
  for (const std::uint32_t colour : {0x112233u, 0xFF0000u}) {
    EXPECT_NE(std::find(frames[3].palette.begin(), frames[3].palette.end(), colour),
              frames[3].palette.end());
  }
}

TEST(RleEncoder, FreedEntriesTakeNewColoursWithoutAKeyFrame) {
  const auto frames = EncodeClip(ColoursTradedBetweenKeyFrames(), 100);
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_FALSE(frames[2].key);
  EXPECT_TRUE(frames[2].paletteChanged);
}

// ---- pictures of many colours -----------------------------------------------------------------

TEST(RleEncoder, DesktopOfManyColoursReaches38Decibels) {
  const int width = 800;
  const int height = 600;
  Clip clip{width, height, {}};
  for (int f = 0; f < 12; ++f) {
    clip.pictures.push_back(testing::RenderDesktop(width, height, f * 3));
  }
  const auto frames = EncodeClip(clip, 100);
  const auto decoded = RoundTrip(clip, frames);
  ASSERT_EQ(decoded.size(), clip.pictures.size());
  for (std::size_t f = 0; f < decoded.size(); ++f) {
    EXPECT_GE(testing::PeakSignalToNoise(clip.pictures[f], decoded[f]), 38.0) << "frame " << f;
  }
}

TEST(RleEncoder, ScrolledDocumentReaches38Decibels) {
  const int width = 640;
  const int height = 400;
  Clip clip{width, height, {}};
  for (int f = 0; f < 8; ++f) {
    clip.pictures.push_back(testing::RenderScrolledDocument(width, height, f));
  }
  const auto decoded = RoundTrip(clip, EncodeClip(clip, 100));
  ASSERT_EQ(decoded.size(), clip.pictures.size());
  for (std::size_t f = 0; f < decoded.size(); ++f) {
    EXPECT_GE(testing::PeakSignalToNoise(clip.pictures[f], decoded[f]), 38.0) << "frame " << f;
  }
}

// Approximated pixels left over from a rich picture must not spoil a later picture that fits the
// palette exactly: the rich picture has 36000 colours, the later one keeps 240 of them.
TEST(RleEncoder, BackToFewColoursIsExactAgain) {
  const int width = 600;
  const int height = 60;
  Picture rich(static_cast<std::size_t>(width) * height);
  for (int row = 0; row < height; ++row) {
    for (int x = 0; x < width; ++x) {
      rich[static_cast<std::size_t>(row) * width + x] = static_cast<std::uint32_t>(
          (x * 37 % 256) << 16 | (x * 11 % 256) << 8 | ((x / 3 + row * 4) % 256));
    }
  }
  Picture poor = rich;
  Fill(poor, width, 4, 0, width, height, 0x203040);
  Clip clip{width, height, {rich, poor, poor}};
  const auto decoded = RoundTrip(clip, EncodeClip(clip, 100));
  ASSERT_EQ(decoded.size(), 3u);
  EXPECT_TRUE(SamePictures({width, height, {poor, poor}}, {decoded[1], decoded[2]}));
}

// A rich picture replacing a plain one between key frames gets a palette of its own at once.
TEST(RleEncoder, RichPictureArrivingBetweenKeyFramesGetsItsPalette) {
  const int width = 640;
  const int height = 480;
  Clip clip{width,
            height,
            {Picture(static_cast<std::size_t>(width) * height, 0xC0C0C0),
             testing::RenderDesktop(width, height, 0)}};
  const auto frames = EncodeClip(clip, 100);
  const auto decoded = RoundTrip(clip, frames);
  ASSERT_EQ(decoded.size(), 2u);
  EXPECT_TRUE(frames[1].paletteChanged);
  EXPECT_GE(testing::PeakSignalToNoise(clip.pictures[1], decoded[1]), 38.0);
}

// Once every buffer has reached its size, neither inter frames nor key frames with a fitted
// palette allocate: the recorder encodes on its streaming thread, picture after picture.
TEST(RleEncoder, AllocatesNothingOnceWarm) {
  const int width = 640;
  const int height = 480;
  std::vector<Picture> pictures;
  for (int f = 0; f < 12; ++f) {
    pictures.push_back(testing::RenderDesktop(width, height, f));
  }
  CRleEncoder encoder(width, height, 6);  // key frames at the same pictures on every pass
  RleFrame frame;
  for (int pass = 0; pass < 2; ++pass) {
    for (const Picture& picture : pictures) {
      encoder.Encode(picture, frame);
    }
  }
  const testing::CAllocationCount allocations;
  for (const Picture& picture : pictures) {
    encoder.Encode(picture, frame);
  }
  EXPECT_EQ(allocations.Made(), 0u);
}

// A photograph opening over a rich desktop between key frames, then changing: its colours must
// not be left to a palette fitted to the desktop alone, nor be spoilt by entries handed to a few
// of its own pixels as it changes.
TEST(RleEncoder, PhotographOpeningBetweenKeyFramesIsFittedAtOnce) {
  const int width = 640;
  const int height = 480;
  Clip clip{width, height, {testing::RenderDesktop(width, height, 0)}};
  for (int f = 1; f < 8; ++f) {
    Picture picture = testing::RenderDesktop(width, height, 0);
    for (int row = 100; row < 300; ++row) {
      for (int x = 200; x < 500; ++x) {
        const double r = 128 + 100 * std::sin(x * 0.031 + row * 0.017 + f * 0.1);
        const double g = 128 + 90 * std::sin(x * 0.012 - row * 0.026);
        const double b = 128 + 110 * std::sin((x + row) * 0.021 + std::sin(row * 0.05) * 2);
        picture[static_cast<std::size_t>(row) * width + x] = static_cast<std::uint32_t>(r) << 16 |
                                                             static_cast<std::uint32_t>(g) << 8 |
                                                             static_cast<std::uint32_t>(b);
      }
    }
    clip.pictures.push_back(picture);
  }
  const auto decoded = RoundTrip(clip, EncodeClip(clip, 100));
  ASSERT_EQ(decoded.size(), clip.pictures.size());
  for (std::size_t f = 1; f < decoded.size(); ++f) {
    EXPECT_GE(testing::PeakSignalToNoise(clip.pictures[f], decoded[f]), 33.0) << "frame " << f;
  }
}

// ---- the ffmpeg tool ---------------------------------------------------------------------------

TEST(RleEncoder, FfmpegToolDecodesTheFileExactlyAndSilently) {
  Clip clip = ColoursTradedBetweenKeyFrames();
  for (const Picture& extra : ColoursReplacedEveryFrame().pictures) {
    Picture resized(static_cast<std::size_t>(clip.width) * clip.height, 0);
    std::copy(extra.begin(), extra.end(), resized.begin());
    clip.pictures.push_back(resized);
  }
  testing::TempDir dir;
  const std::string path = dir.File("tool.avi");
  WriteAvi(path, clip.width, clip.height, EncodeClip(clip, 5));

  const auto messages = testing::RunProcess(
      {"/bin/sh", "-c", "/usr/bin/ffmpeg -nostdin -v error -i '" + path + "' -f null - 2>&1"});
  EXPECT_EQ(messages.exitStatus, 0);
  EXPECT_EQ(messages.output, "");

  const auto raw = testing::RunProcess({"/usr/bin/ffmpeg", "-nostdin", "-v", "error", "-i", path,
                                        "-f", "rawvideo", "-pix_fmt", "bgr0", "-"});
  ASSERT_EQ(raw.exitStatus, 0);
  const std::size_t pictureBytes = clip.pictures[0].size() * 4;
  ASSERT_EQ(raw.output.size(), pictureBytes * clip.pictures.size());
  std::vector<Picture> decoded;
  for (std::size_t f = 0; f < clip.pictures.size(); ++f) {
    Picture topDown(clip.pictures[0].size());
    std::memcpy(topDown.data(), raw.output.data() + f * pictureBytes, pictureBytes);
    for (std::uint32_t& pixel : topDown) {
      pixel &= 0x00FFFFFF;  // the padding byte comes out as 0xFF
    }
    Picture bottomUp(topDown.size());
    for (int y = 0; y < clip.height; ++y) {
      std::copy_n(topDown.begin() + static_cast<std::ptrdiff_t>(y) * clip.width, clip.width,
                  bottomUp.begin() + static_cast<std::ptrdiff_t>(clip.height - 1 - y) * clip.width);
    }
    decoded.push_back(bottomUp);
  }
  EXPECT_TRUE(SamePictures(clip, decoded));
}

// ---- arguments ---------------------------------------------------------------------------------

TEST(RleEncoder, RefusesImpossibleSizesAndIntervals) {
  struct Row {
    const char* name;
    int width;
    int height;
    int keyInterval;
  };
  for (const Row& row : {Row{"zero width", 0, 10, 10}, Row{"negative height", 10, -1, 10},
                         Row{"too wide", 65536, 1, 10}, Row{"no key frames", 10, 10, 0}}) {
    SCOPED_TRACE(row.name);
    EXPECT_THROW(CRleEncoder(row.width, row.height, row.keyInterval), std::invalid_argument);
  }
}

TEST(RleEncoder, RefusesAPictureOfTheWrongSize) {
  CRleEncoder encoder(10, 10, 10);
  RleFrame frame;
  EXPECT_THROW(encoder.Encode(Picture(99), frame), std::invalid_argument);
  EXPECT_THROW(encoder.Encode(Picture(101), frame), std::invalid_argument);
  EXPECT_NO_THROW(encoder.Encode(Picture(100), frame));
}

}  // namespace
}  // namespace reelkit
