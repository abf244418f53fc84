// The tokens of PostScript as the accurate reading needs them: names,
// literal names, numbers, booleans, strings (literal, hex, base-85) and the
// brackets of procedures, arrays and dictionaries. Nothing at or past `end`
// is read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string_view>

#include "jobfile/bytes.h"

namespace qm::psaccurate {

// Each byte's class, looked up once per byte of every token.
enum : uint8_t { kWhite = 1, kDelimiter = 2 };
struct ByteClasses {
    uint8_t of[256] = {};
    constexpr ByteClasses() {
        for (uint8_t b : {' ', '\t', '\r', '\n', '\f', '\0'}) of[b] = kWhite;
        for (uint8_t b : {'(', ')', '<', '>', '[', ']', '{', '}', '/', '%'}) of[b] = kDelimiter;
    }
};
inline constexpr ByteClasses kByteClasses{};

inline bool IsWhite(uint8_t b) noexcept { return kByteClasses.of[b] == kWhite; }
inline bool IsDelimiter(uint8_t b) noexcept { return kByteClasses.of[b] == kDelimiter; }

enum class Kind : uint8_t {
    None, Name, Literal, Number, Boolean, String, Other, OpenProc, CloseProc, OpenArray, CloseArray, OpenDict, CloseDict
};

struct Token {
    Kind kind = Kind::None;
    std::string_view text;  // names without their slashes
    double number = 0.0;
    bool integer = false;
    uint32_t from = 0;  // where the token starts (strings: at their opening delimiter)
};

// The place values of a fraction's digits: 0.1, then each a tenth of the
// one before, divided in the same order as a number's digits are read (so
// a number's value does not depend on whether its digits are in the table),
// rather than dividing once per digit of every number.
struct Tenths {
    double of[24] = {};
    constexpr Tenths() {
        double scale = 0.1;
        for (double& place : of) {
            place = scale;
            scale /= 10;
        }
    }
};
inline constexpr Tenths kTenths{};

inline bool IsDecimalDigit(char c) noexcept { return static_cast<unsigned char>(c - '0') < 10; }

// Whether a token starting with `b` may be a number.
inline bool MayBeNumber(uint8_t b) noexcept { return IsDecimalDigit(static_cast<char>(b)) || b == '-' || b == '.' || b == '+'; }

// Reads a decimal number, with sign and fraction, from `p` as far as its
// bytes go (radix and exponent forms are not needed here); returns where
// they end, and its value in `v` when it has a digit.
[[gnu::always_inline]] inline const char* ScanNumber(const char* p, const char* end, double& v, bool& digits,
                                                     bool& integer) noexcept {
    const bool negative = p != end && *p == '-';
    if (p != end && (*p == '-' || *p == '+')) ++p;
    const char* const whole = p;
    double n = 0;
    for (; p != end && IsDecimalDigit(*p); ++p) n = n * 10 + (*p - '0');
    digits = p != whole;
    integer = true;
    if (p != end && *p == '.') {
        integer = false;
        const char* const fraction = ++p;
        constexpr auto kTabled = static_cast<std::ptrdiff_t>(std::size(kTenths.of));
        const char* const tabled = end - p > kTabled ? p + kTabled : end;  // the digits the table has places for
        for (; p != tabled && IsDecimalDigit(*p); ++p) n += (*p - '0') * kTenths.of[p - fraction];
        double scale = kTenths.of[kTabled - 1];
        for (; p != end && IsDecimalDigit(*p); ++p) {
            scale /= 10;
            n += (*p - '0') * scale;
        }
        digits = digits || p != fraction;
    }
    v = negative ? -n : n;
    return p;
}

// The number token starting at k (k < end): the index after it, with its
// value in `v`; k itself, with `v` untouched, when the token there is no
// number (its bytes go on past the number, or it has no digit).
[[gnu::always_inline]] inline uint32_t NumberAt(Bytes c, uint32_t end, uint32_t k, double& v, bool& integer) noexcept {
    if (!MayBeNumber(c[k])) return k;
    const char* const from = reinterpret_cast<const char*>(c.data);
    double n = 0;
    bool digits = false;
    const auto to = static_cast<uint32_t>(ScanNumber(from + k, from + end, n, digits, integer) - from);
    if (!digits || (to < end && kByteClasses.of[c[to]] == 0)) return k;
    v = n;
    return to;
}

// Reads the token at or after i into t (kind None at the end); returns the index after it.
[[gnu::always_inline]] inline uint32_t NextToken(Bytes c, uint32_t end, uint32_t i, Token& t) noexcept {
    t = Token{};
    while (i < end && IsWhite(c[i])) ++i;
    if (i >= end) return end;
    t.from = i;
    const uint8_t b = c[i];
    // Numbers and names, most tokens, start with a regular byte: the
    // delimiters' cases are looked at only for a delimiter.
    if (kByteClasses.of[b] == kDelimiter) {
        switch (b) {
            case '%':
                while (i < end && c[i] != '\n' && c[i] != '\r') ++i;
                return i;
            case '(': {
                int nest = 0;
                uint32_t k = i;
                for (; k < end; ++k) {
                    const uint8_t x = c[k];
                    if (x == '\\') {
                        ++k;
                    } else if (x == '(') {
                        ++nest;
                    } else if (x == ')' && --nest == 0) {
                        break;
                    }
                }
                t.kind = Kind::String;
                return k + 1 < end ? k + 1 : end;
            }
            case '<': {
                if (i + 1 < end && c[i + 1] == '<') {
                    t.kind = Kind::OpenDict;
                    return i + 2;
                }
                const bool base85 = i + 1 < end && c[i + 1] == '~';
                uint32_t k = i + 1;
                if (base85) {
                    for (; k + 1 < end && !(c[k] == '~' && c[k + 1] == '>'); ++k) {}
                    ++k;
                } else {
                    while (k < end && c[k] != '>') ++k;
                }
                t.kind = Kind::String;
                return k + 1 < end ? k + 1 : end;
            }
            case '>':
                if (i + 1 < end && c[i + 1] == '>') {
                    t.kind = Kind::CloseDict;
                    return i + 2;
                }
                t.kind = Kind::Other;
                return i + 1;
            case '{': t.kind = Kind::OpenProc; return i + 1;
            case '}': t.kind = Kind::CloseProc; return i + 1;
            case '[': t.kind = Kind::OpenArray; return i + 1;
            case ']': t.kind = Kind::CloseArray; return i + 1;
            case ')': t.kind = Kind::Other; return i + 1;
            default: break;
        }
    }
    // Read as a number as it is scanned: a number if it ends where the token does.
    double n = 0;
    bool integer = true;
    if (const uint32_t after = NumberAt(c, end, i, n, integer); after != i) {
        t.kind = Kind::Number;
        t.text = std::string_view(reinterpret_cast<const char*>(c.data + i), after - i);
        t.number = n;
        t.integer = integer;
        return after;
    }
    uint32_t k = i;
    if (b == '/') {
        ++k;
        if (k < end && c[k] == '/') ++k;
    }
    const uint32_t start = k;
    while (k < end && kByteClasses.of[c[k]] == 0) ++k;
    if (k == i) {
        t.kind = Kind::Other;  // a byte PostScript has no token for
        return i + 1;
    }
    t.text = std::string_view(reinterpret_cast<const char*>(c.data + start), k - start);
    if (b == '/') {
        t.kind = Kind::Literal;
    } else if ((b == 't' && t.text == "true") || (b == 'f' && t.text == "false")) {
        t.kind = Kind::Boolean;
    } else {
        t.kind = Kind::Name;
    }
    return k;
}

// The number at or after i, when the token there is one (as NextToken
// would read it): its value in `v` and the index after it; `i` itself, with
// nothing read, for any other token.
[[gnu::always_inline]] inline uint32_t NextNumber(Bytes c, uint32_t end, uint32_t i, double& v) noexcept {
    uint32_t k = i;
    while (k < end && IsWhite(c[k])) ++k;
    bool integer = true;
    const uint32_t after = k < end ? NumberAt(c, end, k, v, integer) : k;
    return after != k ? after : i;
}

}  // namespace qm::psaccurate
