// Crashes a child process on purpose and checks what the reporter leaves behind.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/utsname.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <future>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/crash_report/crash_run.h"
#include "tests/testing/process.h"
#include "tests/testing/temp_dir.h"
#include "tests/testing/waiting.h"

namespace reelkit::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

constexpr const char* kNotes = "\r\nfatal error... core dumped\r\n";
constexpr const char* kWhere = "The crash report and core dump are in ";
constexpr std::size_t kHeaderLines = 5;  // time, product, system, exception, thread

const std::regex kTimeLine(
    R"(^\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2} \(up for( [1-9]\d* (days|hours|minutes|seconds))*\)$)");
const std::regex kProductLine(
    R"(^Kestrix Tolvan Reelkit 8\.0\.53 \([A-Z][a-z]{2} [ 1-3]\d \d{4} \d{2}:\d{2}:\d{2}\)$)");
const std::regex kStackLine(R"(^\t[^\t]+ \(0x[1-9a-f][0-9a-f]*\) : .+$)");
const std::regex kDiagName(R"(^crash_trigger-0053-(\d{8})-(\d{6})\.(dmp|txt)$)");

std::string Hex(unsigned long value) {
  char text[32];
  std::snprintf(text, sizeof text, "%lx", value);
  return text;
}

std::string ExpectedSystemLine() {
  utsname system{};
  ::uname(&system);
  return std::string(system.sysname) + " (" + system.machine + ") " + system.release + " " +
         system.version;
}

std::string Stamp(const std::tm& time) {
  char text[32];
  std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &time);
  return text;
}

std::string LocalStamp(std::time_t when) {
  std::tm local{};
  ::localtime_r(&when, &local);
  return Stamp(local);
}

std::string UtcStamp(std::time_t when) {
  std::tm utc{};
  ::gmtime_r(&when, &utc);
  return Stamp(utc);
}

// The report's time line in the form of a file name's time stamp.
std::string TimeLineStamp(const std::vector<std::string>& lines) {
  if (lines.empty() || lines[0].size() < 19) {
    return {};
  }
  const std::string& shown = lines[0];
  return shown.substr(0, 4) + shown.substr(5, 2) + shown.substr(8, 2) + "-" + shown.substr(11, 2) +
         shown.substr(14, 2) + shown.substr(17, 2);
}

// The address a stack line shows, or an empty text.
std::string StackLineAddress(const std::string& line) {
  const std::size_t open = line.find(" (0x");
  const std::size_t close = line.find(") : ", open);
  if (open == std::string::npos || close == std::string::npos) {
    return {};
  }
  return line.substr(open + 4, close - open - 4);
}

std::size_t IndexOfLineWith(const std::vector<std::string>& lines, const std::string& text) {
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].find(text) != std::string::npos) {
      return i;
    }
  }
  return lines.size();
}

class CrashReportTest : public ::testing::Test {
 protected:
  void Install(bool withSymbolizer = true) {
    trigger_ = CopyExecutable(CRASH_TRIGGER, dir_.path());
    if (withSymbolizer) {
      CopyExecutable(SYMBOLIZER, dir_.path());
    }
  }

  ChildOutcome Crash(const std::string& how, const ChildOptions& options = {}) const {
    return RunChild({trigger_, how}, options);
  }

  fs::path Diag() const { return dir_.path() / "diag"; }

  // The two notes, then where the files are.
  std::string Notes() const { return kNotes + std::string(kWhere) + Diag().string() + "\r\n"; }

  std::vector<fs::path> DiagFiles(const std::string& extension) const {
    std::vector<fs::path> files;
    for (const fs::path& file : FilesIn(Diag())) {
      if (file.extension() == extension) {
        files.push_back(file);
      }
    }
    return files;
  }

  std::vector<std::string> OnlyReport() const {
    const std::vector<fs::path> reports = DiagFiles(".txt");
    EXPECT_EQ(reports.size(), 1u);
    return reports.empty() ? std::vector<std::string>() : ReportLines(ReadFileBytes(reports[0]));
  }

  TempDir dir_;
  std::string trigger_;
};

// The lines every report starts with; returns the exception line's address.
std::string ExpectHeaderLines(const std::vector<std::string>& lines, const std::string& kind,
                              pid_t thread) {
  EXPECT_GE(lines.size(), kHeaderLines);
  if (lines.size() < kHeaderLines) {
    return {};
  }
  EXPECT_TRUE(std::regex_match(lines[0], kTimeLine)) << lines[0];
  EXPECT_TRUE(std::regex_match(lines[1], kProductLine)) << lines[1];
  EXPECT_EQ(lines[2], ExpectedSystemLine());
  std::smatch exception;
  EXPECT_TRUE(
      std::regex_match(lines[3], exception, std::regex("^(.*) at 0x(0|[1-9a-f][0-9a-f]*)$")))
      << lines[3];
  EXPECT_EQ(exception[1].str(), kind);
  EXPECT_EQ(lines[4], "thread 0x" + Hex(static_cast<unsigned long>(thread)) + " \"unnamed\"");
  return exception[2].str();
}

void ExpectStackLines(const std::vector<std::string>& lines, std::size_t first) {
  ASSERT_GT(lines.size(), first + 1) << "no stack lines";
  EXPECT_LE(lines.size() - first, 32u);
  for (std::size_t i = first; i < lines.size(); ++i) {
    EXPECT_TRUE(std::regex_match(lines[i], kStackLine)) << lines[i];
  }
}

struct CrashCase {
  const char* name;
  const char* how;
  int signal;
  const char* kind;
  const char* function;
  bool processorFault;  // the crash function is the innermost frame, at the exception address
};

class CrashKindTest : public CrashReportTest, public ::testing::WithParamInterface<CrashCase> {};

TEST_P(CrashKindTest, ReportFollowsTheLayout) {
  const CrashCase& row = GetParam();
  Install();
  const ChildOutcome outcome = Crash(row.how);

  EXPECT_EQ(outcome.signal, row.signal);
  EXPECT_EQ(outcome.output, Notes());
  const std::vector<std::string> lines = OnlyReport();
  const std::string address = ExpectHeaderLines(lines, row.kind, outcome.pid);
  ExpectStackLines(lines, kHeaderLines);
  if (lines.size() <= kHeaderLines) {
    return;
  }
  // Written once: the abort that follows an uncaught exception is not reported again.
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& l) { return std::regex_match(l, kTimeLine); }),
            1);
  // Outermost first: main comes before the crash, which comes before whatever it called.
  const std::size_t crashLine = IndexOfLineWith(lines, row.function);
  ASSERT_LT(crashLine, lines.size()) << "no frame names " << row.function;
  EXPECT_LT(IndexOfLineWith(lines, " : main ("), crashLine);
  EXPECT_TRUE(std::regex_search(lines[crashLine], std::regex(R"(crash_trigger\.cpp, \d+\)$)")))
      << lines[crashLine];
  EXPECT_THAT(lines[crashLine], HasSubstr("\tcrash_trigger (0x"));
  if (row.processorFault) {
    EXPECT_EQ(crashLine, lines.size() - 1);
    EXPECT_EQ(StackLineAddress(lines.back()), address);
  } else if (row.signal == SIGABRT && std::string(row.kind) == "microsoft c++ exception") {
    EXPECT_EQ(address, "0");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Signals, CrashKindTest,
    ::testing::Values(CrashCase{"NullWrite", "null-write", SIGSEGV, "access violation (write 0x0)",
                                "CrashWithNullWrite", true},
                      CrashCase{"IllegalInstruction", "illegal-instruction", SIGILL,
                                "illegal instruction", "CrashWithIllegalInstruction", true},
                      CrashCase{"DivisionByZero", "division-by-zero", SIGFPE, "division by zero",
                                "CrashWithDivisionByZero", true},
                      CrashCase{"Abort", "abort", SIGABRT, "abort", "CrashWithAbort", false},
                      CrashCase{"UncaughtException", "uncaught-exception", SIGABRT,
                                "microsoft c++ exception", "CrashWithUncaughtException", false}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(CrashReportTest, FilesAreNamedAfterTheExecutableAndTheCrashTime) {
  Install();
  const std::time_t before = std::time(nullptr);
  Crash("null-write");
  const std::time_t after = std::time(nullptr);

  const std::vector<fs::path> files = FilesIn(Diag());
  ASSERT_EQ(files.size(), 2u);
  std::smatch dump;
  std::smatch text;
  const std::string dumpName = files[0].filename().string();
  const std::string textName = files[1].filename().string();
  ASSERT_TRUE(std::regex_match(dumpName, dump, kDiagName)) << dumpName;
  ASSERT_TRUE(std::regex_match(textName, text, kDiagName)) << textName;
  EXPECT_EQ(dump[3].str(), "dmp");
  EXPECT_EQ(text[3].str(), "txt");
  EXPECT_EQ(files[0].stem(), files[1].stem());

  const std::string stamp = dump[1].str() + "-" + dump[2].str();
  bool withinTheRun = false;
  for (std::time_t second = before; second <= after; ++second) {
    withinTheRun = withinTheRun || LocalStamp(second) == stamp;
  }
  EXPECT_TRUE(withinTheRun) << stamp;
  EXPECT_EQ(TimeLineStamp(ReportLines(ReadFileBytes(files[1]))), stamp);
}

TEST_F(CrashReportTest, CrashAfterADaylightSavingChangeShowsTheNewLocalTime) {
  Install();
  // A zone on UTC that goes one hour ahead two seconds from now: after the reporter has gathered
  // the zone's offsets and before the crash, which comes once the change has passed. A child slower
  // to start than that sees only the new offset, and the test is weaker, never wrong.
  const std::time_t change = std::time(nullptr) + 2;
  std::tm utc{};
  ::gmtime_r(&change, &utc);
  char zone[64];
  std::snprintf(zone, sizeof zone, "RKS0RKD-1,%d/%02d:%02d:%02d,%d", utc.tm_yday, utc.tm_hour,
                utc.tm_min, utc.tm_sec, (utc.tm_yday + 180) % 365);
  ChildOptions options;
  options.timeZone = zone;
  CHeldChild child({trigger_, "on-release", "null-write"}, options);
  ASSERT_EQ(child.ReadLine(), "ready");
  std::this_thread::sleep_until(std::chrono::system_clock::from_time_t(change));
  EXPECT_EQ(child.Release().signal, SIGSEGV);
  const std::time_t after = std::time(nullptr);

  const std::vector<fs::path> reports = DiagFiles(".txt");
  ASSERT_EQ(reports.size(), 1u);
  const std::string stamp = TimeLineStamp(ReportLines(ReadFileBytes(reports[0])));
  EXPECT_EQ(reports[0].filename().string(), "crash_trigger-0053-" + stamp + ".txt");
  bool oneHourAhead = false;
  for (std::time_t second = change; second <= after; ++second) {
    oneHourAhead = oneHourAhead || UtcStamp(second + 3600) == stamp;
  }
  EXPECT_TRUE(oneHourAhead) << stamp;
}

TEST_F(CrashReportTest, DumpIsAnElfCoreOfModestSize) {
  Install();
  Crash("null-write");
  const std::vector<fs::path> dumps = DiagFiles(".dmp");
  ASSERT_EQ(dumps.size(), 1u);
  const std::string header = ReadFileBytes(dumps[0].string()).substr(0, 18);
  ASSERT_EQ(header.size(), 18u);
  EXPECT_EQ(header.substr(0, 4),
            "\x7f"
            "ELF");
  EXPECT_EQ(header[16], 4) << "e_type is not ET_CORE";
  struct stat status {};
  ASSERT_EQ(::stat(dumps[0].c_str(), &status), 0);
  // Untouched memory stays a hole: what the disk holds is small for a small process.
  EXPECT_LT(status.st_blocks * 512, 16 * 1024 * 1024);
  EXPECT_EQ(status.st_mode & 077, 0u) << "a memory dump is for its owner only";
}

TEST_F(CrashReportTest, CrashOnASecondThreadNamesThatThread) {
  Install();
  const ChildOutcome outcome = Crash("second-thread");
  EXPECT_EQ(outcome.signal, SIGSEGV);
  EXPECT_EQ(outcome.output, Notes());
  const std::vector<std::string> lines = OnlyReport();
  ASSERT_GE(lines.size(), kHeaderLines + 1);
  EXPECT_EQ(lines[3].rfind("access violation (write 0x0) at 0x", 0), 0u) << lines[3];
  std::smatch thread;
  ASSERT_TRUE(
      std::regex_match(lines[4], thread, std::regex(R"(^thread 0x([0-9a-f]+) "unnamed"$)")));
  EXPECT_NE(std::stoul(thread[1].str(), nullptr, 16), static_cast<unsigned long>(outcome.pid));
  ExpectStackLines(lines, kHeaderLines);
  EXPECT_THAT(lines.back(), HasSubstr("CrashWithNullWrite"));
}

TEST_F(CrashReportTest, StackOverflowIsReportedFromTheAlternateStack) {
  Install();
  ChildOptions smallStack;
  smallStack.stackLimitBytes = 1024 * 1024;
  const ChildOutcome outcome = Crash("stack-overflow", smallStack);
  EXPECT_EQ(outcome.signal, SIGSEGV);
  EXPECT_EQ(outcome.output, Notes());
  const std::vector<std::string> lines = OnlyReport();
  ExpectHeaderLines(lines, "stack overflow", outcome.pid);
  ExpectStackLines(lines, kHeaderLines);
  EXPECT_EQ(lines.size(), kHeaderLines + 32) << "the innermost 32 frames";
  EXPECT_THAT(lines.back(), HasSubstr("RecurseUntilTheStackEnds"));
}

TEST_F(CrashReportTest, LongStackIsCutKeepingTheFramesNearestTheCrash) {
  Install();
  const ChildOutcome outcome = Crash("long-names");
  EXPECT_EQ(outcome.signal, SIGSEGV);
  const std::vector<fs::path> reports = DiagFiles(".txt");
  ASSERT_EQ(reports.size(), 1u);
  const std::string text = ReadFileBytes(reports[0]);
  EXPECT_LT(text.size(), 8192u);
  EXPECT_TRUE(text.ends_with("\r\n"));
  const std::vector<std::string> lines = ReportLines(text);
  ExpectHeaderLines(lines, "access violation (write 0x0)", outcome.pid);
  ExpectStackLines(lines, kHeaderLines);
  ASSERT_GT(lines.size(), kHeaderLines + 2);
  EXPECT_THAT(lines.back(), HasSubstr("CrashWithNullWrite"));
  EXPECT_THAT(lines[lines.size() - 2], HasSubstr("DescendThroughLongNames(int, std::map<"));
}

TEST_F(CrashReportTest, ClosedStandardOutputDoesNotStopTheReport) {
  Install();
  ChildOptions readerGone;
  readerGone.stdoutReaderGone = true;
  const ChildOutcome outcome = Crash("null-write", readerGone);
  EXPECT_EQ(outcome.signal, SIGSEGV);
  const std::vector<std::string> lines = OnlyReport();
  ExpectHeaderLines(lines, "access violation (write 0x0)", outcome.pid);
  ExpectStackLines(lines, kHeaderLines);
}

TEST_F(CrashReportTest, SmashedStackStillGivesTheCrashingFrame) {
  Install();
  const ChildOutcome outcome = Crash("smashed-stack");
  EXPECT_EQ(outcome.signal, SIGSEGV);
  EXPECT_EQ(outcome.output, Notes());
  const std::vector<std::string> lines = OnlyReport();
  const std::string address =
      ExpectHeaderLines(lines, "access violation (write 0x100000)", outcome.pid);
  ASSERT_GT(lines.size(), kHeaderLines);
  EXPECT_THAT(lines.back(), HasSubstr("CrashWithSmashedStack"));
  EXPECT_EQ(StackLineAddress(lines.back()), address);
}

TEST_F(CrashReportTest, LoaderLockHeldByAFrozenThreadDoesNotHangTheReport) {
  Install();
  // The stack walk gives up after its few seconds and the report goes on: a walk that waited for
  // the lock would never end, and would be killed as hung.
  const ChildOutcome outcome = Crash("loader-lock");
  EXPECT_FALSE(outcome.hung);
  EXPECT_EQ(outcome.signal, SIGSEGV);
  EXPECT_EQ(outcome.output, Notes());
  const std::vector<std::string> lines = OnlyReport();
  ExpectHeaderLines(lines, "access violation (write 0x0)", outcome.pid);
  ASSERT_EQ(lines.size(), kHeaderLines + 1) << "only the faulting frame is known";
  EXPECT_THAT(lines.back(), HasSubstr("CrashWithNullWrite"));
  EXPECT_EQ(DiagFiles(".dmp").size(), 1u);
}

TEST_F(CrashReportTest, WithoutTheHelperTheReportHasNoStack) {
  Install(/*withSymbolizer=*/false);
  const ChildOutcome outcome = Crash("illegal-instruction");
  EXPECT_EQ(outcome.signal, SIGILL);
  EXPECT_EQ(outcome.output, Notes());
  const std::vector<std::string> lines = OnlyReport();
  ExpectHeaderLines(lines, "illegal instruction", outcome.pid);
  EXPECT_EQ(lines.size(), kHeaderLines);
  EXPECT_EQ(DiagFiles(".dmp").size(), 1u);
}

TEST_F(CrashReportTest, FailedDumpIsReportedAndLeavesNoFileBehind) {
  Install();
  // Directories in the way of every dump name a run can produce before it would count as hung.
  fs::create_directories(Diag());
  const std::time_t now = std::time(nullptr);
  for (std::time_t second = now; second <= now + kHangDeadline.count(); ++second) {
    fs::create_directory(Diag() / ("crash_trigger-0053-" + LocalStamp(second) + ".dmp"));
  }
  const ChildOutcome outcome = Crash("null-write");
  EXPECT_EQ(outcome.signal, SIGSEGV);
  const std::vector<std::string> lines = OnlyReport();
  ASSERT_GT(lines.size(), kHeaderLines);
  EXPECT_EQ(lines[kHeaderLines], "WriteCoreDump: 0x15") << "EISDIR";
  ExpectStackLines(lines, kHeaderLines + 1);
  for (const fs::path& file : FilesIn(Diag())) {
    EXPECT_TRUE(file.extension() == ".txt" || fs::is_directory(file)) << file;
  }
}

TEST_F(CrashReportTest, SecondCrashInTheSameSecondAppendsToTheReport) {
  Install();
  // Two runs, both ready, are let go together right after a second begins and crash within
  // milliseconds; a machine that delays one into the next second has the pair tried again.
  const auto deadline = std::chrono::steady_clock::now() + kHangDeadline;
  while (std::chrono::steady_clock::now() < deadline) {
    fs::remove_all(Diag());
    CHeldChild first({trigger_, "on-release", "null-write"});
    CHeldChild second({trigger_, "on-release", "abort"});
    ASSERT_EQ(first.ReadLine(), "ready");
    ASSERT_EQ(second.ReadLine(), "ready");
    const auto now = std::chrono::system_clock::now();
    std::this_thread::sleep_until(std::chrono::ceil<std::chrono::seconds>(now));
    auto firstEnd = std::async(std::launch::async, [&] { return first.Release(); });
    auto secondEnd = std::async(std::launch::async, [&] { return second.Release(); });
    EXPECT_EQ(firstEnd.get().signal, SIGSEGV);
    EXPECT_EQ(secondEnd.get().signal, SIGABRT);
    if (DiagFiles(".txt").size() != 1) {
      continue;
    }
    const std::vector<std::string> lines = OnlyReport();
    std::vector<std::size_t> starts;
    for (std::size_t i = 0; i < lines.size(); ++i) {
      if (std::regex_match(lines[i], kTimeLine)) {
        starts.push_back(i);
      }
    }
    ASSERT_EQ(starts.size(), 2u);
    std::vector<std::string> kinds;
    for (const std::size_t start : starts) {
      ASSERT_LT(start + 3, lines.size());
      EXPECT_TRUE(std::regex_match(lines[start + 1], kProductLine));
      kinds.push_back(lines[start + 3].substr(0, lines[start + 3].find(" at 0x")));
    }
    EXPECT_THAT(kinds, ::testing::UnorderedElementsAre("access violation (write 0x0)", "abort"));
    // One dump, replaced whole by whichever run finished last.
    const std::vector<fs::path> files = FilesIn(Diag());
    EXPECT_EQ(files.size(), 2u);
    EXPECT_EQ(DiagFiles(".dmp").size(), 1u);
    return;
  }
  FAIL() << "no two crashes fell within the same second";
}

// An installed program: the executable in bin/, the helper in the private folder beside it.
class InstalledCrashReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const fs::path bin = dir_.path() / "prefix" / "bin";
    const fs::path privateDirectory = bin / REELKIT_PRIVATE_DIRECTORY_FROM_BIN;
    fs::create_directories(privateDirectory);
    trigger_ = CopyExecutable(CRASH_TRIGGER, bin);
    CopyExecutable(SYMBOLIZER, privateDirectory);
  }

  ChildOutcome Crash(const std::vector<std::pair<std::string, std::string>>& environment) const {
    ChildOptions options;
    options.environment = environment;
    return RunChild({trigger_, "null-write"}, options);
  }

  // Every file left anywhere in the test's directory, the program's folders included.
  std::vector<fs::path> AllFiles() const {
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir_.path())) {
      if (entry.is_regular_file() && entry.path().filename() != "crash_trigger" &&
          entry.path().filename() != "reelkit-symbolize") {
        files.push_back(entry.path());
      }
    }
    std::sort(files.begin(), files.end());
    return files;
  }

  static fs::perms Permissions(const fs::path& path) { return fs::status(path).permissions(); }

  TempDir dir_;
  std::string trigger_;
};

struct StateHomeCase {
  const char* name;
  const char* stateHome;  // relative to the test's directory; "" unsets it, "!" gives "state"
  const char* home;       // the same for HOME
  const char* diag;       // where the files go, relative to the test's directory
};

class InstalledDiagTest : public InstalledCrashReportTest,
                          public ::testing::WithParamInterface<StateHomeCase> {};

TEST_P(InstalledDiagTest, ReportGoesToTheUsersStateFolder) {
  const StateHomeCase& row = GetParam();
  const auto valueOf = [&](const char* text) {
    const std::string value(text);
    return value.empty() ? value : value == "!" ? "state" : (dir_.path() / value).string();
  };
  const ChildOutcome outcome =
      Crash({{"XDG_STATE_HOME", valueOf(row.stateHome)}, {"HOME", valueOf(row.home)}});
  EXPECT_EQ(outcome.signal, SIGSEGV);

  const fs::path diag = dir_.path() / row.diag;
  EXPECT_EQ(outcome.output, kNotes + std::string(kWhere) + diag.string() + "\r\n");
  const std::vector<fs::path> files = AllFiles();
  ASSERT_EQ(files.size(), 2u) << "a dump and a report, nothing beside the program";
  EXPECT_EQ(files[0].parent_path(), diag);
  EXPECT_EQ(files[1].parent_path(), diag);
  // Each folder the reporter made, from the diag folder up to the state home's first missing one.
  for (fs::path folder = diag; folder != dir_.path(); folder = folder.parent_path()) {
    EXPECT_EQ(Permissions(folder), fs::perms::owner_all) << folder;
  }
  // The helper was found in the private folder: the crashing frame has its source line.
  const std::vector<std::string> lines = ReportLines(ReadFileBytes(files[1]));
  ASSERT_FALSE(lines.empty());
  EXPECT_TRUE(std::regex_search(lines.back(),
                                std::regex(R"(CrashWithNullWrite.*crash_trigger\.cpp, \d+\)$)")))
      << lines.back();
}

INSTANTIATE_TEST_SUITE_P(
    StateHomes, InstalledDiagTest,
    ::testing::Values(StateHomeCase{"StateHomeSet", "xdg-state", "home", "xdg-state/reelkit/diag"},
                      StateHomeCase{"StateHomeUnset", "", "home", "home/.local/state/reelkit/diag"},
                      StateHomeCase{"RelativeStateHomeIsIgnored", "!", "home",
                                    "home/.local/state/reelkit/diag"}),
    [](const auto& row) { return std::string(row.param.name); });

TEST_F(InstalledCrashReportTest, WithoutAHomeNoFileIsWrittenAnywhere) {
  const ChildOutcome outcome = Crash({{"XDG_STATE_HOME", ""}, {"HOME", ""}});
  EXPECT_EQ(outcome.signal, SIGSEGV);
  EXPECT_EQ(outcome.output, kNotes);
  EXPECT_THAT(AllFiles(), ::testing::IsEmpty());
}

TEST_F(InstalledCrashReportTest, ExistingStateFolderKeepsItsPermissions) {
  const fs::path state = dir_.path() / "state";
  fs::create_directories(state);
  fs::permissions(state, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
  Crash({{"XDG_STATE_HOME", state.string()}});
  EXPECT_EQ(Permissions(state),
            fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
  EXPECT_EQ(Permissions(state / "reelkit"), fs::perms::owner_all);
  EXPECT_EQ(AllFiles().size(), 2u);
}

class CrashDumpDebuggerTest : public CrashReportTest {
 protected:
  void SetUp() override {
    gdb_ = FindOnPath("gdb");
    if (gdb_.empty()) {
      GTEST_SKIP() << "gdb is not installed";
    }
  }

  std::string Debug(const std::vector<std::string>& commands) const {
    const std::vector<fs::path> dumps = DiagFiles(".dmp");
    EXPECT_EQ(dumps.size(), 1u);
    if (dumps.empty()) {
      return {};
    }
    std::vector<std::string> argv = {gdb_, "-batch", "-nx", "-iex", "set debuginfod enabled off"};
    for (const std::string& command : commands) {
      argv.push_back("-ex");
      argv.push_back(command);
    }
    argv.push_back(trigger_);
    argv.push_back(dumps[0].string());
    return RunProcess(argv).output;
  }

  std::string gdb_;
};

TEST_F(CrashDumpDebuggerTest, GdbShowsTheCrashingFrame) {
  Install();
  Crash("null-write");
  const std::string output = Debug({"bt"});
  EXPECT_THAT(output, HasSubstr("SIGSEGV"));
  EXPECT_TRUE(
      std::regex_search(output, std::regex(R"(#0 .*CrashWithNullWrite.*crash_trigger\.cpp:\d+)")))
      << output;
  EXPECT_TRUE(std::regex_search(output, std::regex(R"(#\d+ .*main .*crash_trigger\.cpp:\d+)")))
      << output;
}

TEST_F(CrashDumpDebuggerTest, GdbSeesEveryThreadWithTheCrashingOneCurrent) {
  Install();
  Crash("second-thread");
  const std::string output = Debug({"info threads"});
  // Rows of the thread table: "* 1    Thread 0x7f51... (LWP 16785) 0x55bd... in ...".
  const std::regex threadRow(R"(^(\*| ) +\d+ +Thread 0x[0-9a-f]+ \(LWP \d+\) .*$)");
  std::vector<std::string> rows;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    if (std::regex_match(line, threadRow)) {
      rows.push_back(line);
    }
  }
  ASSERT_EQ(rows.size(), 2u) << output;
  EXPECT_EQ(rows[0][0], '*') << "the crashing thread comes first and is current";
  EXPECT_THAT(rows[0], HasSubstr("CrashWithNullWrite"));
  EXPECT_THAT(rows[1], ::testing::Not(HasSubstr("CrashWithNullWrite")));
}

}  // namespace
}  // namespace reelkit::testing
