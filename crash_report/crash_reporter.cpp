#include "crash_report/crash_reporter.h"

#include <fcntl.h>
#include <setjmp.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <time.h>
#include <ucontext.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <string_view>

#include "common/program_layout.h"
#include "crash_report/civil_time.h"
#include "crash_report/core_dump_writer.h"
#include "crash_report/diag_file_name.h"
#include "crash_report/local_zone.h"
#include "crash_report/report_lines.h"
#include "crash_report/stack_walker.h"
#include "crash_report/symbolizer_launcher.h"
#include "crash_report/thread_freezer.h"
#include "crash_report/thread_snapshot.h"

namespace reelkit {
namespace {

constexpr int kFatalSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT};
// Time budgets of the report's steps. A step can hang on a lock a frozen thread holds (walking
// the stack takes the loader's lock, for one); when its time runs out it ends like a step that
// faulted, and the report goes on without it.
constexpr unsigned kQuickStepSeconds = 2;
constexpr unsigned kDumpStepSeconds = 120;
constexpr unsigned kSymbolizeStepSeconds = 30;
// What follows the report (the previous terminate handler) gets this long before the process is
// ended by the crash's own signal.
constexpr unsigned kAfterReportSeconds = 30;
constexpr std::size_t kAlternateStackSize = 128 * 1024;
constexpr std::int64_t kSecondsPerDay = 86400;
constexpr std::int64_t kZoneDaysBefore = 31;
constexpr std::int64_t kZoneDaysAfter = 10 * 366;
constexpr int kPageFaultTrap = 14;
constexpr greg_t kPageFaultWriteBit = 2;

// Set once at installation.
DiagPath executablePath;
std::int64_t startNanoseconds = 0;
CLocalZone localZone;
std::terminate_handler previousTerminate = nullptr;
std::atomic<bool> installed{false};

// The crash in progress. Only the reporting thread touches the rest.
std::atomic<pid_t> reportingThread{0};
std::atomic<bool> reportFinished{false};
volatile sig_atomic_t crashSignal = SIGABRT;
sigjmp_buf stepJump;
volatile sig_atomic_t stepActive = 0;
constexpr int kStepFaulted = 1;
constexpr int kStepTimedOut = 2;

struct CrashEvent {
  ucontext_t* context = nullptr;
  bool signalContext = false;
  int skipFrames = 0;
  siginfo_t signalInfo{};
  CrashCause cause;
};

struct CrashMoment {
  CivilTime localTime;
  std::uint64_t uptimeSeconds = 0;
};

ThreadSnapshot crashingThread;
StackTrace stackTrace;
ReportText report;
DiagPath diagDirectory;
DiagPath dumpFileName;
DiagPath partialDumpFileName;
DiagPath textFileName;
int dumpError = 0;

// Gives the calling thread a stack for signal handlers, with a guard page below it, so that a
// handler still runs when the thread's own stack is exhausted.
class CAlternateSignalStack {
 public:
  CAlternateSignalStack() {
    stack_t current{};
    if (::sigaltstack(nullptr, &current) != 0 || (current.ss_flags & SS_DISABLE) == 0) {
      return;  // the thread already has one
    }
    const std::size_t guard = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    void* memory = ::mmap(nullptr, guard + kAlternateStackSize, PROT_READ | PROT_WRITE,
                          MAP_PRIVATE | MAP_ANONYMOUS | MAP_STACK, -1, 0);
    if (memory == MAP_FAILED) {
      return;
    }
    ::mprotect(memory, guard, PROT_NONE);
    stack_t stack{};
    stack.ss_sp = static_cast<char*>(memory) + guard;
    stack.ss_size = kAlternateStackSize;
    if (::sigaltstack(&stack, nullptr) != 0) {
      ::munmap(memory, guard + kAlternateStackSize);
      return;
    }
    memory_ = memory;
    mappedSize_ = guard + kAlternateStackSize;
  }

  ~CAlternateSignalStack() {
    if (memory_ == nullptr) {
      return;
    }
    stack_t off{};
    off.ss_flags = SS_DISABLE;
    ::sigaltstack(&off, nullptr);
    ::munmap(memory_, mappedSize_);
  }

  CAlternateSignalStack(const CAlternateSignalStack&) = delete;
  CAlternateSignalStack& operator=(const CAlternateSignalStack&) = delete;

 private:
  void* memory_ = nullptr;
  std::size_t mappedSize_ = 0;
};

std::int64_t ClockNanoseconds(clockid_t clock) {
  timespec now{};
  ::clock_gettime(clock, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

void WriteToStdout(std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(STDOUT_FILENO, text.data(), text.size());
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      return;
    }
    text.remove_prefix(static_cast<std::size_t>(n));
  }
}

// Returns 0 or errno.
int AppendToFile(const char* path, std::string_view text) {
  const int fd = ::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0) {
    return errno;
  }
  int error = 0;
  while (!text.empty()) {
    const ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      error = n < 0 ? errno : EIO;
      break;
    }
    text.remove_prefix(static_cast<std::size_t>(n));
  }
  ::close(fd);
  return error;
}

void RestoreDefaultAction(int signalNumber) {
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  sigemptyset(&action.sa_mask);
  ::sigaction(signalNumber, &action, nullptr);
}

[[noreturn]] void DieBySignal(int signalNumber) {
  RestoreDefaultAction(signalNumber);
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, signalNumber);
  ::sigprocmask(SIG_UNBLOCK, &signals, nullptr);
  ::tgkill(::getpid(), CurrentThreadId(), signalNumber);
  ::_exit(128 + signalNumber);  // only if the signal could not end the process
}

// The alarm is the process's, so a thread that neither froze nor blocks it may receive it; it
// passes the alarm on to the reporting thread and stops.
void OnWatchdog(int, siginfo_t*, void* context) {
  const pid_t reporter = reportingThread.load();
  if (CurrentThreadId() != reporter) {
    ::tgkill(::getpid(), reporter, SIGALRM);
    FreezeCurrentThread(*static_cast<const ucontext_t*>(context));
  }
  if (stepActive != 0) {
    siglongjmp(stepJump, kStepTimedOut);
  }
  DieBySignal(crashSignal);
}

// The reporting thread takes the alarm, and leaves the end of its helper processes to be noticed
// by its own wait: an application's child handler could take locks.
void PrepareReportingThreadSignals() {
  struct sigaction action {};
  action.sa_sigaction = OnWatchdog;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGALRM, &action, nullptr);
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGALRM);
  ::sigprocmask(SIG_UNBLOCK, &signals, nullptr);
  sigemptyset(&signals);
  sigaddset(&signals, SIGCHLD);
  ::sigprocmask(SIG_BLOCK, &signals, nullptr);
}

// Runs one step of the report. A fault inside it, or its time running out, ends only that step:
// the signal handler jumps back here. Returns 0 when the step completed, else what ended it.
template <typename Step>
[[gnu::noinline]] int RunStep(unsigned budgetSeconds, const Step& step) {
  const int outcome = sigsetjmp(stepJump, 1);
  if (outcome == 0) {
    stepActive = 1;
    ::alarm(budgetSeconds);
    step();
  }
  ::alarm(0);
  stepActive = 0;
  return outcome;
}

CrashMoment TakeMoment() {
  CrashMoment moment;
  const std::int64_t now = ClockNanoseconds(CLOCK_REALTIME) / 1'000'000'000;
  moment.localTime = localZone.LocalTime(now);
  const std::int64_t uptime = ClockNanoseconds(CLOCK_MONOTONIC) - startNanoseconds;
  moment.uptimeSeconds = uptime > 0 ? static_cast<std::uint64_t>(uptime / 1'000'000'000) : 0;
  return moment;
}

// Creates the directory and any missing parent, each readable by its owner only: a dump holds
// the whole memory of the process, documents and passwords included.
bool CreateDirectoryPath(const DiagPath& directory) {
  DiagPath partial;
  const std::string_view path = directory.View();
  for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    partial.Clear();
    partial.Append(path.substr(0, slash));
    if (::mkdir(partial.CString(), 0700) != 0 && errno != EEXIST) {
      return false;
    }
    if (slash == std::string_view::npos) {
      return true;
    }
  }
}

bool PrepareDiagFiles(const CivilTime& localTime) {
  if (diagDirectory.Size() == 0 || !CreateDirectoryPath(diagDirectory) ||
      !MakeDiagFileName(diagDirectory.View(), executablePath.View(), localTime, ".dmp",
                        dumpFileName) ||
      !MakeDiagFileName(diagDirectory.View(), executablePath.View(), localTime, ".txt",
                        textFileName)) {
    return false;
  }
  // The dump is written under a name of its own and then renamed over the final one, so two
  // crashes in the same second never mix their dumps, and a half-written dump never replaces a
  // complete one.
  partialDumpFileName.Clear();
  partialDumpFileName.Append(dumpFileName.View())
      .Append(".")
      .AppendDecimal(static_cast<std::uint64_t>(::getpid()));
  return !partialDumpFileName.Truncated();
}

int WriteDumpFile(const siginfo_t& signalInfo) {
  const int fd = ::open(partialDumpFileName.CString(),
                        O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    return errno;
  }
  int error = WriteCoreDump(fd, crashingThread, signalInfo);
  struct stat written {};
  const bool empty = ::fstat(fd, &written) != 0 || written.st_size == 0;
  ::close(fd);
  if (empty) {
    ::unlink(partialDumpFileName.CString());
    return error != 0 ? error : EIO;
  }
  if (::rename(partialDumpFileName.CString(), dumpFileName.CString()) != 0) {
    error = errno;
    ::unlink(partialDumpFileName.CString());
  }
  return error;
}

void AppendHeaderLines(const CrashMoment& moment, const CrashCause& cause) {
  AppendTimeLine(report, moment.localTime, moment.uptimeSeconds);
  AppendProductLine(report);
  utsname system{};
  if (::uname(&system) == 0) {
    AppendSystemLine(report, {system.sysname, system.machine, system.release, system.version});
  }
  AppendExceptionLine(report, cause);
  AppendThreadLine(report, static_cast<std::uint64_t>(crashingThread.threadId));
  if (dumpError != 0) {
    AppendDumpErrorLine(report, dumpError);
  }
}

// Standard output may be a pipe its reader has closed: writing the notes there must fail
// quietly, not end the process before the report is written. The process ends after the report,
// so the broken-pipe signal stays ignored.
void IgnoreBrokenPipes() {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  ::sigaction(SIGPIPE, &ignore, nullptr);
}

// Runs on the crashing thread, which the caller has made the only reporting one.
void WriteCrashReport(CrashEvent& event) {
  IgnoreBrokenPipes();
  WriteToStdout("\r\nfatal error...");
  PrepareReportingThreadSignals();
  const CrashMoment moment = TakeMoment();
  crashingThread.threadId = CurrentThreadId();
  RunStep(kQuickStepSeconds, [] { FreezeOtherThreads(); });
  RunStep(kQuickStepSeconds, [&] { CaptureThreadSnapshot(*event.context, crashingThread); });
  const bool haveFiles = PrepareDiagFiles(moment.localTime);
  dumpError = 0;
  if (haveFiles) {
    const int outcome =
        RunStep(kDumpStepSeconds, [&] { dumpError = WriteDumpFile(event.signalInfo); });
    if (outcome != 0) {
      // An interrupted dump is incomplete; it must not replace a complete one.
      ::unlink(partialDumpFileName.CString());
      dumpError = outcome == kStepTimedOut ? ETIMEDOUT : EFAULT;
    }
  }
  stackTrace.count = 0;
  RunStep(kQuickStepSeconds * 2, [&] {
    CollectStackTrace(*event.context, event.signalContext, event.skipFrames, stackTrace);
  });
  report.Clear();
  RunStep(kQuickStepSeconds, [&] { AppendHeaderLines(moment, event.cause); });
  RunStep(kSymbolizeStepSeconds, [] { AppendSymbolizedStack(stackTrace, report); });
  if (haveFiles) {
    RunStep(kQuickStepSeconds, [] { AppendToFile(textFileName.CString(), report.View()); });
  }
  WriteToStdout(" core dumped\r\n");
  if (haveFiles) {
    WriteToStdout("The crash report and core dump are in ");
    WriteToStdout(diagDirectory.View());
    WriteToStdout("\r\n");
  }
  ::alarm(kAfterReportSeconds);
}

CrashEvent EventFromSignal(int signalNumber, const siginfo_t& info, ucontext_t* context) {
  const greg_t* registers = context->uc_mcontext.gregs;
  FaultSignal fault;
  fault.number = signalNumber;
  fault.code = info.si_code;
  fault.faultAddress = reinterpret_cast<std::uintptr_t>(info.si_addr);
  fault.instructionAddress = static_cast<std::uint64_t>(registers[REG_RIP]);
  fault.stackPointer = static_cast<std::uint64_t>(registers[REG_RSP]);
  if (registers[REG_TRAPNO] == kPageFaultTrap) {
    fault.access =
        (registers[REG_ERR] & kPageFaultWriteBit) != 0 ? MemoryAccess::Write : MemoryAccess::Read;
  }
  CrashEvent event;
  event.context = context;
  event.signalContext = true;
  event.signalInfo = info;
  event.cause = CrashCauseFromSignal(fault);
  return event;
}

bool IsProcessorFault(const siginfo_t& info) {
  return info.si_code > 0 && info.si_signo != SIGABRT;
}

void OnFatalSignal(int signalNumber, siginfo_t* info, void* rawContext) {
  auto* context = static_cast<ucontext_t*>(rawContext);
  const pid_t self = CurrentThreadId();
  pid_t reporter = 0;
  if (reportingThread.compare_exchange_strong(reporter, self)) {
    crashSignal = signalNumber;
    CrashEvent event = EventFromSignal(signalNumber, *info, context);
    WriteCrashReport(event);
    reportFinished = true;
    if (IsProcessorFault(*info)) {
      // Returning runs the faulting instruction again, now without a handler, so the process
      // ends at the fault itself, as a system core dump would show it.
      RestoreDefaultAction(signalNumber);
      return;
    }
    DieBySignal(signalNumber);
  }
  if (reporter == self) {
    if (stepActive != 0 && !reportFinished) {
      siglongjmp(stepJump, kStepFaulted);
    }
    DieBySignal(signalNumber);  // the abort of the previous terminate handler, after the report
  }
  FreezeCurrentThread(*context);  // another thread is reporting its own crash
}

[[noreturn]] void OnTerminate() {
  ucontext_t context{};
  ::getcontext(&context);
  const pid_t self = CurrentThreadId();
  pid_t reporter = 0;
  if (reportingThread.compare_exchange_strong(reporter, self)) {
    CrashEvent event;
    event.context = &context;
    event.skipFrames = 1;  // this handler
    event.signalInfo.si_signo = SIGABRT;
    event.signalInfo.si_code = SI_TKILL;
    event.cause.kind = CrashKind::UncaughtException;
    WriteCrashReport(event);
    reportFinished = true;
  } else if (reporter != self) {
    FreezeCurrentThread(context);
  }
  if (previousTerminate != nullptr) {
    previousTerminate();
  }
  std::abort();
}

void RememberStart() {
  startNanoseconds = ClockNanoseconds(CLOCK_MONOTONIC);
  // Converting a time to local time after a crash is not safe (the C library takes a lock and may
  // read the zone file), so the zone's offsets are gathered now for the years the program could
  // run, and for a clock set back a little.
  const std::int64_t now = ClockNanoseconds(CLOCK_REALTIME) / 1'000'000'000;
  localZone.Prepare(now - kZoneDaysBefore * kSecondsPerDay, now + kZoneDaysAfter * kSecondsPerDay);
}

std::string_view EnvironmentValue(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

// An installed program's folder is the system's, shared by every user and not theirs to write:
// its reports go to the user's state directory. A program run from its build tree keeps them beside
// itself.
void ChooseDiagDirectory(const ProgramLayout& layout) {
  const bool chosen = layout.installed
                          ? MakeStateDiagDirectoryName(EnvironmentValue("XDG_STATE_HOME"),
                                                       EnvironmentValue("HOME"), diagDirectory)
                          : MakeDiagDirectoryName(executablePath.View(), diagDirectory);
  if (!chosen) {
    diagDirectory.Clear();
  }
}

void RememberExecutable() {
  executablePath.Clear();
  diagDirectory.Clear();
  char path[4096];
  const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path);
  if (length <= 0 || static_cast<std::size_t>(length) >= sizeof path) {
    return;
  }
  executablePath.Append(std::string_view(path, static_cast<std::size_t>(length)));
  const ProgramLayout layout = ProgramLayoutOf(std::string(executablePath.View()));
  ChooseDiagDirectory(layout);
  PrepareSymbolizer(layout.privateDirectory);
}

void InstallSignalHandlers() {
  for (const int signalNumber : kFatalSignals) {
    struct sigaction action {};
    action.sa_sigaction = OnFatalSignal;
    // No deferral: a fault inside a report step must reach the handler again to end the step.
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    ::sigaction(signalNumber, &action, nullptr);
  }
}

}  // namespace

void InstallCrashReporter() {
  thread_local const CAlternateSignalStack alternateStack;
  if (installed.exchange(true)) {
    return;
  }
  RememberStart();
  RememberExecutable();
  PrepareStackWalker();
  PrepareThreadFreezer();
  previousTerminate = std::set_terminate(OnTerminate);
  InstallSignalHandlers();
}

}  // namespace reelkit
