#pragma once
// SHA-256 (FIPS 180-4), for the sample record: which model, texture and overlay picture a
// sample was made with. Written out here because it is one exact formula that both systems need
// alike, and Debian ships no crypto library for the MinGW build.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace base {

// A digest over bytes that arrive in pieces (a file read in blocks).
class Sha256 {
public:
    void update(std::span<const std::uint8_t> bytes);
    // The digest of everything given, as 64 lower-case hexadecimal digits; ends the digest.
    std::string hex();

private:
    std::uint32_t state_[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                               0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    std::uint8_t block_[64]{};
    std::size_t used_ = 0;  // bytes waiting in block_
    std::uint64_t length_ = 0;
};

// The digest of `bytes` as 64 lower-case hexadecimal digits.
std::string sha256Hex(std::span<const std::uint8_t> bytes);

// The digest of the file at `path` (UTF-8), read in blocks; empty when it cannot be read.
std::string fileSha256(const std::string& path);

}  // namespace base
