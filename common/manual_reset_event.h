#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <initializer_list>
#include <mutex>
#include <optional>

namespace reelkit {

// The signalling domain of a set of events: one mutex and one condition variable, so that a thread
// can wait for any of several events at once.
class CEventGroup {
 public:
  CEventGroup() = default;
  CEventGroup(const CEventGroup&) = delete;
  CEventGroup& operator=(const CEventGroup&) = delete;

 private:
  friend class CManualResetEvent;
  std::mutex lock_;
  std::condition_variable changed_;
  std::atomic<int> sleepers_ = 0;  // threads waiting on changed_
  // How long a waiter watches before it sleeps, as learnt from the waits so far.
  std::atomic<int> spinMicroseconds_ = 50;
  std::atomic<unsigned> waitsSinceProbe_ = 0;
};

// A manual-reset event: it stays signalled until reset, and every waiter sees it. Any thread may
// set, reset or wait. A waiter watches the event briefly before it sleeps, so a partner thread
// that answers within microseconds costs no context switch.
class CManualResetEvent {
 public:
  using Duration = std::chrono::milliseconds;

  explicit CManualResetEvent(CEventGroup& group) : group_(group) {}
  CManualResetEvent(const CManualResetEvent&) = delete;
  CManualResetEvent& operator=(const CManualResetEvent&) = delete;

  void Set();
  void Reset();
  bool IsSet() const;

  // True at once when signalled; false only when the time limit passes first. No limit waits
  // forever.
  bool Wait(std::optional<Duration> limit = std::nullopt);

  // Waits until one of the events (all of the same group) is signalled; returns it, or nullptr when
  // the time limit passed first.
  static const CManualResetEvent* WaitAny(std::initializer_list<const CManualResetEvent*> events,
                                          std::optional<Duration> limit = std::nullopt);

 private:
  static const CManualResetEvent* SpinAsLearnt(
      CEventGroup& group, std::initializer_list<const CManualResetEvent*> events,
      std::optional<Duration> limit);

  CEventGroup& group_;
  std::atomic<bool> signalled_ = false;
};

}  // namespace reelkit
