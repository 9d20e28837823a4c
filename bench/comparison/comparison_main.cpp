// Runs the end-to-end comparisons of a conversion against its references on generated recordings
// and prints them as a Markdown table: each figure is the median of several runs, and each ratio
// is taken within one run, against the reference measured in that same run.
//
//   reelkit_comparison --reelkit PATH --short ONE_MINUTE.rcrec --long TEN_MINUTES.rcrec
//                      [--depth-change REC --depth-kept REC] [--runs N] [--work DIR]
//
// The depth pair: the same session recorded twice, once switching from 32 to 16 bits after a
// second and once keeping 32 bits throughout.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/comparison/decoder_step.h"
#include "bench/comparison/h264_reference.h"
#include "bench/comparison/process_run.h"
#include "bench/comparison/reference_pass.h"

namespace reelkit::bench {

namespace {

constexpr double kMegabyte = 1024.0 * 1024.0;
constexpr double kMemoryAllowanceKb = 64.0 * 1024.0;  // 64 MB besides ten pictures
constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int kPassThroughPairs = 9;

struct Options {
  std::string reelkit;
  std::string shortRecording;
  std::string longRecording;
  std::string depthChange;
  std::string depthKept;
  std::string thumbnailer;
  std::string ffmpegThumbnailer = "/usr/bin/ffmpegthumbnailer";
  std::string work = (std::filesystem::temp_directory_path() / "reelkit-comparison").string();
  int runs = 3;
};

Options ParseOptions(int argc, char** argv) {
  Options options;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string name = argv[i];
    const std::string value = argv[i + 1];
    if (name == "--reelkit") {
      options.reelkit = value;
    } else if (name == "--short") {
      options.shortRecording = value;
    } else if (name == "--long") {
      options.longRecording = value;
    } else if (name == "--depth-change") {
      options.depthChange = value;
    } else if (name == "--depth-kept") {
      options.depthKept = value;
    } else if (name == "--thumbnailer") {
      options.thumbnailer = value;
    } else if (name == "--ffmpegthumbnailer") {
      options.ffmpegThumbnailer = value;
    } else if (name == "--runs") {
      options.runs = std::max(1, std::atoi(value.c_str()));
    } else if (name == "--work") {
      options.work = value;
    } else {
      throw std::invalid_argument("unknown option " + name);
    }
  }
  if (options.reelkit.empty() || options.shortRecording.empty() || options.longRecording.empty() ||
      options.depthChange.empty() != options.depthKept.empty()) {
    throw std::invalid_argument(
        "usage: reelkit_comparison --reelkit PATH --short REC --long REC [--depth-change REC "
        "--depth-kept REC] [--thumbnailer PATH [--ffmpegthumbnailer PATH]] [--runs N] [--work "
        "DIR]");
  }
  return options;
}

// Every figure of one run, by name.
using RunFigures = std::map<std::string, double>;

// A file of the work folder that is removed however the comparison ends: the raw pictures of a
// minute of 1080p take 3.7 GB.
class CScratchFile {
 public:
  explicit CScratchFile(std::string path) : path_(std::move(path)) {}
  ~CScratchFile() {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
  CScratchFile(const CScratchFile&) = delete;
  CScratchFile& operator=(const CScratchFile&) = delete;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

class CComparison {
 public:
  explicit CComparison(Options options) : options_(std::move(options)) {
    std::filesystem::create_directories(options_.work);
  }

  void Run() {
    std::fprintf(stderr, "writing the pictures of %s\n", options_.shortRecording.c_str());
    sourcePictures_ = WriteSourcePictures(options_.shortRecording, rawPictures_.Path());
    for (int run = 1; run <= options_.runs; ++run) {
      std::fprintf(stderr, "run %d of %d\n", run, options_.runs);
      runs_.push_back(MeasureOneRun());
    }
    PrintTable();
  }

 private:
  std::string WorkPath(const std::string& name) const {
    return (std::filesystem::path(options_.work) / name).string();
  }

  ProcessCost Convert(const std::string& input, const std::string& output,
                      const std::string& fourcc) const {
    const ProcessCost cost =
        RunProcess({options_.reelkit, "-in", input, "-out", WorkPath(output), "-fourcc", fourcc},
                   "", WorkPath("time.txt"));
    if (cost.exitStatus != 0) {
      throw std::runtime_error("reelkit failed converting " + input + " to " + fourcc);
    }
    return cost;
  }

  RunFigures MeasureOneRun() const {
    RunFigures f;
    const ProcessCost msvcShort = Convert(options_.shortRecording, "short_msvc.avi", "MSVC");
    const ReferenceFigures reference =
        MeasureReferences(options_.shortRecording, WorkPath("short_msvc.avi"));
    if (reference.oursPictures != reference.pictures) {
      throw std::runtime_error("our msvc file does not hold one picture per source picture");
    }
    f["pictures"] = reference.pictures;
    f["msvc_seconds"] = msvcShort.seconds;
    f["msvc_cpu_seconds"] = msvcShort.cpuSeconds;
    f["msvideo1_seconds"] = reference.msvideo1Seconds;
    f["msvc_speedup"] = reference.msvideo1Seconds / msvcShort.seconds;
    f["msvc_psnr"] = reference.oursPsnrDb;
    f["msvideo1_psnr"] = reference.msvideo1PsnrDb;
    f["msvc_psnr_gain"] = reference.oursPsnrDb - reference.msvideo1PsnrDb;
    f["msvc_mb"] = static_cast<double>(reference.oursBytes) / kMegabyte;
    f["msvideo1_mb"] = static_cast<double>(reference.msvideo1Bytes) / kMegabyte;
    f["msvc_size_ratio"] =
        static_cast<double>(reference.oursBytes) / static_cast<double>(reference.msvideo1Bytes);
    f["msvc_short_rss_kb"] = static_cast<double>(msvcShort.peakResidentKb);

    const ProcessCost mrleShort = Convert(options_.shortRecording, "short_mrle.avi", "MRLE");
    f["mrle_seconds"] = mrleShort.seconds;
    f["mrle_cpu_seconds"] = mrleShort.cpuSeconds;
    f["mrle_pictures_per_second"] = reference.pictures / mrleShort.seconds;
    f["qtrle_pictures_per_second"] = reference.pictures / reference.qtrleSeconds;
    f["mrle_speedup"] = reference.qtrleSeconds / mrleShort.seconds;
    f["mrle_short_rss_kb"] = static_cast<double>(mrleShort.peakResidentKb);

    for (const char* fourcc : {"MRLE", "MSVC"}) {
      const std::string name = std::string(fourcc) == "MRLE" ? "mrle" : "msvc";
      const ProcessCost whole = Convert(options_.longRecording, "long_" + name + ".avi", fourcc);
      f[name + "_long_seconds"] = whole.seconds;
      f[name + "_long_cpu_seconds"] = whole.cpuSeconds;
      f[name + "_long_rss_kb"] = static_cast<double>(whole.peakResidentKb);
      f[name + "_rss_growth"] =
          static_cast<double>(whole.peakResidentKb) / f[name + "_short_rss_kb"];
    }

    MeasurePassThrough(f);

    MeasureH264(f);
    if (!options_.thumbnailer.empty()) {
      MeasureThumbnails(f);
    }

    if (HasDepthPair()) {
      const ProcessCost changed = Convert(options_.depthChange, "depth_change.avi", "MSVC");
      const ProcessCost kept = Convert(options_.depthKept, "depth_kept.avi", "MSVC");
      f["depth_change_seconds"] = changed.seconds;
      f["depth_kept_seconds"] = kept.seconds;
      f["depth_change_ratio"] = changed.seconds / kept.seconds;
    }

    const DecoderStepFigures step = MeasureDecoderStep(kWidth, kHeight);
    f["step_ms"] = step.bundleSeconds * 1e3;
    f["memcpy_ms"] = step.memcpySeconds * 1e3;
    f["step_ratio"] = step.bundleSeconds / step.memcpySeconds;
    return f;
  }

  // The reference copies the same screen stream from container to container: ffmpeg remuxing
  // the AVI just written, as fast as a general tool moves these packets without touching them.
  // Both take a tenth of a second or so, which the machine's other work can double: the figures
  // are the medians of alternating pairs, each ratio taken within its pair.
  void MeasurePassThrough(RunFigures& f) const {
    std::vector<double> ours;
    std::vector<double> remuxes;
    std::vector<double> ratios;
    std::vector<double> switches;
    double peakKb = 0;
    for (int pair = 0; pair < kPassThroughPairs; ++pair) {
      const ProcessCost passThrough = Convert(options_.longRecording, "long_vqsc.avi", "VQSC");
      const ProcessCost remux =
          RunProcess({"ffmpeg", "-v", "error", "-y", "-i", WorkPath("long_vqsc.avi"), "-c", "copy",
                      WorkPath("long_remux.avi")},
                     WorkPath("remux.txt"), WorkPath("time.txt"));
      ours.push_back(passThrough.seconds);
      remuxes.push_back(remux.seconds);
      ratios.push_back(remux.seconds / passThrough.seconds);
      switches.push_back(static_cast<double>(passThrough.voluntarySwitches));
      peakKb = std::max(peakKb, static_cast<double>(passThrough.peakResidentKb));
    }
    const double inputMb =
        static_cast<double>(std::filesystem::file_size(options_.longRecording)) / kMegabyte;
    f["input_mb"] = inputMb;
    f["vqsc_seconds"] = Median(ours);
    f["remux_seconds"] = Median(remuxes);
    f["vqsc_mb_per_second"] = inputMb / f["vqsc_seconds"];
    f["remux_mb_per_second"] = inputMb / f["remux_seconds"];
    f["vqsc_speed_of_remux"] = Median(ratios);
    f["vqsc_switches"] = Median(switches);
    f["vqsc_rss_kb"] = peakKb;
  }

  // Our whole conversion against ffmpeg's libx264 encoding the same pictures, handed to it
  // decoded; both files compared with those pictures ten times a second.
  void MeasureH264(RunFigures& f) const {
    const ProcessCost ours = Convert(options_.shortRecording, "short_h264.mp4", "H264");
    const ProcessCost reference = EncodeWithLibx264(
        rawPictures_.Path(), sourcePictures_, WorkPath("short_libx264.mp4"), WorkPath("time.txt"));
    const ProcessCost referenceInput =
        ReadRawPictures(rawPictures_.Path(), sourcePictures_, WorkPath("time.txt"));
    const LumaQuality oursQuality = MeasureLuma("short_h264.mp4");
    const LumaQuality referenceQuality = MeasureLuma("short_libx264.mp4");
    const double oursMb =
        static_cast<double>(std::filesystem::file_size(WorkPath("short_h264.mp4"))) / kMegabyte;
    const double referenceMb =
        static_cast<double>(std::filesystem::file_size(WorkPath("short_libx264.mp4"))) / kMegabyte;
    f["h264_seconds"] = ours.seconds;
    f["h264_cpu_seconds"] = ours.cpuSeconds;
    f["libx264_seconds"] = reference.seconds;
    f["libx264_cpu_seconds"] = reference.cpuSeconds;
    f["libx264_input_seconds"] = referenceInput.seconds;
    f["h264_speedup"] = reference.seconds / ours.seconds;
    f["h264_psnr"] = oursQuality.psnrDb;
    f["libx264_psnr"] = referenceQuality.psnrDb;
    f["h264_psnr_gain"] = oursQuality.psnrDb - referenceQuality.psnrDb;
    f["h264_mb"] = oursMb;
    f["libx264_mb"] = referenceMb;
    f["h264_size_ratio"] = oursMb / referenceMb;
    f["h264_short_rss_kb"] = static_cast<double>(ours.peakResidentKb);
    f["libx264_rss_kb"] = static_cast<double>(reference.peakResidentKb);

    const ProcessCost whole = Convert(options_.longRecording, "long_h264.mp4", "H264");
    f["h264_long_seconds"] = whole.seconds;
    f["h264_long_cpu_seconds"] = whole.cpuSeconds;
    f["h264_long_rss_kb"] = static_cast<double>(whole.peakResidentKb);
    f["h264_rss_growth"] = static_cast<double>(whole.peakResidentKb) / f["h264_short_rss_kb"];
  }

  // Our thumbnail of the ten-minute recording beside Debian's video thumbnailer making the same
  // 256-pixel thumbnail of the MP4 we made of it (just above, in this run).
  void MeasureThumbnails(RunFigures& f) const {
    const ProcessCost ours = RunProcess(
        {options_.thumbnailer, "-s", "256", options_.longRecording, WorkPath("long_thumbnail.png")},
        "", WorkPath("time.txt"));
    const ProcessCost reference =
        RunProcess({options_.ffmpegThumbnailer, "-s", "256", "-i", WorkPath("long_h264.mp4"), "-o",
                    WorkPath("long_h264_thumbnail.png")},
                   "", WorkPath("time.txt"));
    if (ours.exitStatus != 0 || reference.exitStatus != 0) {
      throw std::runtime_error("a thumbnailer failed on the ten-minute recording");
    }
    f["thumbnail_seconds"] = ours.seconds;
    f["thumbnail_rss_kb"] = static_cast<double>(ours.peakResidentKb);
    f["ffmpegthumbnailer_seconds"] = reference.seconds;
    f["ffmpegthumbnailer_rss_kb"] = static_cast<double>(reference.peakResidentKb);
    f["thumbnail_speedup"] = reference.seconds / ours.seconds;
  }

  // Throws unless every picture of the recording was compared: a file that ends early or shows
  // pictures at other instants would otherwise be scored on what it kept.
  LumaQuality MeasureLuma(const std::string& file) const {
    const LumaQuality quality =
        MeasureLumaPsnr(WorkPath(file), rawPictures_.Path(), sourcePictures_, WorkPath("psnr.txt"),
                        WorkPath("time.txt"));
    if (quality.pictures != sourcePictures_.count) {
      throw std::runtime_error(file + " shows " + std::to_string(quality.pictures) +
                               " pictures at ten a second where the recording has " +
                               std::to_string(sourcePictures_.count));
    }
    return quality;
  }

  bool HasDepthPair() const { return !options_.depthChange.empty(); }

  double Figure(const std::string& name) const {
    std::vector<double> values;
    for (const RunFigures& run : runs_) {
      values.push_back(run.at(name));
    }
    return Median(values);
  }

  static const char* Verdict(bool met) { return met ? "met" : "**not met**"; }

  void PrintTable() const {
    const double pictureKb = kWidth * kHeight * 4 / 1024.0;
    const double memoryLimitKb = kMemoryAllowanceKb + 10 * pictureKb;
    std::printf("Median of %d runs; every ratio is taken within one run.\n\n", options_.runs);
    std::printf("| What | Reelkit | Reference | Ratio | Target | |\n|---|---|---|---|---|---|\n");
    std::printf(
        "| MSVC conversion, %.0f pictures | %.2f s (%.2f s CPU) | libavcodec msvideo1 alone %.1f s "
        "| %.1f x | >= 10 x | %s |\n",
        Figure("pictures"), Figure("msvc_seconds"), Figure("msvc_cpu_seconds"),
        Figure("msvideo1_seconds"), Figure("msvc_speedup"), Verdict(Figure("msvc_speedup") >= 10));
    std::printf("| MSVC quality (PSNR, RGB) | %.2f dB | %.2f dB | %+.2f dB | >= -0.5 dB | %s |\n",
                Figure("msvc_psnr"), Figure("msvideo1_psnr"), Figure("msvc_psnr_gain"),
                Verdict(Figure("msvc_psnr_gain") >= -0.5));
    std::printf("| MSVC coded size | %.2f MB | %.2f MB | %.2f x | <= 1.25 x | %s |\n",
                Figure("msvc_mb"), Figure("msvideo1_mb"), Figure("msvc_size_ratio"),
                Verdict(Figure("msvc_size_ratio") <= 1.25));
    std::printf(
        "| MRLE conversion, pictures per second | %.1f (%.2f s, %.2f s CPU) | libavcodec qtrle "
        "alone %.1f | %.1f x | >= 2 x | %s |\n",
        Figure("mrle_pictures_per_second"), Figure("mrle_seconds"), Figure("mrle_cpu_seconds"),
        Figure("qtrle_pictures_per_second"), Figure("mrle_speedup"),
        Verdict(Figure("mrle_speedup") >= 2));
    for (const char* name : {"mrle", "msvc"}) {
      const std::string key = name;
      const double seconds = Figure(key + "_long_seconds");
      std::printf(
          "| 10 minutes to %s | %.1f s (%.1f s CPU) | 600 s of recording | %.0f x real time | "
          "< 30 s | %s |\n",
          key == "mrle" ? "MRLE" : "MSVC", seconds, Figure(key + "_long_cpu_seconds"),
          600.0 / seconds, Verdict(seconds < 30));
    }
    std::printf(
        "| Pass-through (VQSC), 10 minutes, %.1f MB, %d pairs a run | %.1f MB/s (%.3f s, %.0f "
        "voluntary context switches) | ffmpeg -c copy of the same AVI %.1f MB/s (%.3f s) | %.2f x "
        "| >= 1 x | %s |\n",
        Figure("input_mb"), kPassThroughPairs, Figure("vqsc_mb_per_second"), Figure("vqsc_seconds"),
        Figure("vqsc_switches"), Figure("remux_mb_per_second"), Figure("remux_seconds"),
        Figure("vqsc_speed_of_remux"), Verdict(Figure("vqsc_speed_of_remux") >= 1.0));
    for (const char* name : {"mrle", "msvc"}) {
      const std::string key = name;
      const double longKb = Figure(key + "_long_rss_kb");
      const bool met = Figure(key + "_rss_growth") <= 1.10 && longKb <= memoryLimitKb;
      std::printf(
          "| Peak memory, %s, 10 minutes | %.1f MB | 1 minute %.1f MB | %.2f x | <= 1.10 x and "
          "<= %.0f MB | %s |\n",
          key == "mrle" ? "MRLE" : "MSVC", longKb / 1024, Figure(key + "_short_rss_kb") / 1024,
          Figure(key + "_rss_growth"), memoryLimitKb / 1024, Verdict(met));
    }
    PrintH264Rows();
    if (!options_.thumbnailer.empty()) {
      const double peakMb = Figure("thumbnail_rss_kb") / 1024;
      std::printf(
          "| Thumbnail, 256 pixels, of the 10-minute recording | %.3f s, %.1f MB peak | "
          "ffmpegthumbnailer -s 256 on its H.264 MP4: %.3f s, %.1f MB peak | %.2f x | >= 1 x and "
          "< 100 MB | %s |\n",
          Figure("thumbnail_seconds"), peakMb, Figure("ffmpegthumbnailer_seconds"),
          Figure("ffmpegthumbnailer_rss_kb") / 1024, Figure("thumbnail_speedup"),
          Verdict(Figure("thumbnail_speedup") >= 1 && peakMb < 100));
    }
    if (HasDepthPair()) {
      std::printf(
          "| 10 minutes to MSVC, 32 to 16 bits after 1 s | %.1f s | the same kept at 32 bits "
          "%.1f s | %.2f x | <= 1.5 x | %s |\n",
          Figure("depth_change_seconds"), Figure("depth_kept_seconds"),
          Figure("depth_change_ratio"), Verdict(Figure("depth_change_ratio") <= 1.5));
    }
    std::printf(
        "| Decoder picture step, 1920x1080x32 at its own size | %.2f ms | memcpy of the frame "
        "%.2f ms | %.2f x | <= 2 x | %s |\n",
        Figure("step_ms"), Figure("memcpy_ms"), Figure("step_ratio"),
        Verdict(Figure("step_ratio") <= 2));
    std::printf("\nPass-through peak memory: %.1f MB.\n", Figure("vqsc_rss_kb") / 1024);
    std::printf(
        "ffmpeg's libx264 run: peak memory %.1f MB; reading and converting the raw pictures "
        "without encoding them takes it %.2f s of its %.2f s.\n",
        Figure("libx264_rss_kb") / 1024, Figure("libx264_input_seconds"),
        Figure("libx264_seconds"));
  }

  void PrintH264Rows() const {
    std::printf(
        "| H.264 conversion, %.0f pictures: the whole .rcrec to .mp4 run | %.2f s (%.2f s CPU) | "
        "ffmpeg, libx264 defaults, raw decoded RGB in, .mp4 out: %.2f s (%.2f s CPU) | %.1f x | "
        ">= 3 x | %s |\n",
        Figure("pictures"), Figure("h264_seconds"), Figure("h264_cpu_seconds"),
        Figure("libx264_seconds"), Figure("libx264_cpu_seconds"), Figure("h264_speedup"),
        Verdict(Figure("h264_speedup") >= 3));
    const bool qualityMet = Figure("h264_psnr_gain") >= -0.5 && Figure("h264_psnr") >= 38;
    std::printf(
        "| H.264 quality (luma PSNR, every tenth of a second) | %.2f dB | %.2f dB | %+.2f dB | "
        ">= -0.5 dB and >= 38 dB | %s |\n",
        Figure("h264_psnr"), Figure("libx264_psnr"), Figure("h264_psnr_gain"), Verdict(qualityMet));
    std::printf("| H.264 file size | %.2f MB | %.2f MB | %.2f x | <= 1.00 x | %s |\n",
                Figure("h264_mb"), Figure("libx264_mb"), Figure("h264_size_ratio"),
                Verdict(Figure("h264_size_ratio") <= 1.0));
    const double seconds = Figure("h264_long_seconds");
    std::printf(
        "| 10 minutes to H.264 | %.1f s (%.1f s CPU) | 600 s of recording | %.0f x real time | "
        ">= 20 x | %s |\n",
        seconds, Figure("h264_long_cpu_seconds"), 600.0 / seconds, Verdict(600.0 / seconds >= 20));
    std::printf(
        "| Peak memory, H.264, 10 minutes | %.1f MB | 1 minute %.1f MB | %.2f x | <= 1.10 x | "
        "%s |\n",
        Figure("h264_long_rss_kb") / 1024, Figure("h264_short_rss_kb") / 1024,
        Figure("h264_rss_growth"), Verdict(Figure("h264_rss_growth") <= 1.10));
  }

  Options options_;
  CScratchFile rawPictures_{WorkPath("short_pictures.rgb")};
  SourcePictures sourcePictures_;
  std::vector<RunFigures> runs_;
};

}  // namespace

}  // namespace reelkit::bench

int main(int argc, char** argv) {
  try {
    reelkit::bench::CComparison comparison(reelkit::bench::ParseOptions(argc, argv));
    comparison.Run();
    return 0;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "reelkit_comparison: %s\n", error.what());
    return 1;
  }
}
