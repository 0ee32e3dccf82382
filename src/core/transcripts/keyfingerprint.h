#pragma once

#include <cstdint>
#include <string_view>

// A reply's de-duplication key held by a 128-bit hash of its text instead of the text itself
// ("messageId:requestId" is 57 bytes for most replies; this is 16). Two different keys with the
// same fingerprint count as one reply. Taking the hash as a random function of the key, the chance
// that any two of n keys share a fingerprint is at most n² / 2¹²⁹: at 10 million replies about
// 1.5e-25, far below any other error of the figures. The all-zero value stands for "no key".
struct KeyFingerprint
{
    std::uint64_t hi = 0;
    std::uint64_t lo = 0;

    static KeyFingerprint of(std::string_view key);
    bool empty() const { return hi == 0 && lo == 0; }

    friend bool operator==(const KeyFingerprint &, const KeyFingerprint &) = default;
    friend bool operator<(const KeyFingerprint &a, const KeyFingerprint &b)
    {
        return a.hi != b.hi ? a.hi < b.hi : a.lo < b.lo;
    }
};
