#include "sha256.hpp"

#include "hex_digits.hpp"

#include <openssl/err.h>
#include <openssl/evp.h>

#include <new>
#include <stdexcept>

namespace {

constexpr std::size_t digestSize = 32;

// OpenSSL's reason for the last failure, for a message that should never be seen.
[[noreturn]] void failDigest(const char* step)
{
    char reason[256] = "no reason given";
    if (const unsigned long code = ERR_get_error()) ERR_error_string_n(code, reason, sizeof reason);
    throw std::runtime_error(std::string("SHA-256: ") + step + " failed: " + reason);
}

EVP_MD_CTX* contextOf(Sha256& digest)
{
    return static_cast<EVP_MD_CTX*>(digest.context.get());
}

} // namespace

Sha256 startSha256()
{
    Sha256 digest{{EVP_MD_CTX_new(), [](void* context) {
                       EVP_MD_CTX_free(static_cast<EVP_MD_CTX*>(context));
                   }}};
    if (!digest.context) throw std::bad_alloc();
    if (EVP_DigestInit_ex(contextOf(digest), EVP_sha256(), nullptr) != 1) failDigest("start");
    return digest;
}

void addToSha256(Sha256& digest, const void* data, std::size_t size)
{
    if (EVP_DigestUpdate(contextOf(digest), data, size) != 1) failDigest("update");
}

std::string finishSha256(Sha256& digest)
{
    unsigned char bytes[digestSize];
    if (EVP_DigestFinal_ex(contextOf(digest), bytes, nullptr) != 1) failDigest("finish");
    return hexDigits(bytes, digestSize);
}

std::string sha256Hex(const std::string& bytes)
{
    unsigned char digest[digestSize];
    if (EVP_Digest(bytes.data(), bytes.size(), digest, nullptr, EVP_sha256(), nullptr) != 1) {
        failDigest("digest");
    }
    return hexDigits(digest, digestSize);
}
