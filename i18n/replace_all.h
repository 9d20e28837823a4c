#pragma once

#include <string>
#include <string_view>

namespace reelkit {

// The text with every occurrence of `from` replaced, left to right; inserted text is not
// examined again, so a replacement that contains `from` is inserted once.
inline std::u16string ReplaceAll(std::u16string_view text, std::u16string_view from,
                                 std::u16string_view to) {
  std::u16string out;
  std::size_t position = 0;
  for (std::size_t found = text.find(from); found != std::u16string_view::npos;
       found = text.find(from, position)) {
    out.append(text.substr(position, found - position)).append(to);
    position = found + from.size();
  }
  out.append(text.substr(position));
  return out;
}

}  // namespace reelkit
