#include "tools/recording_writer/delta_encoder.h"

#include <algorithm>
#include <cstring>

#include "tools/recording_writer/recording_layout.h"

namespace reelkit::recording {
namespace {

template <std::size_t Unit>
bool SameUnit(const std::uint8_t* a, const std::uint8_t* b) {
  return std::memcmp(a, b, Unit) == 0;
}

struct UnitOpcodes {
  DeltaOpcode keep;
  DeltaOpcode swap;
  DeltaOpcode fill;
  DeltaOpcode literal;
};

template <std::size_t Unit>
constexpr UnitOpcodes OpcodesOf() {
  if constexpr (Unit == 4) {
    return {DeltaOpcode::KeepWords, DeltaOpcode::SwapWords, DeltaOpcode::FillWords,
            DeltaOpcode::LiteralWords};
  } else {
    return {DeltaOpcode::KeepBytes, DeltaOpcode::SwapBytes, DeltaOpcode::FillBytes,
            DeltaOpcode::LiteralBytes};
  }
}

void AppendRunHeader(ByteBlock& out, DeltaOpcode opcode, std::size_t count) {
  const std::uint8_t header[2] = {static_cast<std::uint8_t>(opcode),
                                  static_cast<std::uint8_t>(count)};
  out.Append(header);
}

// Two equal units already pay for a fill; a literal stops where three equal ones start.
constexpr std::size_t kFillFromUnits = 2;
constexpr std::size_t kLiteralBreakUnits = 3;

}  // namespace

template <std::size_t Unit>
void CDeltaEncoder::ClassifyUnits(const DeltaRow& row, std::size_t begin, std::size_t count,
                                  std::vector<UnitClass>& classes) const {
  classes.resize(count);
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t at = begin + i * Unit;
    if (SameUnit<Unit>(row.current + at, row.target + at)) {
      classes[i] = UnitClass::Keep;
    } else if (SameUnit<Unit>(row.previous + at, row.target + at)) {
      classes[i] = UnitClass::Swap;
    } else {
      classes[i] = UnitClass::New;
    }
  }
}

template <std::size_t Unit>
void CDeltaEncoder::EncodeUnits(const DeltaRow& row, std::size_t begin,
                                const std::vector<UnitClass>& classes, ByteBlock& out) const {
  constexpr UnitOpcodes opcodes = OpcodesOf<Unit>();
  const std::size_t count = classes.size();
  const auto targetAt = [&](std::size_t i) { return row.target + begin + i * Unit; };
  const auto repeatsFrom = [&](std::size_t i, std::size_t limit) {
    std::size_t run = 1;
    while (run < limit && i + run < count && classes[i + run] == UnitClass::New &&
           SameUnit<Unit>(targetAt(i + run), targetAt(i))) {
      ++run;
    }
    return run;
  };
  std::size_t i = 0;
  while (i < count) {
    const UnitClass unitClass = classes[i];
    std::size_t end = i + 1;
    if (unitClass != UnitClass::New) {
      while (end < count && end - i < kMaxRunLength && classes[end] == unitClass) {
        ++end;
      }
      AppendRunHeader(out, unitClass == UnitClass::Keep ? opcodes.keep : opcodes.swap, end - i);
    } else if (const std::size_t repeat = repeatsFrom(i, kMaxRunLength); repeat >= kFillFromUnits) {
      end = i + repeat;
      AppendRunHeader(out, opcodes.fill, repeat);
      out.Append(std::span<const std::uint8_t>(targetAt(i), Unit));
    } else {
      while (end < count && end - i < kMaxRunLength && classes[end] == UnitClass::New &&
             repeatsFrom(end, kLiteralBreakUnits) < kLiteralBreakUnits) {
        ++end;
      }
      AppendRunHeader(out, opcodes.literal, end - i);
      out.Append(std::span<const std::uint8_t>(targetAt(i), (end - i) * Unit));
    }
    i = end;
  }
}

template <std::size_t Unit>
void CDeltaEncoder::ApplyUnits(const DeltaRow& row, std::size_t begin,
                               const std::vector<UnitClass>& classes) {
  std::size_t i = 0;
  while (i < classes.size()) {
    const UnitClass unitClass = classes[i];
    std::size_t end = i + 1;
    while (end < classes.size() && classes[end] == unitClass) {
      ++end;
    }
    const std::size_t at = begin + i * Unit;
    const std::size_t bytes = (end - i) * Unit;
    if (unitClass == UnitClass::Swap) {
      std::swap_ranges(row.current + at, row.current + at + bytes, row.previous + at);
    } else if (unitClass == UnitClass::New) {
      std::memcpy(row.previous + at, row.current + at, bytes);
      std::memcpy(row.current + at, row.target + at, bytes);
    }
    std::memcpy(row.screen + at, row.current + at, bytes);
    i = end;
  }
}

void CDeltaEncoder::EncodeRow(const DeltaRow& row, ByteBlock& out) {
  const std::size_t words = units_ == DeltaUnits::Words ? row.bytes / 4 : 0;
  ClassifyUnits<4>(row, 0, words, wordClasses_);
  ClassifyUnits<1>(row, words * 4, row.bytes - words * 4, byteClasses_);
  EncodeUnits<4>(row, 0, wordClasses_, out);
  EncodeUnits<1>(row, words * 4, byteClasses_, out);
}

void CDeltaEncoder::ApplyRow(const DeltaRow& row) const {
  ApplyUnits<4>(row, 0, wordClasses_);
  ApplyUnits<1>(row, wordClasses_.size() * 4, byteClasses_);
}

}  // namespace reelkit::recording
