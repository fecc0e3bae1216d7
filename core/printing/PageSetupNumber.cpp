#include "printing/PageSetupNumber.h"

#include <charconv>
#include <clocale>
#include <cmath>
#include <string>
#include <system_error>

namespace vedris {

namespace {

// At most this many significant digits are written, and a number with more digits than
// this before the decimal point is written in exponent form.
constexpr int Precision = 15;
// Decimal exponents below this (magnitudes under 0.0001) are written in exponent form.
constexpr int LowestFixedExponent = -4;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Adds a decimal digit to an exponent without overflowing: anything past the limit means
// "far out of range" just as well.
long long AddDigit(long long acc, char digit) {
    constexpr long long Limit = 1'000'000'000;
    return acc >= Limit ? acc : acc * 10 + (digit - '0');
}

// Whether a mantissa (digits with an optional ".") times 10^exponent is at least 1 in
// magnitude. Used only on a value that a double cannot hold, to tell overflow from underflow.
bool IsAtLeastOne(std::string_view mantissa, long long exponent) {
    std::size_t point = mantissa.find('.');
    std::string_view whole = mantissa.substr(0, point);
    std::size_t firstNonZero = whole.find_first_not_of('0');
    long long order; // the decimal exponent of the leading non-zero digit
    if (firstNonZero != std::string_view::npos) {
        order = static_cast<long long>(whole.size() - firstNonZero) - 1;
    } else {
        std::string_view fraction =
            point == std::string_view::npos ? std::string_view{} : mantissa.substr(point + 1);
        std::size_t nonZero = fraction.find_first_not_of('0');
        if (nonZero == std::string_view::npos)
            return false; // zero
        order = -static_cast<long long>(nonZero) - 1;
    }
    return order + exponent >= 0;
}

} // namespace

std::string FormatPageSetupNumber(double value) {
    if (std::isnan(value))
        return "NAN";
    if (std::isinf(value))
        return value < 0 ? "-INF" : "INF";
    if (value == 0)
        return "0";

    // to_chars rounds correctly and ignores the locale: "[-]d.dddddddddddddde[+-]xx".
    char buf[64];
    auto res =
        std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific, Precision - 1);
    std::string_view text(buf, static_cast<std::size_t>(res.ptr - buf));
    bool negative = text.front() == '-';
    if (negative)
        text.remove_prefix(1);
    std::size_t e = text.find('e');
    std::string digits(1, text[0]);
    digits += text.substr(2, e - 2);
    std::string_view expText = text.substr(e + 1);
    bool negativeExp = expText.front() == '-';
    int exponent = 0;
    std::from_chars(expText.data() + 1, expText.data() + expText.size(), exponent);
    if (negativeExp)
        exponent = -exponent;
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();

    std::string out = negative ? "-" : "";
    if (exponent < LowestFixedExponent || exponent >= Precision) {
        out += digits[0];
        if (digits.size() > 1) {
            out += '.';
            out.append(digits, 1);
        }
        out += 'E';
        out += std::to_string(exponent);
    } else if (exponent < 0) {
        out += "0.";
        out.append(static_cast<std::size_t>(-exponent - 1), '0');
        out += digits;
    } else {
        std::size_t whole = static_cast<std::size_t>(exponent) + 1;
        if (digits.size() <= whole) {
            out += digits;
            out.append(whole - digits.size(), '0');
        } else {
            out.append(digits, 0, whole);
            out += '.';
            out.append(digits, whole);
        }
    }
    return out;
}

bool TryParsePageSetupNumber(std::string_view text, double& value,
                             std::string_view localSeparator) {
    std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos)
        return false;
    text = text.substr(first, text.find_last_not_of(' ') - first + 1);

    std::size_t p = 0;
    bool negative = false;
    if (text[p] == '+' || text[p] == '-') {
        negative = text[p] == '-';
        ++p;
    }

    // The mantissa is rebuilt with "." so that from_chars, which knows no locale, reads it.
    std::string mantissa;
    bool separatorSeen = false;
    int digitCount = 0;
    while (p < text.size()) {
        if (IsDigit(text[p])) {
            mantissa += text[p++];
            ++digitCount;
        } else if (separatorSeen) {
            break;
        } else if (text[p] == '.') {
            mantissa += '.';
            separatorSeen = true;
            ++p;
        } else if (!localSeparator.empty() && text.substr(p).starts_with(localSeparator)) {
            mantissa += '.';
            separatorSeen = true;
            p += localSeparator.size();
        } else {
            break;
        }
    }
    if (digitCount == 0)
        return false;

    std::string exponentText;
    long long exponent = 0;
    if (p < text.size() && (text[p] == 'E' || text[p] == 'e')) {
        ++p;
        bool negativeExp = false;
        if (p < text.size() && (text[p] == '+' || text[p] == '-')) {
            negativeExp = text[p] == '-';
            ++p;
        }
        std::size_t expStart = p;
        while (p < text.size() && IsDigit(text[p]))
            exponent = AddDigit(exponent, text[p++]);
        if (p == expStart)
            return false;
        exponentText = std::string(negativeExp ? "e-" : "e") +
                       std::string(text.substr(expStart, p - expStart));
        if (negativeExp)
            exponent = -exponent;
    }
    if (p != text.size())
        return false;

    std::string number = mantissa + exponentText;
    double result = 0;
    auto res = std::from_chars(number.data(), number.data() + number.size(), result,
                               std::chars_format::general);
    if (res.ec == std::errc::result_out_of_range) {
        if (IsAtLeastOne(mantissa, exponent))
            return false;
        result = 0;
    } else if (res.ec != std::errc{} || res.ptr != number.data() + number.size()) {
        return false;
    }
    value = negative ? -result : result;
    return true;
}

double PageSetupNumberOrZero(std::string_view text, std::string_view localSeparator) {
    double value = 0;
    return TryParsePageSetupNumber(text, value, localSeparator) ? value : 0;
}

std::string LocaleDecimalSeparator() {
    const std::lconv* conv = std::localeconv();
    if (!conv || !conv->decimal_point || !*conv->decimal_point)
        return ".";
    return conv->decimal_point;
}

} // namespace vedris
