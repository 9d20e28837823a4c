#include "recorders/push_source.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "recorders/result_codes.h"
#include "tests/testing/waiting.h"

namespace reelkit {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes BytesOf(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

// A gate the streaming thread can be held at.
class CGate {
 public:
  void Open() {
    {
      std::lock_guard guard(lock_);
      open_ = true;
    }
    changed_.notify_all();
  }
  // A test that fails before it opens the gate must not leave the thread held for ever.
  void Pass() {
    std::unique_lock guard(lock_);
    changed_.wait_for(guard, testing::kHangDeadline, [&] { return open_; });
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  bool open_ = false;
};

struct ReceivedSample {
  Bytes data;
  Time start = 0;
  Time stop = 0;
  bool syncPoint = false;
  bool repeatsPrevious = false;
};

// Stands in for the compressor: records what arrives, can hold the streaming thread at a gate
// inside the delivery of one sample, and can fail one delivery.
class CRecordingReceiver : public IInputPin {
 public:
  std::uint32_t Receive(const MediaSample& sample) override {
    std::size_t index = 0;
    {
      std::lock_guard guard(lock_);
      samples_.push_back({Bytes(sample.data.begin(), sample.data.end()), sample.start, sample.stop,
                          sample.syncPoint, sample.repeatsPrevious});
      index = samples_.size() - 1;
    }
    changed_.notify_all();
    if (index == holdAt) {
      gate.Pass();
    }
    if (index == exhaustMemoryAt) {
      throw std::bad_alloc();
    }
    return index == failAt ? kResultFail : 0;
  }
  std::uint32_t EndOfStream() override {
    {
      std::lock_guard guard(lock_);
      ++endOfStreams_;
    }
    changed_.notify_all();
    return 0;
  }

  void WaitForSamples(std::size_t count) {
    std::unique_lock guard(lock_);
    if (!changed_.wait_for(guard, testing::kHangDeadline,
                           [&] { return samples_.size() >= count; })) {
      ADD_FAILURE() << "sample " << count << " never arrived";
    }
  }
  std::vector<ReceivedSample> Samples() {
    std::lock_guard guard(lock_);
    return samples_;
  }
  int EndOfStreams() {
    std::lock_guard guard(lock_);
    return endOfStreams_;
  }

  std::size_t holdAt = SIZE_MAX;
  std::size_t failAt = SIZE_MAX;
  std::size_t exhaustMemoryAt = SIZE_MAX;
  CGate gate;

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  std::vector<ReceivedSample> samples_;
  int endOfStreams_ = 0;
};

BitmapFormat FormatOf(int width, int height, std::uint16_t bitCount, std::uint32_t sizeImage) {
  BitmapInfoHeader header;
  header.width = width;
  header.height = height;
  header.bitCount = bitCount;
  header.sizeImage = sizeImage;
  return BitmapFormat(header);
}

class PushPinTest : public ::testing::Test {
 protected:
  void Start(std::uint32_t sizeImage = 64) {
    const BitmapFormat format = FormatOf(4, 4, 32, sizeImage);
    pin_.SetFrameFormat(format.Bytes(), kMasks555, 1000);
    ASSERT_EQ(pin_.Connect(receiver_), 0u);
    ASSERT_EQ(pin_.Active(), 0u);
  }
  void HoldThreadInFirstDelivery() {
    receiver_.holdAt = 0;
    ASSERT_EQ(pin_.DeliverFrame(0, first_, 0, 10, {}, true), 0u);
    receiver_.WaitForSamples(1);
  }
  void WaitForStopRequest() {
    const auto deadline = std::chrono::steady_clock::now() + testing::kHangDeadline;
    while (!pin_.StopRequested()) {
      if (std::chrono::steady_clock::now() > deadline) {
        ADD_FAILURE() << "the stop was never requested";
        return;
      }
      std::this_thread::yield();
    }
  }

  CRecordingReceiver receiver_;
  CPushPinBitmap pin_;
  Bytes first_ = BytesOf("first");
  Bytes second_ = BytesOf("second");
};

TEST_F(PushPinTest, RefusesFramesAndFinishWhileNotConnected) {
  const Bytes picture = BytesOf("abcd");
  EXPECT_EQ(pin_.DeliverFrame(0, picture, 0, 1, {}, true), kResultUnexpected);
  EXPECT_EQ(pin_.FinishStream(PendingFrame::Deliver), kResultUnexpected);
}

struct SampleLayoutRow {
  const char* name;
  std::uint32_t kind;
  const char* packet;
  const char* picture;
  bool copyMode;
  std::string expected;
};

class SampleLayoutTest : public ::testing::TestWithParam<SampleLayoutRow> {};

TEST_P(SampleLayoutTest, SampleHoldsTagPacketAndPicture) {
  const SampleLayoutRow& row = GetParam();
  CRecordingReceiver receiver;
  CPushPinBitmap pin;
  pin.SetFrameFormat(FormatOf(2, 2, 32, 4).Bytes(), kMasks555, 1000);
  ASSERT_EQ(pin.Connect(receiver), 0u);
  ASSERT_EQ(pin.Active(), 0u);
  const Bytes packet = BytesOf(row.packet);
  const Bytes picture = BytesOf(row.picture);
  ASSERT_EQ(pin.DeliverFrame(row.kind, picture, 30, 40, packet, row.copyMode), 0u);
  ASSERT_EQ(pin.FinishStream(PendingFrame::Deliver), 0u);
  pin.WaitForLoopEnd();
  ASSERT_EQ(receiver.Samples().size(), 1u);
  const ReceivedSample sample = receiver.Samples().at(0);
  EXPECT_EQ(sample.data, BytesOf(row.expected));
  EXPECT_EQ(sample.start, 30);
  EXPECT_EQ(sample.stop, 40);
  EXPECT_TRUE(sample.syncPoint);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, SampleLayoutTest,
    ::testing::Values(
        SampleLayoutRow{"KeyBundleIsTagged", 9, "FINTdata", "", false, "KBNDFINTdata"},
        SampleLayoutRow{"EmptySpacerIsTheTagAlone", 10, "", "", false, "EMPT"},
        SampleLayoutRow{"PictureKindHasNoTag", 0, "", "pixels", false, "pixels"},
        SampleLayoutRow{"UnknownKindGetsZeroTag", 42, "p", "", false, std::string("\0\0\0\0p", 5)},
        SampleLayoutRow{"PacketThenPicture", 8, "pk", "pic", false, "BNDLpkpic"},
        // Larger than the 4-byte buffer the format asks for: nothing is cut off.
        SampleLayoutRow{"LargeSampleArrivesWhole", 8, "0123456789", "abcdefghij", false,
                        "BNDL0123456789abcdefghij"},
        SampleLayoutRow{"CopyModeCarriesPictureOnly", 8, "ignored", "picture", true, "picture"}),
    [](const auto& rowInfo) { return std::string(rowInfo.param.name); });

TEST_F(PushPinTest, CopyModeIsBusyWhileAPictureIsPending) {
  Start();
  HoldThreadInFirstDelivery();
  EXPECT_EQ(pin_.DeliverFrame(0, second_, 10, 20, {}, true), 0u);
  const Bytes third = BytesOf("third");
  EXPECT_EQ(pin_.DeliverFrame(0, third, 10, 20, {}, true), kErrorBusy);
  receiver_.gate.Open();
  pin_.WaitUntilReady();
  EXPECT_EQ(pin_.DeliverFrame(0, third, 20, 30, {}, true), 0u);
  receiver_.WaitForSamples(3);
  const auto samples = receiver_.Samples();
  EXPECT_EQ(samples[1].data, second_);
  EXPECT_EQ(samples[2].data, third);
}

TEST_F(PushPinTest, CopyModeOwnsItsCopyOfThePicture) {
  Start();
  HoldThreadInFirstDelivery();
  Bytes picture = BytesOf("before");
  ASSERT_EQ(pin_.DeliverFrame(0, picture, 10, 20, {}, true), 0u);
  picture = BytesOf("after!");
  receiver_.gate.Open();
  receiver_.WaitForSamples(2);
  EXPECT_EQ(receiver_.Samples()[1].data, BytesOf("before"));
}

// A spacer (EMPT) repeats the picture before it: the caller's bytes are not even read, the sample
// keeps the last picture and goes downstream marked as a repeat. The first picture has nothing to
// repeat and is copied whatever its kind.
TEST_F(PushPinTest, CopyModeSpacerRepeatsTheLastPictureWithoutCopyingIt) {
  constexpr std::uint32_t kEmpt = 10;
  Start();
  ASSERT_EQ(pin_.DeliverFrame(kEmpt, first_, 0, 10, {}, true), 0u);
  pin_.WaitUntilReady();
  ASSERT_EQ(pin_.DeliverFrame(kEmpt, second_, 10, 20, {}, true), 0u);
  pin_.WaitUntilReady();
  ASSERT_EQ(pin_.DeliverFrame(0, second_, 20, 30, {}, true), 0u);
  pin_.WaitUntilReady();
  ASSERT_EQ(pin_.DeliverFrame(kEmpt, first_, 30, 40, {}, true), 0u);
  receiver_.WaitForSamples(4);
  const auto samples = receiver_.Samples();
  const std::vector<std::pair<Bytes, bool>> expected = {
      {first_, false}, {first_, true}, {second_, false}, {second_, true}};
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(samples[i].data, expected[i].first) << i;
    EXPECT_EQ(samples[i].repeatsPrevious, expected[i].second) << i;
    EXPECT_EQ(samples[i].start, static_cast<Time>(10 * i)) << i;
  }
}

// A pass-through conversion hands over thousands of frames a second, most of them spacers, in
// batches, with now and then a frame too large for a batch that goes on its own: none may be lost,
// doubled, reordered or left behind when the stream finishes.
TEST_F(PushPinTest, ManyPassThroughFramesArriveInOrderAcrossBatches) {
  constexpr int kFrames = 20000;
  constexpr std::uint32_t kBndl = 8;
  constexpr std::uint32_t kEmpt = 10;
  const auto packetOf = [](int i) -> Bytes {
    if (i % 3 != 0) {
      return {};  // a spacer
    }
    const std::size_t size = i % 4000 == 0 ? CFrameBatch::kLargestFrame + 1 : 2;
    Bytes packet(size, static_cast<std::uint8_t>(i >> 8));
    packet.front() = static_cast<std::uint8_t>(i);
    return packet;
  };
  Start();
  for (int i = 0; i < kFrames; ++i) {
    const Bytes packet = packetOf(i);
    ASSERT_EQ(pin_.DeliverFrame(packet.empty() ? kEmpt : kBndl, {}, Time{10} * i, Time{10} * i + 10,
                                packet, false),
              0u)
        << i;
  }
  ASSERT_EQ(pin_.FinishStream(PendingFrame::Deliver), 0u);
  pin_.WaitForLoopEnd();
  const auto samples = receiver_.Samples();
  ASSERT_EQ(samples.size(), static_cast<std::size_t>(kFrames));
  for (int i = 0; i < kFrames; ++i) {
    const Bytes packet = packetOf(i);
    Bytes expected = BytesOf(packet.empty() ? "EMPT" : "BNDL");
    expected.insert(expected.end(), packet.begin(), packet.end());
    ASSERT_EQ(samples[i].data, expected) << i;
    ASSERT_EQ(samples[i].start, Time{10} * i) << i;
    ASSERT_EQ(samples[i].stop, Time{10} * i + 10) << i;
  }
  EXPECT_EQ(receiver_.EndOfStreams(), 1);
}

// A frame copied into a batch costs the caller no wait at all; a frame too large to be copied
// twice is borrowed, and its caller waits out a busy streaming thread, but never a stopped one.
TEST_F(PushPinTest, PassThroughWaitsForABusyThreadOnlyWithABorrowedFrame) {
  Start();
  HoldThreadInFirstDelivery();
  EXPECT_EQ(pin_.DeliverFrame(8, {}, 10, 20, BytesOf("small"), false), 0u);
  const Bytes large(CFrameBatch::kLargestFrame + 1, 'L');
  auto handedOver =
      testing::StartBlockingCall([&] { return pin_.DeliverFrame(8, {}, 20, 30, large, false); });
  // Asleep while the thread is held at the gate: the hand-over waits, it has not returned.
  EXPECT_TRUE(handedOver.asleep);
  EXPECT_TRUE(handedOver.StillWaiting());
  receiver_.gate.Open();
  EXPECT_EQ(handedOver.result.get(), 0u);

  ASSERT_EQ(pin_.FinishStream(PendingFrame::Discard), 0u);
  pin_.WaitForLoopEnd();
  Bytes borrowed = BytesOf("borrowed");
  EXPECT_EQ(pin_.DeliverFrame(8, {}, 30, 40, borrowed, false), kErrorAccessDenied);
  EXPECT_EQ(pin_.DeliverFrame(8, {}, 30, 40, large, false), kErrorAccessDenied);
  // The caller may reuse its buffer at once: the refused frame must never be read.
  borrowed = BytesOf("REUSED!!");
  const auto samples = receiver_.Samples();
  ASSERT_EQ(samples.size(), 3u);
  EXPECT_EQ(samples[1].data, BytesOf("BNDLsmall"));
  EXPECT_EQ(samples[1].start, 10);
  EXPECT_EQ(samples[2].data.size(), large.size() + 4);
  EXPECT_EQ(samples[2].start, 20);
}

// The failure of the first frame reaches the caller when it hands over the third batch: the
// thread took the second batch after the first had gone out. That point never depends on how far
// the thread has got, and every frame still goes downstream.
TEST_F(PushPinTest, DownstreamFailureLatchesAndFramesKeepFlowing) {
  constexpr std::size_t kFrames = 3 * CFrameBatch::kFrames + 10;
  Start();
  receiver_.failAt = 0;
  const Bytes packet = BytesOf("x");
  for (std::size_t i = 0; i < kFrames; ++i) {
    const std::uint32_t expected = i + 1 < 3 * CFrameBatch::kFrames ? 0 : kResultFail;
    ASSERT_EQ(pin_.DeliverFrame(8, {}, Time{10} * i, Time{10} * i + 10, packet, false), expected)
        << i;
  }
  ASSERT_EQ(pin_.FinishStream(PendingFrame::Deliver), 0u);
  pin_.WaitForLoopEnd();
  EXPECT_EQ(receiver_.Samples().size(), kFrames);
  EXPECT_EQ(pin_.Status(), kResultFail);
  EXPECT_EQ(pin_.DeliverFrame(8, {}, 0, 10, packet, false), kResultFail);
}

// Running out of memory on the streaming thread ends the stream with a status the recorder reports,
// in either mode, instead of ending the process.
TEST_F(PushPinTest, MemoryRunningOutDownstreamEndsTheStreamWithAStatus) {
  Start();
  receiver_.exhaustMemoryAt = 0;
  ASSERT_EQ(pin_.DeliverFrame(0, first_, 0, 10, {}, true), 0u);
  pin_.WaitForLoopEnd();
  EXPECT_EQ(receiver_.EndOfStreams(), 1);
  EXPECT_EQ(pin_.Status(), kResultOutOfMemory);
  EXPECT_EQ(pin_.DeliverFrame(0, second_, 10, 20, {}, true), kResultOutOfMemory);
  EXPECT_EQ(pin_.DeliverFrame(8, {}, 20, 30, BytesOf("x"), false), kResultOutOfMemory);
}

TEST_F(PushPinTest, FinishDeliversThePendingPictureBeforeEndOfStream) {
  Start();
  HoldThreadInFirstDelivery();
  ASSERT_EQ(pin_.DeliverFrame(0, second_, 10, 20, {}, true), 0u);
  auto finished =
      std::async(std::launch::async, [&] { return pin_.FinishStream(PendingFrame::Deliver); });
  WaitForStopRequest();
  receiver_.gate.Open();
  EXPECT_EQ(finished.get(), 0u);
  pin_.WaitForLoopEnd();
  const auto samples = receiver_.Samples();
  ASSERT_EQ(samples.size(), 2u);
  EXPECT_EQ(samples[1].data, second_);
  EXPECT_EQ(receiver_.EndOfStreams(), 1);
}

TEST_F(PushPinTest, AbandonedStreamDropsThePendingPicture) {
  Start();
  HoldThreadInFirstDelivery();
  ASSERT_EQ(pin_.DeliverFrame(0, second_, 10, 20, {}, true), 0u);
  auto finished =
      std::async(std::launch::async, [&] { return pin_.FinishStream(PendingFrame::Discard); });
  WaitForStopRequest();
  receiver_.gate.Open();
  EXPECT_EQ(finished.get(), 0u);
  pin_.WaitForLoopEnd();
  EXPECT_EQ(receiver_.Samples().size(), 1u);
  EXPECT_EQ(receiver_.EndOfStreams(), 1);
  // A finished pin delivers nothing more.
  EXPECT_EQ(pin_.DeliverFrame(0, second_, 20, 30, {}, true), 0u);
  EXPECT_EQ(pin_.DeliverFrame(0, second_, 20, 30, {}, true), kErrorBusy);
}

TEST_F(PushPinTest, LoopThatNeverStartedIsNotWaitedFor) {
  const BitmapFormat format = FormatOf(4, 4, 32, 64);
  pin_.SetFrameFormat(format.Bytes(), kMasks555, 1000);
  ASSERT_EQ(pin_.Connect(receiver_), 0u);
  EXPECT_EQ(pin_.FinishStream(PendingFrame::Deliver), 0u);
  pin_.WaitForLoopEnd();
  pin_.WaitUntilReady();
  EXPECT_EQ(receiver_.EndOfStreams(), 0);
}

struct BufferSizeRow {
  const char* name;
  int width;
  int height;
  std::uint32_t sizeImage;
  std::size_t expected;
};

class BufferSizeTest : public ::testing::TestWithParam<BufferSizeRow> {};

TEST_P(BufferSizeTest, SampleBufferFollowsTheImageSize) {
  const BufferSizeRow& row = GetParam();
  CRecordingReceiver receiver;
  CPushPinBitmap pin;
  pin.SetFrameFormat(FormatOf(row.width, row.height, 32, row.sizeImage).Bytes(), kMasks555, 1);
  ASSERT_EQ(pin.Connect(receiver), 0u);
  EXPECT_EQ(pin.SampleCapacity(), row.expected);
}

INSTANTIATE_TEST_SUITE_P(Sizes, BufferSizeTest,
                         ::testing::Values(BufferSizeRow{"ImageSizeGiven", 10, 10, 500, 500},
                                           BufferSizeRow{"ImageSizeZero", 10, 10, 0, 864},
                                           BufferSizeRow{"TopDownImageSizeZero", 10, -10, 0, 864}),
                         [](const auto& rowInfo) { return std::string(rowInfo.param.name); });

TEST(PushPinTypeTest, OffersOnlyUncompressedPictures) {
  CRecordingReceiver receiver;
  CPushPinBitmap pin;
  BitmapFormat format = FormatOf(4, 4, 8, 16);
  BitmapInfoHeader header = format.Header();
  header.compression = 1;
  format.SetHeader(header);
  pin.SetFrameFormat(format.Bytes(), kMasks555, 1);
  EXPECT_EQ(pin.Connect(receiver), kResultFail);
}

}  // namespace
}  // namespace reelkit
