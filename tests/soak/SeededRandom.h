#pragma once

#include <stddef.h>
#include <stdint.h>

// A small deterministic generator (xorshift64*), so that a seed names the same run list on
// every machine and with every C library; rand() promises neither.
class SeededRandom {
public:
    explicit SeededRandom(uint64_t seed);

    uint64_t Next();
    // Uniform enough over [0, n); n must not be 0.
    size_t Below(size_t n);
    // Over [lo, hi], both included.
    size_t Between(size_t lo, size_t hi);
    // True about nNumerator times in nDenominator.
    bool Chance(size_t nNumerator, size_t nDenominator);

private:
    uint64_t m_state;
};
