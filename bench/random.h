#pragma once

#include <cmath>
#include <cstdint>
#include <string>

// A small deterministic generator (xoshiro256**). The standard distributions differ between
// library versions, so a seed would not give the same tree everywhere; these do.
class Random
{
public:
    explicit Random(std::uint64_t seed)
    {
        // splitmix64 spreads even a tiny seed over all four words.
        for (std::uint64_t &word : m_state) {
            seed += 0x9E3779B97F4A7C15ull;
            std::uint64_t z = seed;
            z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
            z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
            word = z ^ (z >> 31);
        }
    }

    std::uint64_t next()
    {
        const std::uint64_t result = rotl(m_state[1] * 5, 7) * 9;
        const std::uint64_t t = m_state[1] << 17;
        m_state[2] ^= m_state[0];
        m_state[3] ^= m_state[1];
        m_state[1] ^= m_state[2];
        m_state[0] ^= m_state[3];
        m_state[2] ^= t;
        m_state[3] = rotl(m_state[3], 45);
        return result;
    }

    // Uniform in [0, n); n > 0. The tiny modulo bias does not matter here.
    std::uint64_t below(std::uint64_t n) { return next() % n; }
    // Uniform in [lo, hi].
    std::int64_t between(std::int64_t lo, std::int64_t hi)
    {
        return lo + std::int64_t(below(std::uint64_t(hi - lo) + 1));
    }
    // Uniform in [0, 1).
    double unit() { return double(next() >> 11) * 0x1.0p-53; }
    bool chance(double p) { return unit() < p; }
    // Standard normal (Box-Muller; one value per call is plenty fast here).
    double normal()
    {
        const double u1 = 1.0 - unit(); // (0, 1]: log() stays finite
        const double u2 = unit();
        return std::sqrt(-2.0 * std::log(u1)) * std::cos(6.283185307179586 * u2);
    }
    // Many small values and a long tail, between lo and hi (lo > 0).
    std::int64_t logUniform(std::int64_t lo, std::int64_t hi)
    {
        const double l = std::log(double(lo)), h = std::log(double(hi) + 1);
        const auto v = std::int64_t(std::exp(l + unit() * (h - l)));
        return v < lo ? lo : v > hi ? hi : v;
    }

    // n lower-case hex digits.
    std::string hex(std::size_t n)
    {
        std::string out(n, '0');
        for (char &c : out)
            c = "0123456789abcdef"[next() >> 60];
        return out;
    }
    // A random (version 4) UUID in its usual text form.
    std::string uuid()
    {
        std::string id = hex(8) + '-' + hex(4) + "-4" + hex(3) + '-' + hex(4) + '-' + hex(12);
        id[19] = "89ab"[next() >> 62]; // variant 10xx
        return id;
    }

private:
    static std::uint64_t rotl(std::uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }

    std::uint64_t m_state[4];
};
