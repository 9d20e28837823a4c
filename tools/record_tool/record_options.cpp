#include "tools/record_tool/record_options.h"

#include <charconv>
#include <stdexcept>

namespace reelkit::scene {
namespace {

template <typename Number>
Number ParseNumber(const std::string& option, const std::string& text, Number low, Number high) {
  Number value{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < low || value > high) {
    throw std::invalid_argument(option + " does not take " + text);
  }
  return value;
}

std::pair<int, int> ParseSize(const std::string& text) {
  const std::size_t x = text.find('x');
  if (x == std::string::npos) {
    throw std::invalid_argument("--size takes WIDTHxHEIGHT, not " + text);
  }
  return {ParseNumber<int>("--size", text.substr(0, x), 16, 8192),
          ParseNumber<int>("--size", text.substr(x + 1), 16, 8192)};
}

recording::CompressionMethod ParseCompression(const std::string& text) {
  if (text == "stored") {
    return recording::CompressionMethod::Stored;
  }
  if (text == "zlib") {
    return recording::CompressionMethod::Zlib;
  }
  if (text == "lzf") {
    return recording::CompressionMethod::Lzf;
  }
  throw std::invalid_argument("--compression takes stored, zlib or lzf, not " + text);
}

}  // namespace

const char* const kRecordUsage =
    "Usage: reelkit-record [options] -o OUTPUT.rcrec\n"
    "Writes a raw screen recording from a scene script, the built-in scene, or PNG pictures.\n"
    "  --script FILE        play this scene script (see tools/README.md)\n"
    "  --frames DIR         record the PNG pictures of DIR in name order, one per interval\n"
    "  --size WxH           screen size (default 1920x1080, or the first picture's)\n"
    "  --depth D            8, 16 (=555), 555, 565, 24, 32 or 32bf (default 32)\n"
    "  --duration SECONDS   repeat the script until this much recorded time has passed\n"
    "  --interval MS        time between captured frames (default 100)\n"
    "  --compression M      delta and move data: stored, zlib or lzf (default zlib)\n"
    "  --keyframes SECONDS  time between key frames, 0 for the first only (default 60)\n"
    "  --units words|bytes  delta runs of 4-byte units (default) or of single bytes\n"
    "  --seed N             seed of the generated document texts (default 1)\n";

RecordOptions ParseRecordOptions(const std::vector<std::string>& arguments) {
  RecordOptions options;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& option = arguments[i];
    if (option == "-h" || option == "--help") {
      options.help = true;
      continue;
    }
    if (i + 1 >= arguments.size()) {
      throw std::invalid_argument(option.rfind('-', 0) == 0 ? option + " needs a value"
                                                            : "unexpected argument " + option);
    }
    const std::string& value = arguments[++i];
    if (option == "-o" || option == "--output") {
      options.output = value;
    } else if (option == "--script") {
      options.script = value;
    } else if (option == "--frames") {
      options.frames = value;
    } else if (option == "--size") {
      options.size = ParseSize(value);
    } else if (option == "--depth") {
      options.layout = recording::PixelLayoutFromText(value);
      if (!options.layout) {
        throw std::invalid_argument("--depth takes 8, 16, 555, 565, 24, 32 or 32bf, not " + value);
      }
    } else if (option == "--duration") {
      options.durationSeconds = ParseNumber<double>(option, value, 0, 1e6);
    } else if (option == "--interval") {
      options.intervalMs = ParseNumber<int>(option, value, 1, 10'000);
    } else if (option == "--compression") {
      options.compression = ParseCompression(value);
    } else if (option == "--keyframes") {
      options.keyFrameSeconds = ParseNumber<double>(option, value, 0, 1e6);
    } else if (option == "--seed") {
      options.seed = ParseNumber<std::uint32_t>(option, value, 0, UINT32_MAX);
    } else if (option == "--units") {
      if (value != "words" && value != "bytes") {
        throw std::invalid_argument("--units takes words or bytes, not " + value);
      }
      options.units =
          value == "words" ? recording::DeltaUnits::Words : recording::DeltaUnits::Bytes;
    } else {
      throw std::invalid_argument("unknown option " + option);
    }
  }
  if (!options.help && options.output.empty()) {
    throw std::invalid_argument("the output file is missing (-o FILE)");
  }
  if (options.script && options.frames) {
    throw std::invalid_argument("--script and --frames exclude each other");
  }
  return options;
}

void ApplyRecordOptions(const RecordOptions& options, SceneSettings& settings) {
  if (options.size) {
    settings.width = options.size->first;
    settings.height = options.size->second;
  }
  if (options.layout) {
    settings.layout = *options.layout;
  }
  if (options.durationSeconds) {
    settings.durationSeconds = *options.durationSeconds;
  }
  if (options.intervalMs) {
    settings.intervalMs = *options.intervalMs;
  }
  if (options.compression) {
    settings.compression = *options.compression;
  }
  if (options.keyFrameSeconds) {
    settings.keyFrameSeconds = *options.keyFrameSeconds;
  }
  if (options.seed) {
    settings.seed = *options.seed;
  }
}

}  // namespace reelkit::scene
