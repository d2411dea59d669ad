// The seeded random generator shared by every platform implementation, so a
// figure run with the same seed gives the same numbers on the window and
// headless alike. The conversions are written out here rather than taken from
// <random>'s distributions, whose results the standard leaves to each library.
#pragma once

#include <cstdint>
#include <random>

namespace tumbla {

class randomGenerator {
public:
    void seed(int value) { engine.seed(static_cast<std::uint64_t>(static_cast<std::uint32_t>(value))); }

    // Uniform real in [low, high).
    double real(double low, double high) {
        const double unit = static_cast<double>(engine() >> 11) * 0x1.0p-53;
        const double r = low + (high - low) * unit;
        return r < high ? r : low;
    }

    // Uniform integer in [low, high]; low > high gives low.
    int integer(int low, int high) {
        if (high <= low) return low;
        const std::uint64_t span = static_cast<std::uint64_t>(static_cast<std::int64_t>(high) - low) + 1;
        return static_cast<int>(low + static_cast<std::int64_t>(engine() % span));
    }

private:
    std::mt19937_64 engine{1};
};

}  // namespace tumbla
