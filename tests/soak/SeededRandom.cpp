#include "soak/SeededRandom.h"

// The seed goes through one round of splitmix64 first: neighbouring seeds (1, 2, 3...) then start
// far apart, and seed 0 does not give xorshift the all-zero state it never leaves.
SeededRandom::SeededRandom(uint64_t seed)
{
    uint64_t z = seed + 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    m_state = z ^ (z >> 31);
    if (m_state == 0)
        m_state = 0x9E3779B97F4A7C15ull;
}

uint64_t SeededRandom::Next()
{
    m_state ^= m_state >> 12;
    m_state ^= m_state << 25;
    m_state ^= m_state >> 27;
    return m_state * 0x2545F4914F6CDD1Dull;
}

size_t SeededRandom::Below(size_t n)
{
    // The high bits are the generator's best; the modulo bias is far below what a soak notices.
    return static_cast<size_t>((Next() >> 11) % n);
}

size_t SeededRandom::Between(size_t lo, size_t hi)
{
    return lo + Below(hi - lo + 1);
}

bool SeededRandom::Chance(size_t nNumerator, size_t nDenominator)
{
    return Below(nDenominator) < nNumerator;
}
