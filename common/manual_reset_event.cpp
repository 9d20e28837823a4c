#include "common/manual_reset_event.h"

#include <algorithm>
#include <cassert>
#include <thread>

namespace reelkit {

namespace {

// How long a waiter may watch its events before it sleeps. The streaming thread and the
// recorder's caller hand frames to each other many thousand times a second; a partner running on
// the other core answers within microseconds, and a sleeping wait would cost two context switches.
// But a partner that is busy for longer, or not running at all on a loaded machine, makes
// watching a waste: the group learns from its waits how long watching is worth it (all of it after
// a wait that watching served, halving after one it did not), and once it has stopped watching it
// tries again briefly every so often.
constexpr int kLongestSpinMicroseconds = 50;
constexpr int kProbeSpinMicroseconds = 2;
constexpr unsigned kWaitsBetweenProbes = 32;

void RelaxProcessor() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#elif defined(__aarch64__)
  asm volatile("yield");
#endif
}

bool SpinningPays() {
  static const bool pays = std::thread::hardware_concurrency() > 1;
  return pays;
}

const CManualResetEvent* FirstSignalled(std::initializer_list<const CManualResetEvent*> events) {
  const auto it = std::find_if(events.begin(), events.end(),
                               [](const CManualResetEvent* event) { return event->IsSet(); });
  return it == events.end() ? nullptr : *it;
}

const CManualResetEvent* SpinForAny(std::initializer_list<const CManualResetEvent*> events,
                                    std::chrono::microseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (unsigned round = 1;; ++round) {
    if (const CManualResetEvent* found = FirstSignalled(events)) {
      return found;
    }
    RelaxProcessor();
    if (round % 64 == 0 && std::chrono::steady_clock::now() >= deadline) {
      return nullptr;
    }
  }
}

}  // namespace

const CManualResetEvent* CManualResetEvent::SpinAsLearnt(
    CEventGroup& group, std::initializer_list<const CManualResetEvent*> events,
    std::optional<Duration> limit) {
  if (!SpinningPays()) {
    return nullptr;
  }
  int budget = group.spinMicroseconds_.load(std::memory_order_relaxed);
  if (budget == 0) {
    if (group.waitsSinceProbe_.fetch_add(1, std::memory_order_relaxed) % kWaitsBetweenProbes != 0) {
      return nullptr;
    }
    budget = kProbeSpinMicroseconds;
  }
  std::chrono::microseconds spin{budget};
  if (limit && *limit < spin) {
    spin = *limit;
  }
  const CManualResetEvent* found = SpinForAny(events, spin);
  const int learnt = found != nullptr ? kLongestSpinMicroseconds : budget / 2;
  group.spinMicroseconds_.store(learnt, std::memory_order_relaxed);
  return found;
}

// Setting and resetting take no lock unless a thread sleeps on the group: the two threads of a
// hand-over would otherwise meet on the lock many thousand times a second. The sequentially
// consistent pair (signalled, then sleepers here; sleepers, then signalled in the waiter) makes
// sure that either the setter sees the sleeper or the sleeper sees the signal.
void CManualResetEvent::Set() {
  signalled_.store(true);
  if (group_.sleepers_.load() == 0) {
    return;
  }
  { std::lock_guard guard(group_.lock_); }  // a sleeper between its check and its wait is past it
  group_.changed_.notify_all();
}

void CManualResetEvent::Reset() {
  signalled_.store(false);
}

bool CManualResetEvent::IsSet() const {
  return signalled_.load();
}

bool CManualResetEvent::Wait(std::optional<Duration> limit) {
  return WaitAny({this}, limit) != nullptr;
}

const CManualResetEvent* CManualResetEvent::WaitAny(
    std::initializer_list<const CManualResetEvent*> events, std::optional<Duration> limit) {
  assert(events.size() > 0);
  CEventGroup& group = (*events.begin())->group_;
  if (const CManualResetEvent* found = SpinAsLearnt(group, events, limit)) {
    return found;
  }
  const CManualResetEvent* found = nullptr;
  const auto anySignalled = [&] {
    found = FirstSignalled(events);
    return found != nullptr;
  };
  std::unique_lock guard(group.lock_);
  group.sleepers_.fetch_add(1);
  if (limit) {
    group.changed_.wait_for(guard, *limit, anySignalled);
  } else {
    group.changed_.wait(guard, anySignalled);
  }
  group.sleepers_.fetch_sub(1);
  return found;
}

}  // namespace reelkit
