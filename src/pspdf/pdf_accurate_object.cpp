// The object parser of the accurate PDF reader.
#include "pspdf/pdf_accurate_object.h"

#include <cmath>

namespace qm::pdf {

const Value* Value::get(std::string_view key) const noexcept {
    if (kind != Kind::Dict) return nullptr;
    for (size_t i = 0; i + 1 < items.size(); i += 2) {
        if (items[i].text == key) return &items[i + 1];
    }
    return nullptr;
}

bool Numbers(const Value& array, double* out, size_t n) noexcept {
    if (array.kind != Kind::Array || array.items.size() != n) return false;
    for (size_t i = 0; i < n; ++i) {
        if (!array.items[i].isNumber() || !std::isfinite(array.items[i].real)) return false;
        out[i] = array.items[i].real;
    }
    return true;
}

void Parser::skipSpace() noexcept {
    while (pos_ < data_.size) {
        const uint8_t c = data_[pos_];
        if (IsSpace(c)) {
            ++pos_;
        } else if (c == '%') {
            while (pos_ < data_.size && data_[pos_] != '\n' && data_[pos_] != '\r') ++pos_;
        } else {
            break;
        }
    }
}

std::string_view Parser::word() noexcept {
    skipSpace();
    const uint32_t from = pos_;
    while (pos_ < data_.size && IsRegular(data_[pos_])) ++pos_;
    return {reinterpret_cast<const char*>(data_.data) + from, pos_ - from};
}

bool Parser::keyword(std::string_view kw) noexcept {
    const uint32_t keep = pos_;
    if (word() == kw) return true;
    pos_ = keep;
    return false;
}

bool Parser::unsignedInt(uint64_t& v) noexcept {
    const uint32_t keep = pos_;
    const std::string_view w = word();
    if (w.empty() || w.size() > 18) {
        pos_ = keep;
        return false;
    }
    uint64_t n = 0;
    for (char c : w) {
        if (c < '0' || c > '9') {
            pos_ = keep;
            return false;
        }
        n = n * 10 + static_cast<uint64_t>(c - '0');
    }
    v = n;
    return true;
}

bool Parser::objectHeader(uint32_t& number, uint32_t& generation) noexcept {
    const uint32_t keep = pos_;
    uint64_t n = 0, g = 0;
    if (unsignedInt(n) && unsignedInt(g) && keyword("obj") && n <= UINT32_MAX && g <= 65535) {
        number = static_cast<uint32_t>(n);
        generation = static_cast<uint32_t>(g);
        return true;
    }
    pos_ = keep;
    return false;
}

Value Parser::object() {
    values_ = 0;
    return parse(0);
}

Value Parser::parse(int depth) {
    if (depth > kMaxNesting) throw Broken("objects nested too deep");
    if (++values_ > kMaxValuesPerObject) throw Broken("object too large");
    skipSpace();
    Value v;
    if (pos_ >= data_.size) throw Broken("object cut short");
    const uint8_t c = data_[pos_];
    if (c == '/') {
        v.kind = Kind::Name;
        name(v.text);
    } else if (c == '(') {
        v.kind = Kind::String;
        literalString(v.text);
    } else if (c == '<' && data_.at(pos_ + 1) == '<') {
        pos_ += 2;
        v.kind = Kind::Dict;
        for (;;) {
            skipSpace();
            if (data_.matches(pos_, ">>")) {
                pos_ += 2;
                break;
            }
            if (pos_ >= data_.size) throw Broken("dictionary cut short");
            if (data_[pos_] != '/') throw Broken("dictionary key is not a name");
            Value key;
            key.kind = Kind::Name;
            name(key.text);
            Value item = parse(depth + 1);
            // A null value is the same as an absent key.
            if (item.isNull()) continue;
            v.items.push_back(std::move(key));
            v.items.push_back(std::move(item));
        }
    } else if (c == '<') {
        v.kind = Kind::String;
        hexString(v.text);
    } else if (c == '[') {
        ++pos_;
        v.kind = Kind::Array;
        for (;;) {
            skipSpace();
            if (data_.at(pos_) == ']') {
                ++pos_;
                break;
            }
            if (pos_ >= data_.size) throw Broken("array cut short");
            v.items.push_back(parse(depth + 1));
        }
    } else if ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.') {
        number(v);
        // "N G R": two unsigned integers and R make a reference.
        if (v.kind == Kind::Int && v.integer >= 0 && v.integer <= UINT32_MAX) {
            const uint32_t keep = pos_;
            uint64_t g = 0;
            if (unsignedInt(g) && g <= 65535 && keyword("R")) {
                v.kind = Kind::Ref;
                v.generation = static_cast<uint32_t>(g);
            } else {
                pos_ = keep;
            }
        }
    } else {
        const std::string_view w = word();
        if (w == "true" || w == "false") {
            v.kind = Kind::Bool;
            v.boolean = w == "true";
        } else if (w == "null") {
            v.kind = Kind::Null;
        } else {
            throw Broken("unexpected token");
        }
    }
    return v;
}

void Parser::name(std::string& out) {
    ++pos_;  // the slash
    while (pos_ < data_.size && IsRegular(data_[pos_])) {
        const uint8_t c = data_[pos_++];
        auto hex = [](int h) { return h >= '0' && h <= '9' ? h - '0' : (h | 32) >= 'a' && (h | 32) <= 'f' ? (h | 32) - 'a' + 10 : -1; };
        if (c == '#' && hex(data_.at(pos_)) >= 0 && hex(data_.at(pos_ + 1)) >= 0) {
            out += static_cast<char>(hex(data_[pos_]) * 16 + hex(data_[pos_ + 1]));
            pos_ += 2;
        } else {
            out += static_cast<char>(c);
        }
    }
}

void Parser::literalString(std::string& out) {
    ++pos_;
    int nesting = 1;
    while (pos_ < data_.size) {
        uint8_t c = data_[pos_++];
        if (c == '(') {
            ++nesting;
        } else if (c == ')') {
            if (--nesting == 0) return;
        } else if (c == '\\') {
            if (pos_ >= data_.size) break;
            c = data_[pos_++];
            switch (c) {
                case 'n': c = '\n'; break;
                case 'r': c = '\r'; break;
                case 't': c = '\t'; break;
                case 'b': c = '\b'; break;
                case 'f': c = '\f'; break;
                case '\r':
                    if (data_.at(pos_) == '\n') ++pos_;
                    continue;
                case '\n': continue;
                default:
                    if (c >= '0' && c <= '7') {
                        int octal = c - '0';
                        for (int k = 0; k < 2 && data_.at(pos_) >= '0' && data_.at(pos_) <= '7'; ++k) {
                            octal = octal * 8 + (data_[pos_++] - '0');
                        }
                        c = static_cast<uint8_t>(octal);
                    }
                    break;
            }
        }
        out += static_cast<char>(c);
    }
    throw Broken("string cut short");
}

void Parser::hexString(std::string& out) {
    ++pos_;
    int high = -1;
    while (pos_ < data_.size) {
        const uint8_t c = data_[pos_++];
        if (c == '>') {
            if (high >= 0) out += static_cast<char>(high * 16);
            return;
        }
        if (IsSpace(c)) continue;
        const int l = c | 32;
        const int d = c >= '0' && c <= '9' ? c - '0' : l >= 'a' && l <= 'f' ? l - 'a' + 10 : -1;
        if (d < 0) throw Broken("bad hexadecimal string");
        if (high < 0) {
            high = d;
        } else {
            out += static_cast<char>(high * 16 + d);
            high = -1;
        }
    }
    throw Broken("string cut short");
}

void Parser::number(Value& v) {
    const uint32_t from = pos_;
    bool real = false;
    while (pos_ < data_.size) {
        const uint8_t c = data_[pos_];
        if (c == '.') {
            real = true;
        } else if (!((c >= '0' && c <= '9') || ((c == '-' || c == '+') && pos_ == from))) {
            break;
        }
        ++pos_;
    }
    // Signs and dots alone, or a number running into letters, are not numbers.
    if (IsRegular(data_.at(pos_))) throw Broken("malformed number");
    double value = 0, scale = 1;
    bool negative = false, digits = false, fraction = false;
    for (uint32_t i = from; i < pos_; ++i) {
        const uint8_t c = data_[i];
        if (c == '-') negative = true;
        else if (c == '.') fraction = true;
        else if (c >= '0' && c <= '9') {
            digits = true;
            if (fraction) {
                scale /= 10;
                value += (c - '0') * scale;
            } else {
                value = value * 10 + (c - '0');
            }
        }
    }
    if (!digits) throw Broken("malformed number");
    if (negative) value = -value;
    v.real = value;
    if (!real && std::fabs(value) < 9.0e15) {
        v.kind = Kind::Int;
        v.integer = static_cast<int64_t>(value);
    } else {
        v.kind = Kind::Real;
    }
}

}  // namespace qm::pdf
