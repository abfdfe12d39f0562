#include "value_p.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace zf::avm1 {

std::string numberToString(double n)
{
    if (std::isnan(n)) {
        return "NaN";
    }
    if (std::isinf(n)) {
        return n > 0 ? "Infinity" : "-Infinity";
    }
    if (n == 0) {
        return "0";
    }
    if (std::fabs(n) < 1e15 && n == std::trunc(n)) {
        char buffer[32];
        std::snprintf(buffer, sizeof buffer, "%.0f", n);
        return buffer;
    }
    // Fifteen significant digits, then choose fixed or exponent notation.
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.14e", n);
    std::string text = buffer;
    bool negative = text[0] == '-';
    size_t start = negative ? 1 : 0;
    size_t ePos = text.find('e');
    std::string digits;
    for (size_t i = start; i < ePos; ++i) {
        if (text[i] != '.') {
            digits.push_back(text[i]);
        }
    }
    int exponent = std::atoi(text.c_str() + ePos + 1);
    while (digits.size() > 1 && digits.back() == '0') {
        digits.pop_back();
    }
    std::string out = negative ? "-" : "";
    if (exponent < -5 || exponent >= 15) {
        out += digits[0];
        if (digits.size() > 1) {
            out += '.';
            out += digits.substr(1);
        }
        out += exponent < 0 ? "e-" : "e+";
        out += std::to_string(std::abs(exponent));
    } else if (exponent < 0) {
        out += "0.";
        out.append(static_cast<size_t>(-exponent - 1), '0');
        out += digits;
    } else {
        auto intDigits = static_cast<size_t>(exponent + 1);
        if (digits.size() <= intDigits) {
            out += digits;
            out.append(intDigits - digits.size(), '0');
        } else {
            out += digits.substr(0, intDigits);
            out += '.';
            out += digits.substr(intDigits);
        }
    }
    return out;
}

std::string numberToRadix(double n, int radix)
{
    if (radix == 10 || radix < 2 || radix > 36) {
        return numberToString(n);
    }
    if (std::isnan(n) || std::isinf(n)) {
        return numberToString(n);
    }
    int32_t value = toInt32(n);
    bool negative = value < 0;
    uint64_t magnitude = negative ? uint64_t(-int64_t(value)) : uint64_t(value);
    std::string out;
    do {
        out.insert(out.begin(), "0123456789abcdefghijklmnopqrstuvwxyz"[magnitude % radix]);
        magnitude /= radix;
    } while (magnitude);
    return negative ? "-" + out : out;
}

namespace {

bool isSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Longest decimal number at the start of text ([sign] digits [. digits] [e [sign] digits]);
// returns the number of bytes used, 0 when there is none.
size_t scanDecimal(std::string_view text, double& out)
{
    size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        ++i;
    }
    size_t digitsStart = i;
    while (i < text.size() && isDigit(text[i])) {
        ++i;
    }
    size_t intDigits = i - digitsStart;
    size_t fracDigits = 0;
    if (i < text.size() && text[i] == '.') {
        size_t j = i + 1;
        while (j < text.size() && isDigit(text[j])) {
            ++j;
        }
        fracDigits = j - i - 1;
        if (intDigits || fracDigits) {
            i = j;
        }
    }
    if (intDigits == 0 && fracDigits == 0) {
        return 0;
    }
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) {
            ++j;
        }
        if (j < text.size() && isDigit(text[j])) {
            while (j < text.size() && isDigit(text[j])) {
                ++j;
            }
            i = j;
        }
    }
    out = std::strtod(std::string(text.substr(0, i)).c_str(), nullptr);
    return i;
}

// Digits in a radix, keeping the low 32 bits as a signed integer (how
// hex and octal strings convert).
double parseWrappedDigits(std::string_view digits, int radix, bool& ok)
{
    uint32_t value = 0;
    ok = !digits.empty();
    for (char c : digits) {
        int d = isDigit(c)                               ? c - '0'
                : (c | 0x20) >= 'a' && (c | 0x20) <= 'z' ? (c | 0x20) - 'a' + 10
                                                         : 99;
        if (d >= radix) {
            ok = false;
            return 0;
        }
        value = value * uint32_t(radix) + uint32_t(d);
    }
    return double(static_cast<int32_t>(value));
}

} // namespace

double stringToNumber(std::string_view text, int version)
{
    size_t start = 0;
    while (start < text.size() && isSpace(text[start])) {
        ++start;
    }
    std::string_view rest = text.substr(start);
    if (version <= 4) {
        double value = 0;
        return scanDecimal(rest, value) ? value : 0;
    }
    if (rest.empty()) {
        return NAN;
    }
    if (version >= 6 && rest.size() > 2 && rest[0] == '0' && (rest[1] == 'x' || rest[1] == 'X')) {
        std::string_view digits = rest.substr(2);
        bool negative = false;
        if (!digits.empty() && (digits[0] == '-' || digits[0] == '+')) {
            negative = digits[0] == '-';
            digits.remove_prefix(1);
        }
        bool ok = false;
        // Hex and octal literals keep the low 32 bits, as a signed integer.
        double value = parseWrappedDigits(digits, 16, ok);
        return ok ? (negative ? -value : value) : NAN;
    }
    // A leading zero means octal, unless whitespace came first.
    if (version >= 7 && start == 0) {
        std::string_view digits = rest;
        bool negative = false;
        if (digits[0] == '-' || digits[0] == '+') {
            negative = digits[0] == '-';
            digits.remove_prefix(1);
        }
        if (digits.size() > 1 && digits[0] == '0') {
            bool ok = false;
            double value = parseWrappedDigits(digits.substr(1), 8, ok);
            if (ok) {
                return negative ? -value : value;
            }
        }
    }
    double value = 0;
    size_t used = scanDecimal(rest, value);
    return used && used == rest.size() ? value : NAN;
}

int32_t toInt32(double n)
{
    if (!std::isfinite(n)) {
        return 0;
    }
    double t = std::fmod(std::trunc(n), 4294967296.0);
    if (t < 0) {
        t += 4294967296.0;
    }
    return static_cast<int32_t>(static_cast<uint32_t>(t));
}

uint32_t toUint32(double n)
{
    return static_cast<uint32_t>(toInt32(n));
}

size_t utf8Length(std::string_view text)
{
    size_t count = 0;
    for (char c : text) {
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) {
            ++count;
        }
    }
    return count;
}

size_t utf8Offset(std::string_view text, size_t chars)
{
    size_t i = 0;
    while (i < text.size() && chars > 0) {
        ++i;
        while (i < text.size() && (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) {
            ++i;
        }
        --chars;
    }
    return i;
}

std::string utf8Encode(uint32_t code)
{
    std::string out;
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        code = code > 0x10FFFF ? 0xFFFD : code;
        out.push_back(static_cast<char>(0xF0 | (code >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
    return out;
}

uint32_t utf8Decode(std::string_view text, size_t& offset)
{
    auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    uint32_t c = byte(offset++);
    int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    if (extra) {
        c &= 0x3F >> extra;
    }
    while (extra-- > 0 && offset < text.size() && (byte(offset) & 0xC0) == 0x80) {
        c = (c << 6) | (byte(offset++) & 0x3F);
    }
    return c;
}

} // namespace zf::avm1
