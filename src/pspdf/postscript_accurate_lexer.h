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

// A decimal number, with sign and fraction (radix and exponent forms are not needed here).
inline bool ReadNumber(std::string_view s, double& v, bool& integer) noexcept {
    size_t k = 0;
    bool negative = false;
    if (k < s.size() && (s[k] == '+' || s[k] == '-')) negative = s[k++] == '-';
    double n = 0;
    bool digits = false;
    while (k < s.size() && s[k] >= '0' && s[k] <= '9') {
        n = n * 10 + (s[k++] - '0');
        digits = true;
    }
    integer = true;
    if (k < s.size() && s[k] == '.') {
        integer = false;
        ++k;
        double scale = 0.1;
        for (size_t place = 0; k < s.size() && s[k] >= '0' && s[k] <= '9'; ++place) {
            if (place < std::size(kTenths.of)) scale = kTenths.of[place];
            else scale /= 10;
            n += (s[k++] - '0') * scale;
            digits = true;
        }
    }
    if (!digits || k != s.size()) return false;
    v = negative ? -n : n;
    return true;
}

// Reads the token at or after i into t (kind None at the end); returns the index after it.
[[gnu::always_inline]] inline uint32_t NextToken(Bytes c, uint32_t end, uint32_t i, Token& t) noexcept {
    t = Token{};
    while (i < end && IsWhite(c[i])) ++i;
    if (i >= end) return end;
    t.from = i;
    const uint8_t b = c[i];
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
    } else if (ReadNumber(t.text, t.number, t.integer)) {
        t.kind = Kind::Number;
    } else {
        t.kind = Kind::Name;
    }
    return k;
}

}  // namespace qm::psaccurate
