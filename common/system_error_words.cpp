#include "common/system_error_words.h"

#include <cstring>

namespace reelkit {

std::string SystemErrorWords(int error) {
  // strerror_r's GNU form returns the text, which may or may not live in the buffer.
  char buffer[256];
  return ::strerror_r(error, buffer, sizeof buffer);
}

}  // namespace reelkit
