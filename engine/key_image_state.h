#pragma once

#include <array>
#include <cstdint>
#include <limits>

#include "common/packet_kind.h"

namespace reelkit {

// Stands for "no such record".
inline constexpr std::uint64_t kNoRecord = std::numeric_limits<std::uint64_t>::max();

// What a key image leaves as it was: it sets both planes and the screen, but the format and the
// cursor come from the records that last set them. Where those records lie, so that decoding from
// a key image can first decode them and show what decoding from the start would.
struct KeyImageState {
  std::uint64_t format = kNoRecord;  // the last FINT, or the first INIT, which acts as one
  std::uint64_t reinit = kNoRecord;  // an INIT after it
  std::uint64_t cursorShape = kNoRecord;
  std::uint64_t cursorPosition = kNoRecord;
  bool initSeen = false;

  // Notes the record of this kind (as the recording has it) at offset.
  void Note(PacketKind kind, std::uint64_t offset) {
    switch (kind) {
      case PacketKind::Fint:
        format = offset;
        reinit = kNoRecord;
        break;
      case PacketKind::Init:
        (initSeen ? reinit : format) = offset;
        initSeen = true;
        break;
      case PacketKind::Mous:
        cursorShape = offset;
        break;
      case PacketKind::Mpos:
        cursorPosition = offset;
        break;
      default:
        break;
    }
  }

  struct Replay {
    std::uint64_t offset;
    PacketKind kind;  // as the record is to be decoded
  };
  // The records to decode before the key image, in their order; kNoRecord where there is none.
  std::array<Replay, 4> Replays() const {
    return {{{format, PacketKind::Fint},
             {reinit, PacketKind::Init},
             {cursorShape, PacketKind::Mous},
             {cursorPosition, PacketKind::Mpos}}};
  }
};

}  // namespace reelkit
