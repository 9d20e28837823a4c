#pragma once

// Waiting in tests: on the event a test means, never on time. A deadline only ends a wait that
// would otherwise not end.

#include <sys/types.h>

#include <chrono>
#include <future>
#include <type_traits>
#include <utility>

namespace reelkit::testing {

// How long a test waits for something that must happen before it calls the wait a hang: far
// beyond what anything here takes under the sanitizers on a loaded two-core machine.
inline constexpr std::chrono::seconds kHangDeadline{120};

// The kernel's id of the calling thread.
pid_t CurrentThreadId();

// Waits until a thread of this process sleeps in the kernel (on a lock, a condition, an event);
// false when the thread ended first or kHangDeadline passed.
bool WaitUntilAsleep(pid_t thread);

template <typename Call>
struct BlockingCall {
  std::future<std::invoke_result_t<Call&>> result;
  bool asleep = false;  // the call's thread went to sleep before the call returned

  // The call has not returned, at the moment of asking.
  bool StillWaiting() const {
    return result.wait_for(std::chrono::seconds(0)) == std::future_status::timeout;
  }
};

// Starts call on a thread of its own and returns once that thread sleeps, as a call sleeps that
// waits for what the test holds back. A call caught asleep on its way to that wait (on a lock
// taken for a moment) only makes the test weaker, never wrong: it still may not have returned.
template <typename Call>
BlockingCall<Call> StartBlockingCall(Call call) {
  std::promise<pid_t> thread;
  std::future<pid_t> threadId = thread.get_future();
  BlockingCall<Call> started;
  started.result = std::async(std::launch::async, [&thread, call = std::move(call)]() mutable {
    thread.set_value(CurrentThreadId());
    return call();
  });
  started.asleep = WaitUntilAsleep(threadId.get());
  return started;
}

}  // namespace reelkit::testing
