#include "avi/event_quick_state.h"

#include <algorithm>
#include <cassert>

namespace reelkit {

void EventQuickState::Set() {
  {
    std::lock_guard guard(group_.lock_);
    signalled_ = true;
  }
  group_.changed_.notify_all();
}

void EventQuickState::Reset() {
  std::lock_guard guard(group_.lock_);
  signalled_ = false;
}

bool EventQuickState::IsSet() const {
  std::lock_guard guard(group_.lock_);
  return signalled_;
}

bool EventQuickState::Wait(std::optional<Duration> limit) {
  return WaitAny({this}, limit) != nullptr;
}

const EventQuickState* EventQuickState::WaitAny(
    std::initializer_list<const EventQuickState*> events, std::optional<Duration> limit) {
  assert(events.size() > 0);
  CEventGroup& group = (*events.begin())->group_;
  const EventQuickState* found = nullptr;
  const auto anySignalled = [&] {
    const auto it = std::find_if(events.begin(), events.end(),
                                 [](const EventQuickState* event) { return event->signalled_; });
    found = it == events.end() ? nullptr : *it;
    return found != nullptr;
  };
  std::unique_lock guard(group.lock_);
  if (limit) {
    group.changed_.wait_for(guard, *limit, anySignalled);
  } else {
    group.changed_.wait(guard, anySignalled);
  }
  return found;
}

}  // namespace reelkit
