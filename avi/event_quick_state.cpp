#include "avi/event_quick_state.h"

#include <algorithm>
#include <cassert>
#include <thread>

namespace reelkit {

namespace {

// How long a waiter watches its events before it sleeps. The streaming thread and the recorder's
// caller hand frames to each other many thousand times a second; the partner on the other core
// usually answers within microseconds, and a sleeping wait would cost two context switches.
constexpr std::chrono::microseconds kSpinLimit{50};

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

const EventQuickState* FirstSignalled(std::initializer_list<const EventQuickState*> events) {
  const auto it = std::find_if(events.begin(), events.end(),
                               [](const EventQuickState* event) { return event->IsSet(); });
  return it == events.end() ? nullptr : *it;
}

const EventQuickState* SpinForAny(std::initializer_list<const EventQuickState*> events,
                                  std::chrono::microseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (unsigned round = 1;; ++round) {
    if (const EventQuickState* found = FirstSignalled(events)) {
      return found;
    }
    RelaxProcessor();
    if (round % 64 == 0 && std::chrono::steady_clock::now() >= deadline) {
      return nullptr;
    }
  }
}

}  // namespace

// Setting and resetting take no lock unless a thread sleeps on the group: the two threads of a
// hand-over would otherwise meet on the lock many thousand times a second. The sequentially
// consistent pair (signalled, then sleepers here; sleepers, then signalled in the waiter) makes
// sure that either the setter sees the sleeper or the sleeper sees the signal.
void EventQuickState::Set() {
  signalled_.store(true);
  if (group_.sleepers_.load() == 0) {
    return;
  }
  { std::lock_guard guard(group_.lock_); }  // a sleeper between its check and its wait is past it
  group_.changed_.notify_all();
}

void EventQuickState::Reset() {
  signalled_.store(false);
}

bool EventQuickState::IsSet() const {
  return signalled_.load();
}

bool EventQuickState::Wait(std::optional<Duration> limit) {
  return WaitAny({this}, limit) != nullptr;
}

const EventQuickState* EventQuickState::WaitAny(
    std::initializer_list<const EventQuickState*> events, std::optional<Duration> limit) {
  assert(events.size() > 0);
  if (SpinningPays()) {
    const auto spin = limit ? std::min<std::chrono::microseconds>(kSpinLimit, *limit) : kSpinLimit;
    if (const EventQuickState* found = SpinForAny(events, spin)) {
      return found;
    }
  }
  CEventGroup& group = (*events.begin())->group_;
  const EventQuickState* found = nullptr;
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
