#include "app/standard_streams.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

namespace reelkit {

void KeepStandardStreamsSafe() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (::fcntl(fd, F_GETFD) < 0) {
      // The lowest free number is taken, and that is fd: the ones below it are open by now.
      ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    }
  }
  ::signal(SIGPIPE, SIG_IGN);
}

}  // namespace reelkit
