#include "tools/scene_generator/png_frames.h"

#include <QImage>
#include <QString>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

namespace reelkit::scene {
namespace {

std::vector<std::filesystem::path> PngFilesIn(const std::filesystem::path& folder) {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    std::string extension = entry.path().extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (entry.is_regular_file() && extension == ".png") {
      files.push_back(entry.path());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

QImage LoadFrame(const std::filesystem::path& file) {
  QImage image;
  if (!image.load(QString::fromStdString(file.string()), "PNG")) {
    throw std::runtime_error("cannot read the PNG picture " + file.string());
  }
  return image.convertToFormat(QImage::Format_RGB32);
}

void PackFrame(const QImage& image, recording::PixelLayout layout, std::size_t stride,
               ByteBlock& native) {
  for (int y = 0; y < image.height(); ++y) {
    const auto* row = reinterpret_cast<const std::uint32_t*>(image.constScanLine(y));
    recording::PackPixels(
        std::span(row, static_cast<std::size_t>(image.width())), layout,
        native.data() + static_cast<std::size_t>(image.height() - 1 - y) * stride);
  }
}

}  // namespace

SceneRecordingSummary RecordPngFramesToFile(const std::filesystem::path& folder,
                                            const SceneSettings& settings, bool sizeFromSettings,
                                            const std::filesystem::path& output,
                                            recording::DeltaUnits units) {
  const std::vector<std::filesystem::path> files = PngFilesIn(folder);
  if (files.empty()) {
    throw std::runtime_error("no PNG pictures in " + folder.string());
  }
  QImage frame = LoadFrame(files.front());
  const int width = sizeFromSettings ? settings.width : frame.width();
  const int height = sizeFromSettings ? settings.height : frame.height();
  recording::CRecordingWriter writer(output,
                                     recording::MakeStreamFormat(width, height, settings.layout),
                                     WriterOptionsFor(settings, units));
  const Time interval = static_cast<Time>(settings.intervalMs) * (kTimeUnitsPerSecond / 1000);
  const Time keyFrameEvery = static_cast<Time>(settings.keyFrameSeconds * kTimeUnitsPerSecond);
  const Time end =
      settings.start + static_cast<Time>(settings.durationSeconds * kTimeUnitsPerSecond);
  ByteBlock native(writer.Model().FrameSize());
  Time now = settings.start;
  Time lastKeyFrame = now;
  for (std::size_t i = 0; i < files.size(); ++i, now += interval) {
    if (settings.durationSeconds > 0 && now >= end) {
      break;
    }
    if (i > 0) {
      frame = LoadFrame(files[i]);
    }
    if (frame.width() != width || frame.height() != height) {
      throw std::runtime_error(files[i].string() + " is " + std::to_string(frame.width()) + "x" +
                               std::to_string(frame.height()) + ", the recording is " +
                               std::to_string(width) + "x" + std::to_string(height));
    }
    PackFrame(frame, settings.layout, writer.Model().Stride(), native);
    if (i == 0) {
      const BitmapFormat format = writer.Model().NativeFormat();
      writer.WriteInit(now, &format);
      writer.WriteKeyFrame(now, native.span());
    } else if (keyFrameEvery > 0 && now - lastKeyFrame >= keyFrameEvery) {
      writer.WriteKeyFrame(now, native.span());
      lastKeyFrame = now;
    } else {
      writer.WriteDelta(now, native.span());
    }
  }
  writer.Finish();
  return {now - settings.start, writer.RecordCount(), writer.BytesWritten()};
}

}  // namespace reelkit::scene
