// The digest through Windows' CNG: FIPS 180-4's examples and NIST's long message, whole and
// streamed in pieces, as the Linux build's libcrypto gives them.
#include "digest/sha256.hpp"

#include <gtest/gtest.h>

#include <utility>

TEST(WindowsSha256, KnownDigests)
{
    const std::pair<std::string, std::string> cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'),
         "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& [bytes, digest] : cases) {
        EXPECT_EQ(sha256Hex(bytes), digest) << bytes.substr(0, 20);
        Sha256 streamed = startSha256();
        const std::size_t cut = bytes.size() / 3;
        addToSha256(streamed, bytes.data(), cut);
        addToSha256(streamed, bytes.data() + cut, bytes.size() - cut);
        EXPECT_EQ(finishSha256(streamed), digest) << bytes.substr(0, 20) << " (streamed)";
    }
}
