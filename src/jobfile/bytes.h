// Read-only view of a job's bytes and the lookahead rule every counter keeps:
// nothing at or past the end of the data is ever read. Counters test with
// has()/at()/matches() instead of writing index arithmetic by hand.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace qm {

struct Bytes {
    const uint8_t* data = nullptr;
    uint32_t size = 0;

    constexpr Bytes() = default;
    constexpr Bytes(const uint8_t* d, uint32_t n) : data(d), size(n) {}
    Bytes(std::string_view s)
        : data(reinterpret_cast<const uint8_t*>(s.data())), size(static_cast<uint32_t>(s.size())) {}

    // True when the `count` bytes starting at i all lie inside the data.
    // Written so that no sum can overflow.
    constexpr bool has(uint32_t i, uint32_t count = 1) const noexcept {
        return i < size && count <= size - i;
    }
    // Bytes left from i (0 when i is at or past the end).
    constexpr uint32_t left(uint32_t i) const noexcept { return i < size ? size - i : 0; }

    // The byte at i, or -1 when i is outside the data.
    constexpr int at(uint32_t i) const noexcept { return i < size ? data[i] : -1; }
    // Unchecked access: only after has().
    constexpr uint8_t operator[](uint32_t i) const noexcept { return data[i]; }

    // Does the literal stand at i, entirely inside the data?
    bool matches(uint32_t i, std::string_view lit) const noexcept {
        return has(i, static_cast<uint32_t>(lit.size())) &&
               (lit.empty() || std::memcmp(data + i, lit.data(), lit.size()) == 0);
    }
    bool matches(uint32_t i, const uint8_t* lit, uint32_t n) const noexcept {
        return has(i, n) && std::memcmp(data + i, lit, n) == 0;
    }
    // ASCII case-insensitive match.
    bool matchesNoCase(uint32_t i, std::string_view lit) const noexcept {
        if (!has(i, static_cast<uint32_t>(lit.size()))) return false;
        for (size_t k = 0; k < lit.size(); ++k) {
            uint8_t a = data[i + k], b = static_cast<uint8_t>(lit[k]);
            if (a >= 'a' && a <= 'z') a = static_cast<uint8_t>(a - 32);
            if (b >= 'a' && b <= 'z') b = static_cast<uint8_t>(b - 32);
            if (a != b) return false;
        }
        return true;
    }

    // Multi-byte reads; callers check has(i, width) first.
    constexpr uint16_t le16(uint32_t i) const noexcept {
        return static_cast<uint16_t>(data[i] | (data[i + 1] << 8));
    }
    constexpr uint16_t be16(uint32_t i) const noexcept {
        return static_cast<uint16_t>((data[i] << 8) | data[i + 1]);
    }
    constexpr uint32_t be24(uint32_t i) const noexcept {
        return (uint32_t{data[i]} << 16) | (uint32_t{data[i + 1]} << 8) | data[i + 2];
    }
    constexpr uint32_t le32(uint32_t i) const noexcept {
        return uint32_t{data[i]} | (uint32_t{data[i + 1]} << 8) | (uint32_t{data[i + 2]} << 16) |
               (uint32_t{data[i + 3]} << 24);
    }
    constexpr uint32_t be32(uint32_t i) const noexcept {
        return (uint32_t{data[i]} << 24) | (uint32_t{data[i + 1]} << 16) | (uint32_t{data[i + 2]} << 8) |
               data[i + 3];
    }

    // Index of the first byte equal to b at or after i, or size when none.
    uint32_t find(uint32_t i, uint8_t b) const noexcept {
        if (i >= size) return size;
        const void* p = std::memchr(data + i, b, size - i);
        return p ? static_cast<uint32_t>(static_cast<const uint8_t*>(p) - data) : size;
    }

    // Index of the first non-NUL byte at or after i, or size when none.
    uint32_t skipNul(uint32_t i = 0) const noexcept {
        while (i < size && data[i] == 0) ++i;
        return i;
    }
};

// Advance an index by a declared length without wrapping: returns the new
// index, or `size` (the end) when the skip would reach or pass the end.
constexpr uint32_t SkipBy(const Bytes& b, uint32_t i, uint64_t length) noexcept {
    const uint64_t next = uint64_t{i} + length;
    return next >= b.size ? b.size : static_cast<uint32_t>(next);
}

}  // namespace qm
