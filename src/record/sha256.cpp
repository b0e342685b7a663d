#include "sha256.hpp"

#include <cstring>

#if defined(__x86_64__)
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace {

constexpr std::array<std::uint32_t, 64> roundConstants = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4,
    0xab1c5ed5, 0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe,
    0x9bdc06a7, 0xc19bf174, 0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f,
    0x4a7484aa, 0x5cb0a9dc, 0x76f988da, 0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7,
    0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967, 0x27b70a85, 0x2e1b2138, 0x4d2c6dfc,
    0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85, 0xa2bfe8a1, 0xa81a664b,
    0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070, 0x19a4c116,
    0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7,
    0xc67178f2};

constexpr std::array<std::uint32_t, 8> initialState = {0x6a09e667, 0xbb67ae85, 0x3c6ef372,
                                                       0xa54ff53a, 0x510e527f, 0x9b05688c,
                                                       0x1f83d9ab, 0x5be0cd19};

std::uint32_t rotateRight(std::uint32_t x, int n)
{
    return (x >> n) | (x << (32 - n));
}

void compressPortable(std::array<std::uint32_t, 8>& state, const unsigned char* data,
                      std::size_t blocks)
{
    for (; blocks > 0; --blocks, data += 64) {
        std::uint32_t w[64];
        for (int t = 0; t < 16; ++t) {
            w[t] = std::uint32_t(data[4 * t]) << 24 | std::uint32_t(data[4 * t + 1]) << 16 |
                   std::uint32_t(data[4 * t + 2]) << 8 | std::uint32_t(data[4 * t + 3]);
        }
        for (int t = 16; t < 64; ++t) {
            const std::uint32_t s0 =
                rotateRight(w[t - 15], 7) ^ rotateRight(w[t - 15], 18) ^ (w[t - 15] >> 3);
            const std::uint32_t s1 =
                rotateRight(w[t - 2], 17) ^ rotateRight(w[t - 2], 19) ^ (w[t - 2] >> 10);
            w[t] = w[t - 16] + s0 + w[t - 7] + s1;
        }
        std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4],
                      f = state[5], g = state[6], h = state[7];
        for (int t = 0; t < 64; ++t) {
            const std::uint32_t s1 = rotateRight(e, 6) ^ rotateRight(e, 11) ^ rotateRight(e, 25);
            const std::uint32_t choice = (e & f) ^ (~e & g);
            const std::uint32_t t1 = h + s1 + choice + roundConstants[std::size_t(t)] + w[t];
            const std::uint32_t s0 = rotateRight(a, 2) ^ rotateRight(a, 13) ^ rotateRight(a, 22);
            const std::uint32_t majority = (a & b) ^ (a & c) ^ (b & c);
            h = g;
            g = f;
            f = e;
            e = d + t1;
            d = c;
            c = b;
            b = a;
            a = t1 + s0 + majority;
        }
        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
        state[4] += e;
        state[5] += f;
        state[6] += g;
        state[7] += h;
    }
}

#if defined(__x86_64__)

// The processor's SHA unit does two rounds an instruction, about six times the speed of the
// portable rounds: what keeps hashing every face file of a run at a small share of the run.
// Its rounds keep the state as the words A B E F and C D G H.
__attribute__((target("sha,sse4.1,ssse3"))) void
compressWithShaUnit(std::array<std::uint32_t, 8>& state, const unsigned char* data,
                    std::size_t blocks)
{
    const __m128i bigEndian = _mm_set_epi64x(0x0c0d0e0f08090a0bLL, 0x0405060700010203LL);
    const __m128i dcba = _mm_shuffle_epi32(
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(state.data())), 0x1B);
    const __m128i hgfe = _mm_shuffle_epi32(
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(state.data() + 4)), 0x1B);
    // From the lowest word up: F E B A, and H G D C.
    __m128i abef = _mm_unpackhi_epi64(hgfe, dcba);
    __m128i cdgh = _mm_unpacklo_epi64(hgfe, dcba);
    for (; blocks > 0; --blocks, data += 64) {
        const __m128i savedAbef = abef, savedCdgh = cdgh;
        __m128i words[4];
        for (int i = 0; i < 4; ++i) {
            words[i] = _mm_shuffle_epi8(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * i)), bigEndian);
        }
        for (int group = 0; group < 16; ++group) {
            __m128i& current = words[group % 4];
            if (group >= 4) {
                // W[t..t+3] from W[t-16..t-13], W[t-12..t-9], W[t-7..t-4] and W[t-4..t-1].
                const __m128i& older = words[(group + 1) % 4];
                const __m128i& previous = words[(group + 2) % 4];
                const __m128i& last = words[(group + 3) % 4];
                __m128i next = _mm_sha256msg1_epu32(current, older);
                next = _mm_add_epi32(next, _mm_alignr_epi8(last, previous, 4));
                current = _mm_sha256msg2_epu32(next, last);
            }
            __m128i keyed = _mm_add_epi32(
                current,
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(&roundConstants[std::size_t(
                    4 * group)])));
            cdgh = _mm_sha256rnds2_epu32(cdgh, abef, keyed);
            keyed = _mm_shuffle_epi32(keyed, 0x0E);
            abef = _mm_sha256rnds2_epu32(abef, cdgh, keyed);
        }
        abef = _mm_add_epi32(abef, savedAbef);
        cdgh = _mm_add_epi32(cdgh, savedCdgh);
    }
    // Back to A B C D and E F G H.
    const __m128i feba = abef, hgdc = cdgh;
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state.data()),
                     _mm_shuffle_epi32(_mm_unpackhi_epi64(hgdc, feba), 0x1B));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state.data() + 4),
                     _mm_shuffle_epi32(_mm_unpacklo_epi64(hgdc, feba), 0x1B));
}

bool detectShaUnit()
{
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
    const bool ssse3 = (c & (1u << 9)) != 0, sse41 = (c & (1u << 19)) != 0;
    if (!__get_cpuid_count(7, 0, &a, &b, &c, &d)) return false;
    return ssse3 && sse41 && (b & (1u << 29)) != 0;
}

#endif

void compress(Sha256& digest, const unsigned char* data, std::size_t blocks)
{
#if defined(__x86_64__)
    if (digest.hardware) {
        compressWithShaUnit(digest.state, data, blocks);
        return;
    }
#endif
    compressPortable(digest.state, data, blocks);
}

} // namespace

bool hasSha256Instructions()
{
#if defined(__x86_64__)
    static const bool present = detectShaUnit();
    return present;
#else
    return false;
#endif
}

Sha256 startSha256(bool allowHardware)
{
    Sha256 digest;
    digest.state = initialState;
    digest.hardware = allowHardware && hasSha256Instructions();
    return digest;
}

void addToSha256(Sha256& digest, const void* data, std::size_t size)
{
    auto bytes = static_cast<const unsigned char*>(data);
    digest.length += size;
    if (digest.pendingSize > 0) {
        const std::size_t taken = std::min(size, 64 - digest.pendingSize);
        std::memcpy(digest.pending.data() + digest.pendingSize, bytes, taken);
        digest.pendingSize += taken;
        bytes += taken;
        size -= taken;
        if (digest.pendingSize < 64) return;
        compress(digest, digest.pending.data(), 1);
        digest.pendingSize = 0;
    }
    const std::size_t blocks = size / 64;
    if (blocks > 0) compress(digest, bytes, blocks);
    digest.pendingSize = size % 64;
    if (digest.pendingSize > 0) std::memcpy(digest.pending.data(), bytes + 64 * blocks, size % 64);
}

std::string finishSha256(Sha256& digest)
{
    const std::uint64_t bits = digest.length * 8;
    unsigned char tail[72] = {0x80};
    const std::size_t padding = (digest.pendingSize < 56 ? 56 : 120) - digest.pendingSize;
    for (int i = 0; i < 8; ++i) tail[padding + std::size_t(i)] = (unsigned char)(bits >> (56 - 8 * i));
    addToSha256(digest, tail, padding + 8);
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(64);
    for (const std::uint32_t word : digest.state) {
        for (int shift = 28; shift >= 0; shift -= 4) hex += digits[(word >> shift) & 0xf];
    }
    return hex;
}

std::string sha256Hex(const std::string& bytes)
{
    Sha256 digest = startSha256();
    addToSha256(digest, bytes.data(), bytes.size());
    return finishSha256(digest);
}
