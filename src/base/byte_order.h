#pragma once
// Little-endian numbers in byte buffers, as every file format here stores them.
#include <cstddef>
#include <cstdint>

namespace base {

// The `bytes`-byte little-endian number at `at` (1 to 8 bytes); the caller checks the bounds.
inline std::uint64_t readLittleEndian(const std::uint8_t* data, std::size_t at, std::size_t bytes) {
    std::uint64_t value = 0;
    for (std::size_t i = bytes; i-- > 0;) value = (value << 8) | data[at + i];
    return value;
}

inline void writeLittleEndian(std::uint8_t* data, std::size_t at, std::uint64_t value, std::size_t bytes) {
    for (std::size_t i = 0; i < bytes; ++i, value >>= 8)
        data[at + i] = static_cast<std::uint8_t>(value & 0xFF);
}

}  // namespace base
