#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

/// A SHA-256 digest (FIPS 180-4) being computed over bytes given piece by piece.
struct Sha256 {
    std::array<std::uint32_t, 8> state{};
    std::array<unsigned char, 64> pending{}; ///< bytes not yet making up a whole block
    std::size_t pendingSize = 0;
    std::uint64_t length = 0;                ///< bytes given so far
    bool hardware = false;                   ///< blocks go through the processor's SHA unit
};

/// A digest of no bytes yet. With `allowHardware`, blocks go through the processor's SHA
/// instructions where it has them; the result is the same either way.
Sha256 startSha256(bool allowHardware = true);

/// Adds `size` bytes at `data` to the digest.
void addToSha256(Sha256& digest, const void* data, std::size_t size);

/// The digest of every byte given, as 64 lowercase hexadecimal digits.
std::string finishSha256(Sha256& digest);

/// The SHA-256 of `bytes`, as 64 lowercase hexadecimal digits.
std::string sha256Hex(const std::string& bytes);

/// Whether this processor has the SHA instructions that startSha256 can use.
bool hasSha256Instructions();
