// atan2 four arguments at a time, with the bits of the C library's atan2.
//
// The relaxation passes spend most of their time in atan2, and their results
// must equal those of the plain passes, which call the C library. The kernel
// here repeats, lane by lane, the operations the C library's double atan2
// performs for ordinary arguments (the build of it the library picks on
// processors with FMA), with the library's own table; any other argument
// (zero, infinite, NaN, huge, tiny, or a ratio beyond 2^56) goes to the
// library itself. It stands in for the library only where available() says
// so: the processor has AVX2 and FMA, the library is the one copied, the
// rounding mode is the default, and a check over many arguments found the
// same bits.
#pragma once

namespace tumbla::atan2Wide {

extern const double arcTable[241][8];

// Checked once, on the first call.
bool available();

// out[k * outStride] = atan2(y[k * yStride], x[k]) * scale for k < n, each
// the same bits as std::atan2(y, x) * scale. Call only when available().
void atan2Scaled(const double* y, int yStride, const double* x, int n, double scale, double* out,
                 int outStride);

// The same for one pair, the kernel's steps on one lane; for the checks.
double atan2One(double y, double x);

}  // namespace tumbla::atan2Wide
