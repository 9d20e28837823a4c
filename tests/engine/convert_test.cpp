// ConvertFile is where every failure meets the client: exactly one OnError, and nothing escapes to
// end the front end's session, whatever was thrown.
#include "engine/convert.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <variant>

#include "tests/engine/engine_doubles.h"
#include "tests/testing/temp_dir.h"

namespace reelkit {
namespace {

using testing::RawRecordingBytes;
using testing::TempDir;

enum class Thrown { StdException, Other };

class ClientThatThrows final : public IReelkitClient {
 public:
  explicit ClientThatThrows(Thrown thrown) : thrown_(thrown) {}
  void OnStart(const std::string&) override {}
  void OnFinish(const ConversionStatistics&) override {}
  void OnError(const ConversionFailure& failure) override { errors.push_back(failure); }
  void OnProgress(double) override {
    if (thrown_ == Thrown::StdException) {
      throw std::runtime_error("the window is gone");
    }
    throw 42;
  }
  bool IsCancelRequested() override { return false; }

  std::vector<ConversionFailure> errors;

 private:
  Thrown thrown_;
};

TEST(ConvertFile, AStrayExceptionBecomesOneUnexpectedFailure) {
  RawRecordingBytes recording(8, 8, 32);
  recording.Record("MPOS", 1'000'000)
      .Record("MPOS", 2'000'000)
      .Record("MPOS", 3'000'000)
      .Record("MPOS", 4'000'000);
  TempDir dir;
  const std::string input = dir.Write("in.rcrec", recording.bytes.span());
  for (const auto& [thrown, what] :
       {std::pair{Thrown::StdException, "the window is gone"}, std::pair{Thrown::Other, ""}}) {
    ClientThatThrows client(thrown);
    bool converted = true;
    EXPECT_NO_THROW(
        converted = ConvertFile(input, dir.File("out.avi"), OutputFormat::MicrosoftRle, client));
    EXPECT_FALSE(converted);
    ASSERT_EQ(client.errors.size(), 1u);
    EXPECT_EQ(client.errors[0].kind, ConvertErrorKind::Unexpected);
    const auto* cause = std::get_if<UnexpectedFailure>(&client.errors[0].cause);
    ASSERT_NE(cause, nullptr);
    EXPECT_EQ(cause->what, what);
  }
}

}  // namespace
}  // namespace reelkit
