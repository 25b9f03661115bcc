// Little-endian number fields of binary records: find records, ZIP records,
// PE headers and codec length fields.
#pragma once

#include <cstdint>

namespace sys {

// Writes the low `bytes` bytes of value at `at`, least significant first.
inline void put_le(std::uint8_t* at, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i)
    at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// The number held in the `bytes` bytes at `at`, least significant first.
inline std::uint64_t get_le(const std::uint8_t* at, int bytes) {
  std::uint64_t value = 0;
  for (int i = bytes - 1; i >= 0; --i)
    value = value << 8 | at[i];
  return value;
}

// The 16- and 32-bit fields.
inline std::uint32_t get_le16(const std::uint8_t* at) {
  return static_cast<std::uint32_t>(get_le(at, 2));
}
inline std::uint32_t get_le32(const std::uint8_t* at) {
  return static_cast<std::uint32_t>(get_le(at, 4));
}
inline void put_le32(std::uint8_t* at, std::uint32_t value) {
  put_le(at, value, 4);
}

} // namespace sys
