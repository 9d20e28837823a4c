#include "crash_report/thread_freezer.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <atomic>

namespace reelkit {
namespace {

constexpr int kMaxFrozenThreads = 256;
constexpr int kMaxSignalledThreads = 4096;
// New threads can only come from threads not yet stopped, so the list settles quickly; the cap
// ends the loop if something keeps spawning anyway.
constexpr int kMaxFreezePasses = 16;
constexpr std::int64_t kAcknowledgeWaitNanoseconds = 500'000'000;

struct FrozenSlot {
  std::atomic<bool> ready{false};
  ThreadSnapshot snapshot;
};

FrozenSlot frozenSlots[kMaxFrozenThreads];
std::atomic<int> claimedSlots{0};
std::atomic<int> acknowledgements{0};
std::atomic<bool> freezing{false};
int freezeSignal = 0;

// Touched by the crashing thread only.
pid_t signalledThreads[kMaxSignalledThreads];
int signalledCount = 0;
alignas(8) char directoryEntries[4096];

void OnFreezeSignal(int, siginfo_t*, void* context) {
  if (!freezing.load()) {
    return;  // a stray signal from outside: nothing has crashed
  }
  FreezeCurrentThread(*static_cast<const ucontext_t*>(context));
}

bool WasSignalled(pid_t thread) {
  for (int i = 0; i < signalledCount; ++i) {
    if (signalledThreads[i] == thread) {
      return true;
    }
  }
  return false;
}

pid_t ParseThreadId(const char* name) {
  pid_t value = 0;
  for (; *name != '\0'; ++name) {
    if (*name < '0' || *name > '9' || value > 100'000'000) {
      return 0;
    }
    value = value * 10 + (*name - '0');
  }
  return value;
}

// One pass over the thread list; returns how many threads it newly signalled.
int SignalNewThreads(pid_t process, pid_t self) {
  const int directory = ::open("/proc/self/task", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (directory < 0) {
    return 0;
  }
  int signalled = 0;
  for (;;) {
    const ssize_t length = ::getdents64(directory, directoryEntries, sizeof directoryEntries);
    if (length <= 0) {
      break;
    }
    for (ssize_t offset = 0; offset < length;) {
      const auto* entry = reinterpret_cast<const dirent64*>(directoryEntries + offset);
      offset += entry->d_reclen;
      const pid_t thread = ParseThreadId(entry->d_name);
      if (thread <= 0 || thread == self || WasSignalled(thread) ||
          signalledCount == kMaxSignalledThreads) {
        continue;
      }
      if (::tgkill(process, thread, freezeSignal) == 0) {
        signalledThreads[signalledCount++] = thread;
        ++signalled;
      }
    }
  }
  ::close(directory);
  return signalled;
}

std::int64_t MonotonicNanoseconds() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

void WaitForAcknowledgements() {
  const std::int64_t deadline = MonotonicNanoseconds() + kAcknowledgeWaitNanoseconds;
  const timespec step{0, 1'000'000};
  while (acknowledgements.load() < signalledCount && MonotonicNanoseconds() < deadline) {
    ::nanosleep(&step, nullptr);
  }
}

}  // namespace

void PrepareThreadFreezer() {
  // Far from the low real-time signals, which timer and I/O libraries tend to claim.
  freezeSignal = SIGRTMAX - 2;
  struct sigaction action {};
  action.sa_sigaction = OnFreezeSignal;
  action.sa_flags = SA_SIGINFO | SA_RESTART | SA_ONSTACK;
  sigfillset(&action.sa_mask);
  ::sigaction(freezeSignal, &action, nullptr);
}

void FreezeOtherThreads() {
  freezing.store(true);
  const pid_t process = ::getpid();
  const pid_t self = CurrentThreadId();
  for (int pass = 0; pass < kMaxFreezePasses && SignalNewThreads(process, self) > 0; ++pass) {
  }
  WaitForAcknowledgements();
}

void FreezeCurrentThread(const ucontext_t& context) {
  sigset_t everything;
  sigfillset(&everything);
  ::sigprocmask(SIG_SETMASK, &everything, nullptr);
  const int slot = claimedSlots.fetch_add(1);
  if (slot < kMaxFrozenThreads) {
    CaptureThreadSnapshot(context, frozenSlots[slot].snapshot);
    frozenSlots[slot].ready.store(true, std::memory_order_release);
  }
  acknowledgements.fetch_add(1);
  for (;;) {
    ::pause();
  }
}

int FrozenThreadSlotCount() {
  const int claimed = claimedSlots.load();
  return claimed < kMaxFrozenThreads ? claimed : kMaxFrozenThreads;
}

const ThreadSnapshot* FrozenThread(int slot) {
  if (slot < 0 || slot >= FrozenThreadSlotCount() ||
      !frozenSlots[slot].ready.load(std::memory_order_acquire)) {
    return nullptr;
  }
  return &frozenSlots[slot].snapshot;
}

}  // namespace reelkit
