#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

// The bits of one NAL unit's payload, read as the H.264 and H.265 syntax reads them: fixed-width
// fields and Exp-Golomb codes. A read past the end gives 0 and marks the reader as overrun, so a
// parser reads a whole structure and asks once at its end whether it was all there.
namespace vexlo::analysis {

/// The payload with its emulation prevention bytes (the 03 of each 00 00 03) taken out.
inline std::vector<std::uint8_t> UnescapedPayload(std::basic_string_view<std::uint8_t> nal) {
  std::vector<std::uint8_t> payload;
  payload.reserve(nal.size());
  int zeros = 0;
  for (const std::uint8_t byte : nal) {
    if (zeros >= 2 && byte == 3) {
      zeros = 0;
      continue;
    }
    zeros = byte == 0 ? zeros + 1 : 0;
    payload.push_back(byte);
  }
  return payload;
}

class RbspReader {
 public:
  explicit RbspReader(const std::vector<std::uint8_t>& payload) : bytes_(payload) {}

  /// `count` bits (at most 32), most significant first.
  std::uint32_t Bits(int count) {
    std::uint32_t value = 0;
    for (int i = 0; i < count; ++i) value = value << 1 | Bit();
    return value;
  }

  bool Flag() { return Bit() != 0; }

  /// ue(v). Codes of more than 31 leading zeros are no value this reader's callers accept: they
  /// overrun the reader.
  std::uint32_t Unsigned() {
    int zeros = 0;
    while (Bit() == 0) {
      if (overrun_ || ++zeros > 31) {
        overrun_ = true;
        return 0;
      }
    }
    return static_cast<std::uint32_t>((std::uint64_t{1} << zeros) - 1 + Bits(zeros));
  }

  /// se(v).
  std::int32_t Signed() {
    const std::uint32_t code = Unsigned();
    const auto magnitude = static_cast<std::int32_t>((code + 1) / 2);
    return code % 2 == 1 ? magnitude : -magnitude;
  }

  void Skip(std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) Bit();
  }

  /// Whether any read went past the end.
  bool overrun() const { return overrun_; }

 private:
  std::uint32_t Bit() {
    if (position_ >= bytes_.size() * 8) {
      overrun_ = true;
      return 0;
    }
    const std::uint32_t bit = bytes_[position_ / 8] >> (7 - position_ % 8) & 1;
    ++position_;
    return bit;
  }

  const std::vector<std::uint8_t>& bytes_;
  std::size_t position_ = 0;
  bool overrun_ = false;
};

}  // namespace vexlo::analysis
