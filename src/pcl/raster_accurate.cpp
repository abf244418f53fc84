#include "pcl/raster_accurate.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>
#include <cstring>

namespace qm::pclraster {
namespace {

// Where the next byte goes, and where the first one written went.
struct Cursor {
    uint32_t pos = 0;
    uint32_t first = UINT32_MAX;
    Cursor& operator+=(uint32_t n) noexcept {
        pos += n;
        return *this;
    }
    void Wrote(uint32_t n) noexcept {
        if (n > 0) first = std::min(first, pos);
    }
};

// Writes up to `count` copies of v at the cursor, clipped to the row.
void Fill(Row row, Cursor& at, uint32_t count, uint8_t v) noexcept {
    const uint32_t pos = at.pos;
    const uint32_t size = static_cast<uint32_t>(row.size());
    const uint32_t n = std::min(count, size - std::min(pos, size));  // none past the row's end
    if (n > 0) std::memset(row.data() + pos, v, n);  // an empty row may have no storage
    at.Wrote(n);
    at.pos += count;
}

// Copies up to `count` bytes of `in` from k to the cursor, clipped to both.
void Copy(Row row, Cursor& at, Bytes in, uint32_t& k, uint32_t count) noexcept {
    count = std::min(count, in.left(k));
    const uint32_t pos = at.pos;
    const uint32_t size = static_cast<uint32_t>(row.size());
    const uint32_t n = std::min(count, size - std::min(pos, size));  // none past the row's end
    if (n > 0) std::memcpy(row.data() + pos, in.data + k, n);  // nor empty data
    at.Wrote(n);
    at.pos += count;
    k += count;
}

void ClearFrom(Row row, uint32_t pos) noexcept {  // methods without a seed rewrite the whole row
    if (pos < row.size()) std::memset(row.data() + pos, 0, row.size() - pos);
}

// An offset or count continued by bytes of 255 (the last one is below 255).
uint32_t Extend(Bytes in, uint32_t& k, uint32_t v) noexcept {
    for (int b = in.at(k); b >= 0; b = in.at(k)) {
        ++k;
        v += static_cast<uint32_t>(b);
        if (b != 0xFF) break;
    }
    return v;
}

uint32_t RunLengthPairs(Bytes in, Row row) noexcept {
    Cursor at;
    for (uint32_t k = 0; in.has(k, 2); k += 2) Fill(row, at, in[k] + 1u, in[k + 1]);
    ClearFrom(row, at.pos);
    return at.pos;
}

uint32_t PackBits(Bytes in, Row row) noexcept {
    Cursor at;
    for (uint32_t k = 0; k < in.size;) {
        const uint8_t c = in[k++];
        if (c < 128) {
            Copy(row, at, in, k, c + 1u);
        } else if (c > 128 && k < in.size) {
            Fill(row, at, 257u - c, in[k++]);
        }
    }
    ClearFrom(row, at.pos);
    return at.pos;
}

Cursor ReplacementDelta(Bytes in, Row row) noexcept {
    Cursor at;
    for (uint32_t k = 0; k < in.size && at.pos < row.size();) {
        const uint8_t c = in[k++];
        const bool run = (c & 0x80) != 0;
        uint32_t offset = run ? (c >> 5) & 0x03 : (c >> 3) & 0x0F;
        uint32_t count = run ? (c & 0x1F) + 2u : (c & 0x07) + 1u;
        if (offset == (run ? 3u : 15u)) offset = Extend(in, k, offset);
        if (count == (run ? 33u : 8u)) count = Extend(in, k, count);
        at += offset;
        if (run) {
            if (k >= in.size) break;
            Fill(row, at, count, in[k++]);
        } else {
            Copy(row, at, in, k, count);
        }
    }
    return at;
}

// Method 10 keeps 24-bit RGB pixels: a new pixel is a delta from the pixel
// above it (two bytes) or seven bits of each primary with blue's lowest bit
// taken from its highest (three bytes).
bool NewPixel(Bytes in, uint32_t& k, const uint8_t* above, uint8_t out[3]) noexcept {
    if (!in.has(k)) return false;
    if (in[k] & 0x80) {
        if (!in.has(k, 2)) return false;
        const uint32_t d = in.be16(k);
        k += 2;
        const auto sign = [](uint32_t v, uint32_t bits) { return static_cast<int>(v) - ((v >> (bits - 1)) ? (1 << bits) : 0); };
        const int dr = sign((d >> 10) & 0x1F, 5), dg = sign((d >> 5) & 0x1F, 5), db = sign((d & 0x1F) << 1, 6);
        out[0] = static_cast<uint8_t>(above[0] + dr);
        out[1] = static_cast<uint8_t>(above[1] + dg);
        out[2] = static_cast<uint8_t>(above[2] + db);
        return true;
    }
    if (!in.has(k, 3)) return false;
    uint32_t v = in.be24(k) << 1;
    k += 3;
    if (v & 0x80) v |= 1;
    out[0] = static_cast<uint8_t>(v >> 16);
    out[1] = static_cast<uint8_t>(v >> 8);
    out[2] = static_cast<uint8_t>(v);
    return true;
}

// Primaries more than one apart: what the near-lossless rows' grey allows.
bool NotGrey(const uint8_t p[3]) noexcept {
    const auto apart = [](int a, int b) { return a - b > 1 || b - a > 1; };
    return apart(p[0], p[1]) || apart(p[1], p[2]) || apart(p[0], p[2]);
}

uint32_t NearLosslessRgb(Bytes in, Row row, uint32_t& first, bool& notGrey) noexcept {
    const uint32_t size = static_cast<uint32_t>(row.size()) / 3 * 3;
    uint8_t* r = row.data();
    uint8_t cached[3] = {0xFF, 0xFF, 0xFF};
    uint32_t pos = 0;  // a byte index, three to the pixel
    const auto put = [&](const uint8_t p[3]) {
        if (pos + 3 <= size) {
            std::memcpy(r + pos, p, 3);
            first = std::min(first, pos);
            notGrey = notGrey || NotGrey(p);
        }
        pos += 3;
    };
    for (uint32_t k = 0; k < in.size;) {
        const uint8_t c = in[k++];
        const bool run = (c & 0x80) != 0;
        const uint32_t source = (c >> 5) & 0x03;  // new, west, north-east, cached
        uint32_t offset = (c >> 3) & 0x03;
        uint32_t count = c & 0x07;
        if (offset == 3) offset = Extend(in, k, offset);
        pos += 3 * std::min<uint32_t>(offset, size);
        if (pos + 3 > size) return pos;
        uint8_t pixel[3];
        if (source == 1) {
            if (pos < 3) return pos;
            std::memcpy(pixel, r + pos - 3, 3);
        } else if (source == 2) {
            if (pos + 6 > size) return pos;
            std::memcpy(pixel, r + pos + 3, 3);
        } else if (source == 3) {
            std::memcpy(pixel, cached, 3);
        } else {
            if (!NewPixel(in, k, r + pos, pixel)) return pos;
            std::memcpy(cached, pixel, 3);
        }
        if (run) {
            count += 2;
            if (count == 9) count = Extend(in, k, count);
            // A run of one grey level (white, mostly) is a fill of bytes.
            const uint32_t n = std::min(count, (size - pos) / 3);
            if (n > 0) {
                put(pixel);
                if (pixel[0] == pixel[1] && pixel[1] == pixel[2]) {
                    std::memset(r + pos, pixel[0], 3 * (n - 1));
                    pos += 3 * (n - 1);
                } else {
                    for (uint32_t j = 1; j < n; ++j, pos += 3) std::memcpy(r + pos, pixel, 3);
                }
            }
            continue;
        }
        put(pixel);
        for (bool more = count == 7;;) {
            for (uint32_t j = 0; j < count; ++j) {
                if (pos + 3 > size || !NewPixel(in, k, r + pos, pixel)) return pos;
                put(pixel);
            }
            if (!more || k >= in.size) break;
            count = in[k++];
            more = count == 0xFF;
        }
    }
    return pos;
}

}  // namespace

namespace {

// A command replaces at most eight bytes. Where eight bytes of both the
// data and the row follow, they are merged as one word, the row's bytes
// past the command's count kept; else copied byte by byte where both hold
// them all, which is nearly always.
Cursor Delta(Bytes in, Row row) noexcept {
    Cursor at;
    const uint32_t size = static_cast<uint32_t>(row.size());
    for (uint32_t k = 0; k < in.size && at.pos < size;) {
        const uint8_t c = in[k++];
        uint32_t offset = c & 0x1F;
        if (offset == 0x1F) offset = Extend(in, k, offset);
        at += offset;
        const uint32_t count = (c >> 5) + 1u;
        if (std::endian::native == std::endian::little && in.has(k, 8) && at.pos < size && size - at.pos >= 8) {
            uint8_t* out = row.data() + at.pos;
            uint64_t now, data;
            std::memcpy(&now, out, 8);
            std::memcpy(&data, in.data + k, 8);
            const uint64_t mask = ~uint64_t{0} >> (64 - 8 * count);  // the first `count` bytes
            now = (now & ~mask) | (data & mask);
            std::memcpy(out, &now, 8);
            at.Wrote(count);
            at.pos += count;
            k += count;
        } else if (in.has(k, count) && at.pos < size && size - at.pos >= count) {
            uint8_t* out = row.data() + at.pos;
            for (uint32_t j = 0; j < count; ++j) out[j] = in.data[k + j];
            at.Wrote(count);
            at.pos += count;
            k += count;
        } else {
            Copy(row, at, in, k, count);
        }
    }
    return at;
}

}  // namespace

uint32_t DeltaRow(Bytes in, Row row) noexcept { return Delta(in, row).pos; }

bool DecodeRow(int method, Bytes in, Row row, Written* written) noexcept {
    Cursor at;
    bool notGrey = false;
    switch (method) {
        case 0: {
            uint32_t k = 0;
            Copy(row, at, in, k, in.size);
            ClearFrom(row, at.pos);
            at.first = 0;
            break;
        }
        case 1: at.pos = RunLengthPairs(in, row), at.first = 0; break;
        case 2: at.pos = PackBits(in, row), at.first = 0; break;
        case 3: at = Delta(in, row); break;
        case 9: at = ReplacementDelta(in, row); break;
        case 10: at.pos = NearLosslessRgb(in, row, at.first, notGrey); break;
        default: return false;
    }
    if (written != nullptr) {
        written->notGrey = notGrey;
        const uint32_t size = static_cast<uint32_t>(row.size());
        written->end = std::min(at.pos, size);
        written->begin = std::min(at.first, written->end);
    }
    return true;
}

bool WritesOnlyZeros(int method, Bytes in) noexcept {
    const auto zeros = [&](uint32_t k, uint32_t n) {
        for (const uint32_t end = std::min(k + std::min(n, in.left(k)), in.size); k < end; ++k)
            if (in[k] != 0) return false;
        return true;
    };
    switch (method) {
        case 0: return zeros(0, in.size);
        case 1:
            for (uint32_t k = 1; k < in.size; k += 2)
                if (in[k] != 0) return false;
            return true;
        case 2:
            for (uint32_t k = 0; k < in.size;) {
                const uint8_t c = in[k++];
                if (c < 128) {
                    if (!zeros(k, c + 1u)) return false;
                    k += c + 1u;
                } else if (c > 128) {
                    if (k < in.size && in[k] != 0) return false;
                    ++k;
                }
            }
            return true;
        case 3:
            for (uint32_t k = 0; k < in.size;) {
                const uint8_t c = in[k++];
                if ((c & 0x1F) == 0x1F) Extend(in, k, 0);
                const uint32_t n = (c >> 5) + 1u;
                if (!zeros(k, n)) return false;
                k += n;
            }
            return true;
        case 9:
            for (uint32_t k = 0; k < in.size;) {
                const uint8_t c = in[k++];
                const bool run = (c & 0x80) != 0;
                const uint32_t offset = run ? (c >> 5) & 0x03 : (c >> 3) & 0x0F;
                uint32_t count = run ? (c & 0x1F) + 2u : (c & 0x07) + 1u;
                if (offset == (run ? 3u : 15u)) Extend(in, k, offset);
                if (count == (run ? 33u : 8u)) count = Extend(in, k, count);
                const uint32_t n = run ? 1u : count;
                if (!zeros(k, n)) return false;
                k += std::min(n, in.left(k));
            }
            return true;
        default: return false;
    }
}

bool PackBitsStream::Next(Row row) noexcept {
    uint32_t pos = 0;
    const uint32_t size = static_cast<uint32_t>(row.size());
    while (pos < size) {
        if (repeat > 0) {
            const uint32_t n = std::min(repeat, size - pos);
            std::memset(row.data() + pos, value, n);
            pos += n;
            repeat -= n;
        } else if (literal > 0) {
            const uint32_t n = std::min({literal, size - pos, in.left(at)});
            if (n == 0) return false;
            std::memcpy(row.data() + pos, in.data + at, n);
            pos += n;
            at += n;
            literal -= n;
        } else {
            if (at >= in.size) return false;
            const uint8_t c = in[at++];
            if (c < 128) {
                literal = c + 1u;
            } else if (c > 128) {
                if (at >= in.size) return false;
                repeat = 257u - c;
                value = in[at++];
            }
        }
    }
    return true;
}

bool RgbNeutralPlain(const uint8_t* p, uint32_t count, int slack) noexcept {
    for (uint32_t i = 0; i < count; ++i, p += 3) {
        if (p[0] == p[1] && p[1] == p[2]) continue;
        if (std::abs(p[0] - p[1]) > slack || std::abs(p[1] - p[2]) > slack || std::abs(p[0] - p[2]) > slack)
            return false;
    }
    return true;
}

namespace {

// Eight pixels are 24 bytes, three words: a pixel is grey when each of its
// first two components equals the next byte, so each word is compared with
// itself one byte on, the third component's byte masked out.
struct TripletMasks {
    std::array<uint64_t, 3> word;
    TripletMasks() noexcept {
        uint8_t bytes[sizeof word];
        for (uint32_t t = 0; t < sizeof bytes; ++t) bytes[t] = t % 3 == 2 ? 0 : 0xFF;
        std::memcpy(word.data(), bytes, sizeof word);
    }
};

uint64_t Load(const uint8_t* p) noexcept {
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

}  // namespace

bool RgbNeutral(const uint8_t* p, uint32_t count, int slack) noexcept {
    static const TripletMasks masks;
    uint32_t i = 0;
    // The last block's shifted load reads one byte past it: blocks stop
    // while a further pixel follows.
    for (; i + 9 <= count; i += 8) {
        const uint8_t* b = p + size_t{i} * 3;
        uint64_t differ = 0;
        for (uint32_t w = 0; w < 3; ++w) differ |= (Load(b + 8 * w) ^ Load(b + 8 * w + 1)) & masks.word[w];
        if (differ != 0 && (slack == 0 || !RgbNeutralPlain(b, 8, slack))) return false;
    }
    return RgbNeutralPlain(p + size_t{i} * 3, count - i, slack);
}

bool PlanesAgree(const uint8_t* a, const uint8_t* b, const uint8_t* c, uint32_t bytes) noexcept {
    uint64_t differ = 0;
    uint32_t i = 0;
    for (; i + 8 <= bytes; i += 8) {
        uint64_t x, y, z;
        std::memcpy(&x, a + i, 8);
        std::memcpy(&y, b + i, 8);
        std::memcpy(&z, c + i, 8);
        differ |= (x ^ y) | (y ^ z);
    }
    for (; i < bytes; ++i) differ |= static_cast<uint8_t>((a[i] ^ b[i]) | (b[i] ^ c[i]));
    return differ == 0;
}

bool AllZero(const uint8_t* p, uint32_t bytes) noexcept {
    uint64_t any = 0;
    uint32_t i = 0;
    for (; i + 8 <= bytes; i += 8) {
        uint64_t x;
        std::memcpy(&x, p + i, 8);
        any |= x;
    }
    for (; i < bytes; ++i) any |= p[i];
    return any == 0;
}

}  // namespace qm::pclraster
