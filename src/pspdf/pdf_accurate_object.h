// PDF objects as the accurate reader sees them, and the parser that reads
// them from bytes in memory. Every parse is bounded: nesting depth, and the
// number of values one object may hold, whatever the file claims.
#pragma once

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "jobfile/bytes.h"

namespace qm::pdf {

// Thrown where the structure the reader relies on is missing or broken; the
// document may still be repaired by scanning.
struct Broken : std::runtime_error {
    using std::runtime_error::runtime_error;
};

enum class Kind : uint8_t { Null, Bool, Int, Real, Name, String, Array, Dict, Ref };

// One object. Arrays hold their items in `items`; dictionaries hold keys
// (as Name values) and values alternately, so one vector serves both.
struct Value {
    Kind kind = Kind::Null;
    bool boolean = false;
    int64_t integer = 0;  // Int; the object number of a Ref
    double real = 0;      // Real, and Int as a double
    uint32_t generation = 0;
    std::string text;  // Name (without the slash, #xx decoded) or String (decoded bytes)
    std::vector<Value> items;

    bool isNull() const noexcept { return kind == Kind::Null; }
    bool isNumber() const noexcept { return kind == Kind::Int || kind == Kind::Real; }
    bool isName(std::string_view n) const noexcept { return kind == Kind::Name && text == n; }
    // The value under a key of a dictionary, or null when absent or not a dictionary.
    const Value* get(std::string_view key) const noexcept;
    size_t size() const noexcept { return kind == Kind::Dict ? items.size() / 2 : items.size(); }
};

inline const Value& NullValue() noexcept {
    static const Value null;
    return null;
}

// Limits of one parse.
inline constexpr int kMaxNesting = 64;
inline constexpr uint32_t kMaxValuesPerObject = 1u << 20;

// Whitespace and delimiters as the lexical rules define them, by a table:
// content streams are scanned byte by byte, and a lookup is one load where
// the comparisons were sixteen. `c` is a byte or -1 (past the end).
struct CharClasses {
    enum : uint8_t { kRegular = 0, kSpace = 1, kDelimiter = 2 };
    uint8_t of[256] = {};
    constexpr CharClasses() {
        for (int c : {0, 9, 10, 12, 13, 32}) of[c] = kSpace;
        for (int c : {'(', ')', '<', '>', '[', ']', '{', '}', '/', '%'}) of[c] = kDelimiter;
    }
};
inline constexpr CharClasses kCharClasses{};
constexpr bool IsSpace(int c) noexcept {
    return static_cast<unsigned>(c) < 256 && kCharClasses.of[c] == CharClasses::kSpace;
}
constexpr bool IsRegular(int c) noexcept {
    return c >= 0 && (c >= 256 || kCharClasses.of[c] == CharClasses::kRegular);
}

// Reads tokens and objects from a byte range. Positions are indexes into
// `data`; nothing outside it is read.
class Parser {
public:
    explicit Parser(Bytes data, uint32_t pos = 0) : data_(data), pos_(pos) {}

    uint32_t pos() const noexcept { return pos_; }
    void seek(uint32_t p) noexcept { pos_ = std::min(p, data_.size); }
    Bytes data() const noexcept { return data_; }

    // Skips whitespace and comments.
    void skipSpace() noexcept;
    // A bare keyword or number as it stands (no delimiters), after whitespace;
    // empty at a delimiter or the end.
    std::string_view word() noexcept;
    // True, and moves past it, when the next token is exactly `keyword`.
    bool keyword(std::string_view keyword) noexcept;
    // An unsigned decimal integer token; false (position kept) otherwise.
    bool unsignedInt(uint64_t& v) noexcept;

    // One object; "N G R" becomes a Ref. Throws Broken on malformed input.
    Value object();
    // "N G obj" at the current position: the object number and generation.
    bool objectHeader(uint32_t& number, uint32_t& generation) noexcept;

private:
    Value parse(int depth);
    void literalString(std::string& out);
    void hexString(std::string& out);
    void name(std::string& out);
    void number(Value& v);
    Bytes data_;
    uint32_t pos_;
    uint32_t values_ = 0;
};

// Numbers of an array, or false when it is not an array of `n` numbers.
bool Numbers(const Value& array, double* out, size_t n) noexcept;

}  // namespace qm::pdf
