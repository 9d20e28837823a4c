// What the program does to whatever the output path names, and to a conversion that is stopped or
// meets a second writer: each case through the real program, videos checked by the ffmpeg tools.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

#include "tests/testing/ffmpeg_tool.h"
#include "tests/testing/process.h"
#include "tests/testing/temp_dir.h"
#include "tests/testing/waiting.h"
#include "tools/recording_writer/recording_writer.h"

namespace reelkit {
namespace {

using recording::PixelLayout;
using testing::TempDir;

constexpr Time kStart = 7'000'000'000;
constexpr Time kHour = 3600 * kTimeUnitsPerSecond;
constexpr int kSide = 256;  // three such pictures of noise make some 200 KB of video

// Three pictures of noise a frame apart; with a pause before the last, the conversion then spends
// many seconds on the spacers that fill it.
void WriteSession(const std::string& path, Time pause = 0) {
  recording::CRecordingWriter writer(path,
                                     recording::MakeStreamFormat(kSide, kSide, PixelLayout::Rgb32));
  writer.WriteInit(kStart, &writer.Model().NativeFormat());
  std::vector<std::uint32_t> pixels(kSide * kSide);
  std::uint32_t seed = 12345;
  for (int k = 0; k < 3; ++k) {
    for (std::uint32_t& pixel : pixels) {
      seed = seed * 1103515245 + 12345;
      pixel = seed >> 8;
    }
    const auto packed = recording::PackPicture(pixels, kSide, kSide, PixelLayout::Rgb32);
    const Time at = kStart + 1 + k * 1'000'000 + (k == 2 ? pause : 0);
    if (k == 0) {
      writer.WriteKeyFrame(at, packed);
    } else {
      writer.WriteDelta(at, packed);
    }
  }
  writer.Finish();
}

class OutputFile : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing::FfmpegToolsAvailable()) {
      GTEST_SKIP() << "the ffmpeg tools are not installed";
    }
    // Rows run as "nobody" must reach the folder; no other test uses it.
    std::filesystem::permissions(dir_.path(), std::filesystem::perms::all);
    WriteSession(dir_.File("in.rcrec"));
  }
  // Runs a shell script in the folder, with $R naming the program; gives what it printed.
  std::string Shell(const std::string& script) const {
    const std::string prologue = "R=\"$1\"; cd \"$0\" || exit; ";
    return testing::RunProcess({"/bin/sh", "-c", prologue + script, dir_.path(), REELKIT_BINARY})
        .output;
  }
  TempDir dir_;
};

// ---- What the output path names -----------------------------------------------------------------

struct OutputPathCase {
  const char* name;
  const char* make;       // shell commands that make what the path names
  const char* arguments;  // after "-in in.rcrec", redirections included
  std::string check;      // shell commands that succeed when the right things remain
  std::string message;    // the console text, then the exit status
  bool needsRoot = false;
  bool unprivileged = false;  // run as "nobody", so that the kernel's permission checks apply
};

void PrintTo(const OutputPathCase& row, std::ostream* out) {
  *out << row.name;
}

const std::string kConverted =
    "in.rcrec\nDone.\nRecorded 3 video frames from 6 input packets, total video length is 0 "
    "seconds\nstatus 0\n";
const std::string kDiskFull =
    "in.rcrec\nError 0x8007001c while writing output file.\nThe output file could not be written: "
    "No space left on device.\nstatus 1\n";

std::string NotAFile(const std::string& kind) {
  return "The output path is " + kind +
         ", not a file; only a regular file is replaced, and nothing was written.\nstatus 1\n";
}

// Succeeds for a whole video that ffmpeg decodes without a word.
std::string Plays(const std::string& file) {
  return "head -c 4 " + file + " | grep -q RIFF && ffmpeg -v error -i " + file + " -f null - 2>&1";
}

// The same for an MP4 file, whose index must lead.
std::string PlaysMp4(const std::string& file) {
  return "head -c 40 " + file + " | grep -q moov && ffmpeg -v error -i " + file + " -f null - 2>&1";
}

class OutputPath : public OutputFile, public ::testing::WithParamInterface<OutputPathCase> {};

TEST_P(OutputPath, OnlyARegularFileIsEverReplacedAndTheInputNever) {
  const OutputPathCase& row = GetParam();
  const std::string run = row.unprivileged && ::geteuid() == 0
                              ? "setpriv --reuid=nobody --regid=nogroup --clear-groups \"$R\""
                              : "\"$R\"";
  const std::string output =
      Shell(std::string(row.make) + " && cp in.rcrec in.copy || { echo unmade; exit; }; " + run +
            " -in in.rcrec " + row.arguments + "; echo \"status $?\"; cmp in.rcrec in.copy && " +
            row.check + " && echo kept");
  if (output == "unmade\n" && row.needsRoot) {
    GTEST_SKIP() << "making what this row's path names needs root and a system that allows it: "
                 << row.make;
  }
  EXPECT_EQ(output, row.message + "kept\n");
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, OutputPath,
    ::testing::Values(
        OutputPathCase{"EmptyDirectory", "mkdir out.avi", "-out out.avi", "rmdir out.avi",
                       NotAFile("a directory")},
        OutputPathCase{"NamedPipe", "mkfifo out.avi", "-out out.avi", "test -p out.avi",
                       NotAFile("a named pipe")},
        // The null device's numbers: writing it by mistake harms nothing.
        OutputPathCase{"DeviceNode", "mknod out.avi c 1 3", "-out out.avi", "test -c out.avi",
                       NotAFile("a character device"), true},
        OutputPathCase{"LinkToNothing", "ln -s gone.avi out.avi", "-out out.avi",
                       "test -L out.avi && ! test -e gone.avi",
                       "The output path is a symbolic link to a file that does not exist; "
                       "nothing was written.\nstatus 1\n"},
        OutputPathCase{"LinkToAFileWritesThatFile", "echo x > to.avi && ln -s to.avi out.avi",
                       "-out out.avi", "test -L out.avi && " + Plays("to.avi"), kConverted},
        OutputPathCase{"NameLikeAUrlIsAFile", "true", "-out file:in.rcrec",
                       Plays("./file:in.rcrec"), kConverted},
        OutputPathCase{"NameWithAColonIsAFile", "true", "-out session:1.avi",
                       Plays("./session:1.avi"), kConverted},
        // The index is moved to the front by reading the file back by its name.
        OutputPathCase{"H264NameWithAColonIsAFile", "true", "-out session:1.mp4 -fourcc H264",
                       PlaysMp4("./session:1.mp4"), kConverted},
        OutputPathCase{"MissingFolder", "true", "-out none/out.avi", "! test -e none",
                       "The output file cannot be created: No such file or directory.\nstatus 1\n"},
        OutputPathCase{"ReadOnlyFolder", "mkdir shut && chmod 555 shut", "-out shut/out.avi",
                       "! test -e shut/out.avi",
                       "The output file cannot be created: Permission denied.\nstatus 1\n", false,
                       true},
        OutputPathCase{"WriteProtectedFile", "echo x > out.avi && chmod 444 out.avi",
                       "-out out.avi", "test x = \"$(cat out.avi)\"",
                       "The output file cannot be written: Permission denied.\nstatus 1\n", false,
                       true},
        // A closed stream's number goes to the next file opened: no console text in the video.
        OutputPathCase{"ClosedStandardStreams", "true", "-out out.avi <&- >&- 2>&-",
                       "! grep -q Done out.avi && " + Plays("out.avi"), "status 0\n"},
        OutputPathCase{"ConsoleReaderGone", "mkfifo p && exec 4<>p 5>p 4<&-", "-out out.avi >&5",
                       Plays("out.avi"), "status 0\n"},
        OutputPathCase{"FullDisk4KiB", "mkdir d && mount -t tmpfs -o size=4k tmpfs d",
                       "-out d/out.avi", "umount d", kDiskFull, true},
        OutputPathCase{"H264FullDisk4KiB", "mkdir d && mount -t tmpfs -o size=4k tmpfs d",
                       "-out d/out.mp4 -fourcc H264", "umount d", kDiskFull, true},
        OutputPathCase{"FullDisk64KiB", "mkdir d && mount -t tmpfs -o size=64k tmpfs d",
                       "-out d/out.avi", "umount d", kDiskFull, true},
        OutputPathCase{"FullDisk128KiB", "mkdir d && mount -t tmpfs -o size=128k tmpfs d",
                       "-out d/out.avi", "umount d", kDiskFull, true}),
    [](const auto& row) { return std::string(row.param.name); });

// ---- Conversions that write no frame -----------------------------------------------------------

// A recording of one picture at the given size, or of none (at 8 bits, whose colour table makes
// the header alone long enough to be recognised).
void WritePictures(const std::string& path, int width, int height, int pictures) {
  recording::CRecordingWriter writer(
      path, recording::MakeStreamFormat(width, height,
                                        pictures > 0 ? PixelLayout::Rgb32 : PixelLayout::Indexed8));
  if (pictures > 0) {
    writer.WriteInit(kStart, &writer.Model().NativeFormat());
    writer.WriteKeyFrame(kStart + 1, std::vector<std::uint8_t>(std::size_t(width) * height * 4, 7));
  }
  writer.Finish();
}

// Whatever stops a conversion before its first frame, the output path keeps what it held: a
// file, the file a link points to, or nothing at all.
TEST_F(OutputFile, NoFrameWrittenLeavesTheOutputPathAsItWas) {
  WritePictures(dir_.File("wide.rcrec"), 65535, 8, 1);
  WritePictures(dir_.File("empty.rcrec"), 16, 16, 0);
  // The status, the console's last line and what the paths hold afterwards.
  const auto attempt = [&](const std::string& program, const std::string& arguments) {
    return Shell(
        "echo PRECIOUS > out.avi && echo PRECIOUS > target.avi && ln -sf target.avi link.avi && " +
        program + " " + arguments +
        " > console.txt; echo \"status $?\"; tail -1 console.txt; cat out.avi target.avi; "
        "test -e new.avi && echo new.avi made; rm -f new.avi");
  };
  const std::string tooWide =
      "status 1\nThe output file could not be written: Microsoft Video 1 (MSVC) holds pictures "
      "of at most 65532 pixels each way; "
      "convert this recording to MRLE or VQSC.\nPRECIOUS\nPRECIOUS\n";
  const std::string noPicture =
      "status 1\nThe recording holds no picture, so no video was written.\nPRECIOUS\nPRECIOUS\n";
  const std::string program = "\"$R\"";
  EXPECT_EQ(attempt(program, "-in wide.rcrec -out out.avi"), tooWide);
  EXPECT_EQ(attempt(program, "-in wide.rcrec -out link.avi"), tooWide);
  EXPECT_EQ(attempt(program, "-in empty.rcrec -out new.avi -fourcc MRLE"), noPicture);
  EXPECT_EQ(attempt(program, "-in empty.rcrec -out link.avi -fourcc H264"), noPicture);
  EXPECT_EQ(attempt(program, "-in empty.rcrec -out out.avi -fourcc VQSC"), noPicture);
  // Alone in a folder of its own, the program finds no codec module for pass-through output.
  const std::string alone = attempt("mkdir -p lone && cp \"$R\" lone/ && lone/*",
                                    "-in in.rcrec -out out.avi -fourcc VQSC");
  EXPECT_EQ(alone.substr(0, 9), "status 1\n");
  EXPECT_TRUE(alone.ends_with("PRECIOUS\nPRECIOUS\n")) << alone;
}

// ---- Stopping and sharing a conversion ----------------------------------------------------------

// Starts a conversion of a 23-hour pause, which takes tens of seconds, and waits until it has
// written its pictures and some of the spacers. Returns its pid, or -1 when it ended first or had
// not got so far by the hang deadline (it is then killed).
pid_t StartLongConversion(const TempDir& dir, int console) {
  WriteSession(dir.File("long.rcrec"), 23 * kHour);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(console, STDOUT_FILENO);
    ::execl(REELKIT_BINARY, REELKIT_BINARY, "-in", dir.File("long.rcrec").c_str(), "-out",
            dir.File("long.avi").c_str(), nullptr);
    ::_exit(127);
  }
  const auto deadline = std::chrono::steady_clock::now() + testing::kHangDeadline;
  struct stat written {};
  while (::stat(dir.File("long.avi").c_str(), &written) != 0 || written.st_size < 600000) {
    siginfo_t ended{};
    const bool running =
        ::waitid(P_PID, static_cast<id_t>(pid), &ended, WEXITED | WNOHANG | WNOWAIT) == 0 &&
        ended.si_pid == 0;
    if (!running || std::chrono::steady_clock::now() > deadline) {
      int status = 0;
      testing::WaitForChildBefore(pid, std::chrono::steady_clock::now(), status);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return pid;
}

// The exit status, or 128 + the signal that ended the process, as a shell reports it; -1 for a
// process still running at the hang deadline, which is killed.
int WaitForExit(pid_t pid) {
  int status = 0;
  if (!testing::WaitForChildBefore(pid, std::chrono::steady_clock::now() + testing::kHangDeadline,
                                   status)) {
    return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

class StopSignal : public OutputFile, public ::testing::WithParamInterface<int> {};

// While it runs, the file is refused to a second conversion, under its name or a link's; stopped,
// it is left playable and free. The signal, not the end of the work, is what ends it: the exit
// status says so, however long a loaded machine takes.
TEST_P(StopSignal, EndsTheOnlyWriterAndLeavesAPlayableFile) {
  const std::string consolePath = dir_.File("console.txt");
  const int console = ::open(consolePath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const pid_t pid = StartLongConversion(dir_, console);
  ::close(console);
  ASSERT_GT(pid, 0) << "the conversion ended or never wrote: "
                    << testing::ReadFileBytes(consolePath);
  const auto second = [](const std::string& output) {
    return "\"$R\" -in in.rcrec -out " + output + "; echo \"status $?\"; ";
  };
  EXPECT_EQ(Shell("ln -s long.avi alias.avi; " + second("long.avi") + second("alias.avi")),
            "The output file is being written by another conversion; try again when it has "
            "finished.\nstatus 1\n"
            "The output file is being written by another conversion; try again when it has "
            "finished.\nstatus 1\n");
  ::kill(pid, GetParam());
  EXPECT_EQ(WaitForExit(pid), 128 + GetParam());
  EXPECT_EQ(testing::ReadFileBytes(consolePath),
            dir_.File("long.rcrec") +
                "\nThe conversion was interrupted; the output file holds the video converted "
                "until then.\n");
  EXPECT_EQ(Shell(Plays("long.avi") + " && echo plays"), "plays\n");
  EXPECT_GT(testing::ProbeVideo(dir_.File("long.avi")).frameCount, 3);
  EXPECT_EQ(Shell(second("long.avi")), kConverted);
}

INSTANTIATE_TEST_SUITE_P(Signals, StopSignal, ::testing::Values(SIGINT, SIGTERM, SIGHUP),
                         [](const auto& row) { return std::string(::sigabbrev_np(row.param)); });

}  // namespace
}  // namespace reelkit
