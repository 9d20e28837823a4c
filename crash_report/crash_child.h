#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>

namespace reelkit {

// Work the crash reporter hands to child processes, so that a fault or a hang there cannot stop
// the report. Safe in a signal handler.

// Reads from a child's pipe until the child closes it or the time runs out. True when it was
// closed; the bytes read so far are in buffer[0, size) either way. A full buffer counts as not
// closed.
bool ReadUntilClosed(int fd, char* buffer, std::size_t capacity, std::size_t& size,
                     std::int64_t timeoutMilliseconds);

// The end of a child's output, as much as a buffer holds.
struct OutputTail {
  std::size_t size = 0;
  // Set when the buffer starts inside a line whose beginning was dropped.
  bool startsInsideLine = false;
};

// Like ReadUntilClosed, but a full buffer makes room by dropping its oldest line, so the buffer
// ends up holding the last lines the child wrote.
bool ReadTailUntilClosed(int fd, char* buffer, std::size_t capacity, OutputTail& tail,
                         std::int64_t timeoutMilliseconds);

// Waits for a child to end, killing it first unless it has finished its work. True when it
// exited normally with status 0.
bool ReapChild(pid_t child, bool finished);

}  // namespace reelkit
