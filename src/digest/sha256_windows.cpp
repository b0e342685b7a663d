// SHA-256 through Windows' own cryptographic library (CNG): no libcrypto is built for mingw.
#include "sha256.hpp"

#include "hex_digits.hpp"

#include <windows.h>

#include <bcrypt.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace {

constexpr std::size_t digestSize = 32;

[[noreturn]] void failDigest(const char* step, NTSTATUS status)
{
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lx", static_cast<unsigned long>(status));
    throw std::runtime_error(std::string("SHA-256: ") + step + " failed: status " + code);
}

// The algorithm's provider, opened once for the process.
BCRYPT_ALG_HANDLE sha256Provider()
{
    static const BCRYPT_ALG_HANDLE provider = [] {
        BCRYPT_ALG_HANDLE opened = nullptr;
        const NTSTATUS status =
            BCryptOpenAlgorithmProvider(&opened, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
        if (!BCRYPT_SUCCESS(status)) failDigest("start", status);
        return opened;
    }();
    return provider;
}

} // namespace

Sha256 startSha256()
{
    BCRYPT_HASH_HANDLE hash = nullptr;
    // Without a buffer of ours, CNG keeps the hash object itself.
    const NTSTATUS status = BCryptCreateHash(sha256Provider(), &hash, nullptr, 0, nullptr, 0, 0);
    if (!BCRYPT_SUCCESS(status)) failDigest("start", status);
    return Sha256{{hash, [](void* context) { BCryptDestroyHash(context); }}};
}

void addToSha256(Sha256& digest, const void* data, std::size_t size)
{
    auto bytes = static_cast<PUCHAR>(const_cast<void*>(data));
    while (size > 0) {
        // CNG takes a ULONG count at a time.
        const ULONG piece = ULONG(std::min<std::size_t>(size, 1u << 30));
        const NTSTATUS status = BCryptHashData(digest.context.get(), bytes, piece, 0);
        if (!BCRYPT_SUCCESS(status)) failDigest("update", status);
        bytes += piece;
        size -= piece;
    }
}

std::string finishSha256(Sha256& digest)
{
    unsigned char bytes[digestSize];
    const NTSTATUS status = BCryptFinishHash(digest.context.get(), bytes, ULONG(digestSize), 0);
    if (!BCRYPT_SUCCESS(status)) failDigest("finish", status);
    return hexDigits(bytes, digestSize);
}

std::string sha256Hex(const std::string& bytes)
{
    Sha256 digest = startSha256();
    addToSha256(digest, bytes.data(), bytes.size());
    return finishSha256(digest);
}
