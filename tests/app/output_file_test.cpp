// What the program does to whatever the output path names, and to a conversion that is stopped,
// meets a second writer or a full disk: each case through the real program, the video checked by
// the independent ffmpeg tools.
#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <functional>
#include <thread>

#include "tests/testing/ffmpeg_tool.h"
#include "tests/testing/process.h"
#include "tests/testing/temp_dir.h"
#include "tools/recording_writer/recording_writer.h"

namespace reelkit {
namespace {

namespace fs = std::filesystem;
using recording::CRecordingWriter;
using recording::PixelLayout;
using testing::ReadFileBytes;
using testing::TempDir;

constexpr Time kStart = 7'000'000'000;
constexpr Time kD = 1'000'000;  // one frame at 10 frames per second
constexpr Time kHour = 3600 * kTimeUnitsPerSecond;

// A few changing pictures of noise; with a pause, the last change comes that long after the
// others, and the conversion spends many seconds writing the spacers that fill the pause.
void WriteSession(const std::string& path, int pictures = 3, Time pause = 0, int side = 64) {
  CRecordingWriter writer(path, recording::MakeStreamFormat(side, side, PixelLayout::Rgb32));
  writer.WriteInit(kStart, &writer.Model().NativeFormat());
  std::vector<std::uint32_t> pixels(static_cast<std::size_t>(side) * side);
  std::uint32_t seed = 12345;
  for (int k = 0; k < pictures; ++k) {
    for (std::uint32_t& pixel : pixels) {
      seed = seed * 1103515245 + 12345;
      pixel = seed >> 8;
    }
    const auto packed = recording::PackPicture(pixels, side, side, PixelLayout::Rgb32);
    const Time at = kStart + 1 + k * kD + (k == pictures - 1 ? pause : 0);
    if (k == 0) {
      writer.WriteKeyFrame(at, packed);
    } else {
      writer.WriteDelta(at, packed);
    }
  }
  writer.Finish();
}

// Starts reelkit in dir with its console going to console (all three standard streams closed
// when console is -1), optionally as the unprivileged user "nobody".
pid_t StartReelkit(const std::vector<std::string>& arguments, const std::string& dir, int console,
                   bool unprivileged = false) {
  std::vector<std::string> argv;
  if (unprivileged) {
    argv = {"/usr/bin/setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"};
  }
  argv.push_back(REELKIT_BINARY);
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::chdir(dir.c_str()) != 0) {
      ::_exit(126);
    }
    for (int fd = 0; fd <= 2; ++fd) {
      ::close(fd);
    }
    if (console >= 0) {
      ::open("/dev/null", O_RDONLY);
      ::dup2(console, 1);
      ::dup2(console, 2);
    }
    std::vector<char*> args;
    for (std::string& a : argv) {
      args.push_back(a.data());
    }
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  return pid;
}

// The exit status, or 128 + the signal that ended the process, as a shell reports it.
int WaitForExit(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

struct Finished {
  int exitStatus;
  std::string console;
};

Finished RunReelkit(const TempDir& dir, const std::vector<std::string>& arguments,
                    bool unprivileged = false) {
  const std::string consolePath = dir.File("console.txt");
  const int console = ::open(consolePath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const int status = WaitForExit(StartReelkit(arguments, dir.path(), console, unprivileged));
  ::close(console);
  return {status, ReadFileBytes(consolePath)};
}

// What ffmpeg says while decoding the whole file; empty for a clean file.
std::string DecodingComplaints(const std::string& path) {
  return testing::RunProcess({"/bin/sh", "-c", "ffmpeg -v error -i \"$0\" -f null - 2>&1", path})
      .output;
}

bool IsVideo(const std::string& path) {
  return ReadFileBytes(path).substr(0, 4) == "RIFF";
}

class OutputFile : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing::FfmpegToolsAvailable()) {
      GTEST_SKIP() << "the ffmpeg tools are not installed";
    }
    // Rows that run as "nobody" must reach the folder; no other test uses it.
    fs::permissions(dir_.path(), fs::perms::all);
    WriteSession(input_);
    ::chmod(input_.c_str(), 0644);
  }
  static constexpr const char* kStatistics =
      "Recorded 3 video frames from 6 input packets, total video length is 0 seconds\n";
  TempDir dir_;
  const std::string input_ = dir_.File("in.rcrec");
};

// ---- What the output path names ----------------------------------------------------------------

struct OutputPathCase {
  const char* name;
  // Makes what the path names in dir and returns the -out argument, relative to dir; an empty
  // result skips the row (it needs a privilege this run lacks).
  std::function<std::string(const TempDir&)> prepare;
  std::string message;  // "" for a successful conversion
  // What must be there afterwards.
  std::function<bool(const TempDir&)> remains;
  bool unprivileged = false;  // run as "nobody", so that the kernel's permission checks apply
};

void PrintTo(const OutputPathCase& row, std::ostream* out) {
  *out << row.name;
}

const std::string kPrecious = "an earlier video the user kept";

std::string NotAFile(const std::string& kind) {
  return "The output path is " + kind +
         ", not a file; only a regular file is replaced, and nothing was written.\n";
}

class OutputPath : public OutputFile, public ::testing::WithParamInterface<OutputPathCase> {};

TEST_P(OutputPath, OnlyARegularFileIsEverReplaced) {
  const OutputPathCase& row = GetParam();
  if (row.unprivileged && ::geteuid() == 0 && !fs::exists("/usr/bin/setpriv")) {
    GTEST_SKIP() << "running as root without setpriv to drop the privilege";
  }
  const std::string output = row.prepare(dir_);
  if (output.empty()) {
    GTEST_SKIP() << "this row needs root to make what the path names";
  }
  const std::string before = ReadFileBytes(input_);
  const Finished run =
      RunReelkit(dir_, {"-in", "in.rcrec", "-out", output}, row.unprivileged && ::geteuid() == 0);
  if (row.message.empty()) {
    EXPECT_EQ(run.console, "in.rcrec\nDone.\n" + std::string(kStatistics));
    EXPECT_EQ(run.exitStatus, 0);
  } else {
    EXPECT_EQ(run.console, row.message);
    EXPECT_EQ(run.exitStatus, 1);
  }
  EXPECT_TRUE(row.remains(dir_));
  EXPECT_EQ(ReadFileBytes(input_), before);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, OutputPath,
    ::testing::Values(
        OutputPathCase{"EmptyDirectory",
                       [](const TempDir& d) {
                         fs::create_directory(d.File("out.avi"));
                         return "out.avi";
                       },
                       NotAFile("a directory"),
                       [](const TempDir& d) { return fs::is_empty(d.File("out.avi")); }},
        OutputPathCase{"NamedPipe",
                       [](const TempDir& d) {
                         ::mkfifo(d.File("out.avi").c_str(), 0644);
                         return "out.avi";
                       },
                       NotAFile("a named pipe"),
                       [](const TempDir& d) { return fs::is_fifo(d.File("out.avi")); }},
        OutputPathCase{"DeviceNode",
                       [](const TempDir& d) {
                         // The null device's numbers: writing it by mistake harms nothing.
                         const bool made =
                             ::mknod(d.File("out.avi").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
                         return made ? "out.avi" : "";
                       },
                       NotAFile("a character device"),
                       [](const TempDir& d) { return fs::is_character_file(d.File("out.avi")); }},
        OutputPathCase{"Socket",
                       [](const TempDir& d) {
                         sockaddr_un address{};
                         address.sun_family = AF_UNIX;
                         std::strncpy(address.sun_path, d.File("out.avi").c_str(),
                                      sizeof address.sun_path - 1);
                         const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
                         ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
                         ::close(fd);
                         return "out.avi";
                       },
                       NotAFile("a socket"),
                       [](const TempDir& d) { return fs::is_socket(d.File("out.avi")); }},
        OutputPathCase{"LinkToNothing",
                       [](const TempDir& d) {
                         fs::create_symlink("missing.avi", d.File("out.avi"));
                         return "out.avi";
                       },
                       "The output path is a symbolic link to a file that does not exist; "
                       "nothing was written.\n",
                       [](const TempDir& d) {
                         return fs::is_symlink(d.File("out.avi")) &&
                                !fs::exists(d.File("missing.avi"));
                       }},
        OutputPathCase{"LinkToAFileWritesThatFile",
                       [](const TempDir& d) {
                         d.Write("target.avi", kPrecious);
                         fs::create_symlink("target.avi", d.File("out.avi"));
                         return "out.avi";
                       },
                       "",
                       [](const TempDir& d) {
                         return fs::is_symlink(d.File("out.avi")) &&
                                DecodingComplaints(d.File("target.avi")).empty() &&
                                IsVideo(d.File("target.avi"));
                       }},
        OutputPathCase{"NameThatLooksLikeAUrlIsAFile",
                       [](const TempDir&) { return "file:in.rcrec"; }, "",
                       [](const TempDir& d) { return IsVideo(d.File("file:in.rcrec")); }},
        OutputPathCase{"NameWithAColonIsAFile", [](const TempDir&) { return "session:1.avi"; }, "",
                       [](const TempDir& d) { return IsVideo(d.File("session:1.avi")); }},
        OutputPathCase{"MissingFolder", [](const TempDir&) { return "none/out.avi"; },
                       "The output file cannot be created: No such file or directory.\n",
                       [](const TempDir& d) { return !fs::exists(d.File("none")); }},
        OutputPathCase{"ReadOnlyFolder",
                       [](const TempDir& d) {
                         fs::create_directory(d.File("shut"));
                         fs::permissions(d.File("shut"),
                                         fs::perms::owner_read | fs::perms::owner_exec |
                                             fs::perms::others_read | fs::perms::others_exec);
                         return "shut/out.avi";
                       },
                       "The output file cannot be created: Permission denied.\n",
                       [](const TempDir& d) { return fs::is_empty(d.File("shut")); }, true},
        OutputPathCase{
            "WriteProtectedFile",
            [](const TempDir& d) {
              d.Write("out.avi", kPrecious);
              ::chmod(d.File("out.avi").c_str(), 0444);
              return "out.avi";
            },
            "The output file cannot be written: Permission denied.\n",
            [](const TempDir& d) { return ReadFileBytes(d.File("out.avi")) == kPrecious; }, true}),
    [](const auto& row) { return std::string(row.param.name); });

// ---- A full disk --------------------------------------------------------------------------------

// A file system of a few kilobytes, mounted for the test's length.
class SmallDisk {
 public:
  SmallDisk(const std::string& path, const std::string& size) : path_(path) {
    fs::create_directory(path_);
    mounted_ = ::mount("tmpfs", path_.c_str(), "tmpfs", 0, ("size=" + size).c_str()) == 0;
  }
  ~SmallDisk() {
    if (mounted_) {
      ::umount(path_.c_str());
    }
  }
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;
  bool IsMounted() const { return mounted_; }

 private:
  std::string path_;
  bool mounted_ = false;
};

TEST_F(OutputFile, FullDiskNamesTheCause) {
  WriteSession(input_, 40, 0, 256);  // some megabytes of video
  for (const char* size : {"4k", "64k", "1m"}) {
    const SmallDisk disk(dir_.File("disk"), size);
    if (!disk.IsMounted()) {
      GTEST_SKIP() << "mounting a small file system needs root: " << std::strerror(errno);
    }
    const Finished run = RunReelkit(dir_, {"-in", "in.rcrec", "-out", "disk/out.avi"});
    EXPECT_EQ(run.console,
              "in.rcrec\nError 0x8007001c while writing output file.\nThe output file could not "
              "be written: No space left on device\n")
        << size;
    EXPECT_EQ(run.exitStatus, 1) << size;
  }
}

// ---- Standard streams ---------------------------------------------------------------------------

// With the streams closed, the first files opened take their numbers; the console text must not
// land in the video. A console reader that went away must not cost the video either.
TEST_F(OutputFile, ClosedOrAbandonedConsoleLeavesAWholeVideo) {
  const pid_t closed = StartReelkit({"-in", "in.rcrec", "-out", "closed.avi"}, dir_.path(), -1);
  EXPECT_EQ(WaitForExit(closed), 0);
  int pipeEnds[2];
  ASSERT_EQ(::pipe(pipeEnds), 0);
  ::close(pipeEnds[0]);
  const pid_t abandoned =
      StartReelkit({"-in", "in.rcrec", "-out", "abandoned.avi"}, dir_.path(), pipeEnds[1]);
  ::close(pipeEnds[1]);
  EXPECT_EQ(WaitForExit(abandoned), 0);
  for (const char* name : {"closed.avi", "abandoned.avi"}) {
    const std::string video = ReadFileBytes(dir_.File(name));
    EXPECT_EQ(video.find("in.rcrec"), std::string::npos) << name;
    EXPECT_EQ(DecodingComplaints(dir_.File(name)), "") << name;
    EXPECT_EQ(testing::ProbeVideo(dir_.File(name)).frameCount, 3) << name;
  }
}

// ---- Stopping and sharing a conversion ----------------------------------------------------------

// Starts a conversion that spends tens of seconds on spacers and waits until it writes them.
pid_t StartLongConversion(const TempDir& dir, int console) {
  WriteSession(dir.File("long.rcrec"), 3, 23 * kHour);
  const pid_t pid = StartReelkit({"-in", "long.rcrec", "-out", "long.avi"}, dir.path(), console);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  struct stat written {};
  while ((::stat(dir.File("long.avi").c_str(), &written) != 0 || written.st_size < 256 * 1024) &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return pid;
}

struct StopSignal {
  const char* name;
  int number;
};

void PrintTo(const StopSignal& row, std::ostream* out) {
  *out << row.name;
}

class Interrupted : public OutputFile, public ::testing::WithParamInterface<StopSignal> {};

TEST_P(Interrupted, ConversionStopsSoonAndLeavesAPlayableFile) {
  const std::string consolePath = dir_.File("console.txt");
  const int console = ::open(consolePath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const pid_t pid = StartLongConversion(dir_, console);
  ::close(console);
  const auto signalled = std::chrono::steady_clock::now();
  ::kill(pid, GetParam().number);
  const int status = WaitForExit(pid);
  EXPECT_LT(std::chrono::steady_clock::now() - signalled, std::chrono::seconds(5));
  EXPECT_EQ(status, 128 + GetParam().number);
  EXPECT_EQ(ReadFileBytes(consolePath),
            "long.rcrec\nThe conversion was interrupted; the output file holds the video "
            "converted until then.\n");
  EXPECT_EQ(DecodingComplaints(dir_.File("long.avi")), "");
  EXPECT_GT(testing::ProbeVideo(dir_.File("long.avi")).frameCount, 3);
}

INSTANTIATE_TEST_SUITE_P(Signals, Interrupted,
                         ::testing::Values(StopSignal{"Interrupt", SIGINT},
                                           StopSignal{"Terminate", SIGTERM},
                                           StopSignal{"HangUp", SIGHUP}),
                         [](const auto& row) { return std::string(row.param.name); });

TEST_F(OutputFile, SecondWriterOfTheSameFileIsRefusedUntilTheFirstEnds) {
  const int console = ::open("/dev/null", O_WRONLY);
  const pid_t first = StartLongConversion(dir_, console);
  ::close(console);
  fs::create_symlink("long.avi", dir_.File("alias.avi"));
  for (const char* output : {"long.avi", "alias.avi"}) {
    const Finished second = RunReelkit(dir_, {"-in", "in.rcrec", "-out", output});
    EXPECT_EQ(second.console,
              "The output file is being written by another conversion; try again when it has "
              "finished.\n")
        << output;
    EXPECT_EQ(second.exitStatus, 1);
  }
  ::kill(first, SIGTERM);
  EXPECT_EQ(WaitForExit(first), 128 + SIGTERM);
  EXPECT_EQ(DecodingComplaints(dir_.File("long.avi")), "");
  const Finished after = RunReelkit(dir_, {"-in", "in.rcrec", "-out", "long.avi"});
  EXPECT_EQ(after.console, "in.rcrec\nDone.\n" + std::string(kStatistics));
  EXPECT_EQ(after.exitStatus, 0);
}

}  // namespace
}  // namespace reelkit
