#include "files/numberText.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace tumbla {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::size_t skipBlanks(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && isBlank(text[i])) ++i;
    return i;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

void appendRealText(std::string& out, double v) {
    if (!std::isfinite(v)) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%#.17lg", v);
        out += buffer;
        return;
    }
    // The shortest route to "%#.17lg": the 17 significant digits and the
    // decimal exponent X as "%.16e" gives them (after rounding, so X is the
    // exponent printf decides the style by), then laid out in plain
    // notation when -4 <= X < 17.
    char sci[40];
    auto result = std::to_chars(sci, sci + sizeof sci, v, std::chars_format::scientific, 16);
    const char* end = result.ptr;
    const char* p = sci;
    bool negative = *p == '-';
    if (negative) ++p;
    char digits[17];
    digits[0] = p[0];
    for (int i = 1; i < 17; ++i) digits[i] = p[i + 1];  // skip the point after the first digit
    const char* e = p + 18;                               // at 'e'
    int exponent = 0;
    std::from_chars(e + 2, end, exponent);  // to_chars always writes the sign
    if (e[1] == '-') exponent = -exponent;

    if (negative) out += '-';
    if (exponent < -4 || exponent >= 17) {
        out.append(p, end);
        return;
    }
    if (exponent >= 0) {
        out.append(digits, digits + exponent + 1);
        out += '.';
        out.append(digits + exponent + 1, digits + 17);
    } else {
        out += "0.";
        out.append(static_cast<std::size_t>(-exponent - 1), '0');
        out.append(digits, digits + 17);
    }
}

std::string realText(double v) {
    std::string text;
    appendRealText(text, v);
    return text;
}

int integerFromText(std::string_view text) {
    std::size_t i = skipBlanks(text);
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    if (i < text.size() && (text[i] == '$' || text[i] == '%')) {
        // A bit pattern: the low 32 bits of the digits, in unsigned
        // arithmetic so that long inputs wrap instead of overflowing.
        const int base = text[i++] == '$' ? 16 : 2;
        std::uint32_t bits = 0;
        for (; i < text.size(); ++i) {
            int d = hexValue(text[i]);
            if (d < 0 || d >= base) break;
            bits = bits * static_cast<std::uint32_t>(base) + static_cast<std::uint32_t>(d);
        }
        if (negative) bits = 0u - bits;
        return static_cast<std::int32_t>(bits);
    }
    // Decimal: saturate at the 32-bit limits.
    const std::int64_t limit = negative ? 2147483648LL : 2147483647LL;
    std::int64_t value = 0;
    for (; i < text.size() && isDigit(text[i]); ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > limit) value = limit;
    }
    return static_cast<int>(negative ? -value : value);
}

double realFromText(std::string_view text) {
    std::size_t i = skipBlanks(text);
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    const std::size_t start = i;

    // Mantissa: digits, then an optional point and fraction. The position of
    // its first non-zero digit relative to the point gives the magnitude.
    std::int64_t leadExponent = 0;
    bool seenNonZero = false;
    std::size_t mantissaDigits = 0;
    std::int64_t integerDigits = 0;
    for (; i < text.size() && isDigit(text[i]); ++i, ++mantissaDigits) {
        if (seenNonZero || text[i] != '0') {
            if (!seenNonZero) seenNonZero = true;
            ++integerDigits;
        }
    }
    if (seenNonZero) leadExponent = integerDigits - 1;
    if (i < text.size() && text[i] == '.') {
        ++i;
        std::int64_t place = 0;
        for (; i < text.size() && isDigit(text[i]); ++i, ++mantissaDigits) {
            --place;
            if (!seenNonZero && text[i] != '0') {
                seenNonZero = true;
                leadExponent = place;
            }
        }
    }
    if (mantissaDigits == 0) return 0.0;
    std::size_t end = i;

    // Exponent, taken only when at least one digit follows "e" and its sign.
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        bool expNegative = false;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) expNegative = text[j++] == '-';
        if (j < text.size() && isDigit(text[j])) {
            std::int64_t exponent = 0;
            for (; j < text.size() && isDigit(text[j]); ++j)
                if (exponent < 1000000000) exponent = exponent * 10 + (text[j] - '0');
            leadExponent += expNegative ? -exponent : exponent;
            end = j;
        }
    }

    double value = 0.0;
    auto result = std::from_chars(text.data() + start, text.data() + end, value,
                                  std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) value = leadExponent > 0 ? DBL_MAX : 0.0;
    return negative ? -value : value;
}

}  // namespace tumbla
