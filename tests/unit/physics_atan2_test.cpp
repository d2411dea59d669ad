// The four-wide atan2 kernel against the C library, bit for bit.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "physics/atan2Wide.h"

using namespace tumbla;

namespace {

std::uint64_t bitsOf(double v) {
    std::uint64_t b;
    std::memcpy(&b, &v, sizeof b);
    return b;
}

// Runs the kernel over the pairs with the given strides (y and the results
// interleaved with other data, as in the solver's records) and compares each
// result with the library's.
void expectLibraryBits(const std::vector<double>& ys, const std::vector<double>& xs, int stride, double scale) {
    const int n = static_cast<int>(xs.size());
    std::vector<double> y(static_cast<std::size_t>(n) * stride, 7.0), out(static_cast<std::size_t>(n) * stride, 7.0);
    for (int k = 0; k < n; ++k) y[static_cast<std::size_t>(k) * stride] = ys[k];
    atan2Wide::atan2Scaled(y.data(), stride, xs.data(), n, scale, out.data(), stride);
    int wrong = 0;
    for (int k = 0; k < n && wrong < 5; ++k) {
        const double want = std::atan2(ys[k], xs[k]) * scale;
        const double got = out[static_cast<std::size_t>(k) * stride];
        if (bitsOf(got) != bitsOf(want)) {
            ++wrong;
            ADD_FAILURE() << std::hexfloat << "atan2(" << ys[k] << ", " << xs[k] << "): " << got << ", library "
                          << want;
        }
        if (stride > 1) {
            ASSERT_EQ(out[static_cast<std::size_t>(k) * stride + 1], 7.0) << "wrote between results";
        }
    }
}

}  // namespace

TEST(atan2Wide, specialArgumentsGoToTheLibrary) {
    if (!atan2Wide::available()) GTEST_SKIP() << "the kernel does not stand in for this C library";
    const double inf = std::numeric_limits<double>::infinity();
    const double values[] = {0.0,     -0.0,     4.9e-324, 1e-310,   0x1p-500,  0x1p-501, 1e-5,   0.0625,
                             1.0,     3.0,      0x1p+56,  0x1p+57,  0x1p+500,  0x1p+501, 1e300,  inf,
                             -inf,    std::nan(""), -1.0, -0x1p-500, -1e300,   -0.0625,  -3.0};
    std::vector<double> ys, xs;
    for (double y : values)
        for (double x : values) ys.push_back(y), xs.push_back(x);
    expectLibraryBits(ys, xs, 1, 1.0);
    expectLibraryBits(ys, xs, 4, 57.29577951308232);
}

// Every quadrant, the polynomial below a ratio of 1/16 and each table row
// above it, and the boundaries between them; then arbitrary bit patterns.
TEST(atan2Wide, ordinaryArgumentsHaveTheLibrarysBits) {
    if (!atan2Wide::available()) GTEST_SKIP() << "the kernel does not stand in for this C library";
    std::mt19937_64 random(11);
    std::uniform_real_distribution<double> angle(-3.2, 3.2), magnitude(-30.0, 30.0);
    std::vector<double> ys, xs;
    for (int k = 0; k < 400000; ++k) {
        const double a = angle(random), r = std::exp(magnitude(random));
        ys.push_back(r * std::sin(a));
        xs.push_back(r * std::cos(a));
    }
    for (double x : {1.0, 30.0, -1.0, -30.0})
        for (double ratio : {1.0 / 16.0, 1.0, 0.5, 1.0 / 256.0}) {
            const double y = x * ratio;
            for (double yy : {y, std::nextafter(y, 0.0), std::nextafter(y, 2 * y), -y}) {
                ys.push_back(yy), xs.push_back(x);
                ys.push_back(x), xs.push_back(yy);
            }
        }
    for (int k = 0; k < 200000; ++k) {
        const std::uint64_t a = random(), b = random();
        double y, x;
        std::memcpy(&y, &a, sizeof y);
        std::memcpy(&x, &b, sizeof x);
        ys.push_back(y), xs.push_back(x);
    }
    ys.push_back(1.0), xs.push_back(2.0);  // an odd count leaves a tail
    expectLibraryBits(ys, xs, 1, 1.0);
    expectLibraryBits(ys, xs, 4, 57.29577951308232);
}
