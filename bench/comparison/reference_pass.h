#pragma once

#include <cstdint>
#include <string>

namespace reelkit::bench {

// libavcodec's encoders on the pictures a conversion of the recording produces, and the quality
// of our own msvc file on the same pictures.
struct ReferenceFigures {
  int pictures = 0;
  double msvideo1Seconds = 0;  // libavcodec's msvideo1 encode calls alone
  double qtrleSeconds = 0;     // libavcodec's qtrle encode calls alone
  double msvideo1PsnrDb = 0;
  std::uint64_t msvideo1Bytes = 0;  // coded bytes of every picture
  double oursPsnrDb = 0;
  std::uint64_t oursBytes = 0;  // coded bytes of every picture of our file
  int oursPictures = 0;
};

// Decodes the recording as a conversion to msvc does (the engine's job with a recorder that keeps
// each picture instead of encoding it), codes every picture with libavcodec's msvideo1 and qtrle
// encoders, timing only their encode calls, and reads ourMsvcFile back beside it: each of its
// pictures and each of msvideo1's is decoded by libavcodec and compared with the source picture.
ReferenceFigures MeasureReferences(const std::string& recording, const std::string& ourMsvcFile);

// The size and number of the pictures a conversion of a recording shows, one every tenth of a
// second.
struct SourcePictures {
  int width = 0;
  int height = 0;
  int count = 0;
};

// Decodes the recording as a conversion does and writes each picture it shows to rgbPath as raw
// top-down 24-bit RGB, the exact pictures an encoder is given, one per tenth of a second.
SourcePictures WriteSourcePictures(const std::string& recording, const std::string& rgbPath);

}  // namespace reelkit::bench
