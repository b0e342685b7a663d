#pragma once

#include <cstddef>
#include <memory>
#include <string>

/// A SHA-256 digest (FIPS 180-4) being computed over bytes given piece by piece, by the
/// system's cryptographic library (libcrypto; CNG on Windows), which uses the processor's SHA
/// instructions where it has them.
struct Sha256 {
    std::unique_ptr<void, void (*)(void*)> context{nullptr, nullptr};
};

/// A digest of no bytes yet. Throws std::runtime_error if the library has no SHA-256.
Sha256 startSha256();

/// Adds `size` bytes at `data` to the digest.
void addToSha256(Sha256& digest, const void* data, std::size_t size);

/// The digest of every byte given, as 64 lowercase hexadecimal digits.
std::string finishSha256(Sha256& digest);

/// The SHA-256 of `bytes`, as 64 lowercase hexadecimal digits.
std::string sha256Hex(const std::string& bytes);
