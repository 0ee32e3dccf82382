#include "transcripts/keyfingerprint.h"

#include <bit>
#include <cstring>

namespace {

constexpr std::uint64_t c1 = 0x87c37b91114253d5ULL;
constexpr std::uint64_t c2 = 0x4cf5ad432745937fULL;

std::uint64_t finish(std::uint64_t k)
{
    k ^= k >> 33;
    k *= 0xff51afd7ed558ccdULL;
    k ^= k >> 33;
    k *= 0xc4ceb9fe1a85ec53ULL;
    k ^= k >> 33;
    return k;
}

std::uint64_t load(const char *p, std::size_t n)
{
    std::uint64_t v = 0;
    std::memcpy(&v, p, n); // the host's byte order: the same key always gets the same value
    return v;
}

} // namespace

// Two 64-bit lanes, each block mixed by multiply and rotate into both, and a final avalanche: a
// well-tried non-cryptographic construction, fast on keys of a few dozen bytes. The keys come
// from the assistant's own identifiers, not from anyone choosing them to collide.
KeyFingerprint KeyFingerprint::of(std::string_view key)
{
    const char *p = key.data();
    const std::size_t n = key.size();
    std::uint64_t h1 = 0x9e3779b97f4a7c15ULL, h2 = 0x6a09e667f3bcc909ULL;
    std::size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        std::uint64_t k1 = load(p + i, 8), k2 = load(p + i + 8, 8);
        k1 *= c1, k1 = std::rotl(k1, 31), k1 *= c2, h1 ^= k1;
        h1 = std::rotl(h1, 27), h1 += h2, h1 = h1 * 5 + 0x52dce729;
        k2 *= c2, k2 = std::rotl(k2, 33), k2 *= c1, h2 ^= k2;
        h2 = std::rotl(h2, 31), h2 += h1, h2 = h2 * 5 + 0x38495ab5;
    }
    const std::size_t rest = n - i;
    std::uint64_t k1 = rest > 0 ? load(p + i, rest < 8 ? rest : 8) : 0;
    std::uint64_t k2 = rest > 8 ? load(p + i + 8, rest - 8) : 0;
    k2 *= c2, k2 = std::rotl(k2, 33), k2 *= c1, h2 ^= k2;
    k1 *= c1, k1 = std::rotl(k1, 31), k1 *= c2, h1 ^= k1;
    h1 ^= n, h2 ^= n;
    h1 += h2, h2 += h1;
    h1 = finish(h1), h2 = finish(h2);
    h1 += h2, h2 += h1;
    KeyFingerprint f{h1, h2};
    if (f.empty())
        f.lo = 1; // zero means "no key"; this merges one more value into one, no more
    return f;
}
