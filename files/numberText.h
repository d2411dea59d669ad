// Numbers as figure files and the toolbar show them, and back.
//
// Reals are written as "%#.17lg" prints them: 17 significant digits, the
// decimal point always present, trailing zeros kept, plain notation for
// decimal exponents from -4 to 16 and "d.ddde+XX" otherwise. Seventeen
// digits identify every double, so a real written and read back is the same
// value to the bit.
//
// Reading is forgiving: whatever the text, the result is a defined value.
#pragma once

#include <string>
#include <string_view>

namespace tumbla {

// "%#.17lg" of v, independent of the C locale.
std::string realText(double v);

// Appends realText(v) to out without a temporary string.
void appendRealText(std::string& out, double v);

// The integer at the start of a line: leading white space skipped, an
// optional sign, then decimal digits up to the first character that is not
// one. "$" in place of the first digit reads base-16 digits, "%" base-2.
// No digits read as 0. Decimal values beyond the 32-bit range saturate;
// "$" and "%" values keep their low 32 bits as a two's-complement pattern,
// so "$FFFFFFFF" is -1.
int integerFromText(std::string_view text);

// The real at the start of a line: leading white space skipped, then the
// longest prefix of the form [sign] digits [. digits] [e [sign] digits]
// (at least one mantissa digit) is converted, correctly rounded. Anything
// else, "nan", "inf" and hexadecimal forms included, reads as its longest
// such prefix, or 0.0 when there is none. A value too large for a double
// reads as the largest finite double of its sign, one too small as zero,
// so every result is finite.
double realFromText(std::string_view text);

}  // namespace tumbla
