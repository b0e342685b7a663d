// The digest through Windows' CNG: FIPS 180-4's examples and NIST's long message, whole and
// streamed in pieces, as the Linux build's libcrypto gives them.
#include "../sha256_cases.hpp"
#include "digest/sha256.hpp"

#include <gtest/gtest.h>

TEST(WindowsSha256, KnownDigests)
{
    for (const auto& [bytes, digest] : knownSha256Digests()) {
        EXPECT_EQ(sha256Hex(bytes), digest) << bytes.substr(0, 20);
        Sha256 streamed = startSha256();
        const std::size_t cut = bytes.size() / 3;
        addToSha256(streamed, bytes.data(), cut);
        addToSha256(streamed, bytes.data() + cut, bytes.size() - cut);
        EXPECT_EQ(finishSha256(streamed), digest) << bytes.substr(0, 20) << " (streamed)";
    }
}
