#include "pcl/raster_accurate.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace qm::pclraster {
namespace {

// Writes up to `count` copies of v at row[pos], clipped to the row.
void Fill(Row row, uint32_t& pos, uint32_t count, uint8_t v) noexcept {
    const uint32_t n = pos < row.size() ? std::min<uint32_t>(count, static_cast<uint32_t>(row.size()) - pos) : 0;
    std::memset(row.data() + pos, v, n);
    pos += count;
}

// Copies up to `count` bytes of `in` from k to row[pos], clipped to both.
void Copy(Row row, uint32_t& pos, Bytes in, uint32_t& k, uint32_t count) noexcept {
    count = std::min(count, in.left(k));
    const uint32_t n = pos < row.size() ? std::min<uint32_t>(count, static_cast<uint32_t>(row.size()) - pos) : 0;
    std::memcpy(row.data() + pos, in.data + k, n);
    pos += count;
    k += count;
}

void ClearFrom(Row row, uint32_t pos) noexcept {
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

void RunLengthPairs(Bytes in, Row row) noexcept {
    uint32_t pos = 0;
    for (uint32_t k = 0; in.has(k, 2); k += 2) Fill(row, pos, in[k] + 1u, in[k + 1]);
    ClearFrom(row, pos);
}

void PackBits(Bytes in, Row row) noexcept {
    uint32_t pos = 0;
    for (uint32_t k = 0; k < in.size;) {
        const uint8_t c = in[k++];
        if (c < 128) {
            Copy(row, pos, in, k, c + 1u);
        } else if (c > 128 && k < in.size) {
            Fill(row, pos, 257u - c, in[k++]);
        }
    }
    ClearFrom(row, pos);
}

void ReplacementDelta(Bytes in, Row row) noexcept {
    uint32_t pos = 0;
    for (uint32_t k = 0; k < in.size && pos < row.size();) {
        const uint8_t c = in[k++];
        const bool run = (c & 0x80) != 0;
        uint32_t offset = run ? (c >> 5) & 0x03 : (c >> 3) & 0x0F;
        uint32_t count = run ? (c & 0x1F) + 2u : (c & 0x07) + 1u;
        if (offset == (run ? 3u : 15u)) offset = Extend(in, k, offset);
        if (count == (run ? 33u : 8u)) count = Extend(in, k, count);
        pos += offset;
        if (run) {
            if (k >= in.size) break;
            Fill(row, pos, count, in[k++]);
        } else {
            Copy(row, pos, in, k, count);
        }
    }
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

void NearLosslessRgb(Bytes in, Row row) noexcept {
    const uint32_t size = static_cast<uint32_t>(row.size()) / 3 * 3;
    uint8_t* r = row.data();
    uint8_t cached[3] = {0xFF, 0xFF, 0xFF};
    uint32_t pos = 0;  // a byte index, three to the pixel
    const auto put = [&](const uint8_t p[3]) {
        if (pos + 3 <= size) std::memcpy(r + pos, p, 3);
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
        if (pos + 3 > size) return;
        uint8_t pixel[3];
        if (source == 1) {
            if (pos < 3) return;
            std::memcpy(pixel, r + pos - 3, 3);
        } else if (source == 2) {
            if (pos + 6 > size) return;
            std::memcpy(pixel, r + pos + 3, 3);
        } else if (source == 3) {
            std::memcpy(pixel, cached, 3);
        } else {
            if (!NewPixel(in, k, r + pos, pixel)) return;
            std::memcpy(cached, pixel, 3);
        }
        if (run) {
            count += 2;
            if (count == 9) count = Extend(in, k, count);
            for (uint32_t j = 0; j < count && pos + 3 <= size; ++j) put(pixel);
            continue;
        }
        put(pixel);
        for (bool more = count == 7;;) {
            for (uint32_t j = 0; j < count; ++j) {
                if (pos + 3 > size || !NewPixel(in, k, r + pos, pixel)) return;
                put(pixel);
            }
            if (!more || k >= in.size) break;
            count = in[k++];
            more = count == 0xFF;
        }
    }
}

}  // namespace

void DeltaRow(Bytes in, Row row) noexcept {
    uint32_t pos = 0;
    for (uint32_t k = 0; k < in.size && pos < row.size();) {
        const uint8_t c = in[k++];
        uint32_t offset = c & 0x1F;
        if (offset == 0x1F) offset = Extend(in, k, offset);
        pos += offset;
        Copy(row, pos, in, k, (c >> 5) + 1u);
    }
}

bool DecodeRow(int method, Bytes in, Row row) noexcept {
    switch (method) {
        case 0: {
            uint32_t pos = 0, k = 0;
            Copy(row, pos, in, k, in.size);
            ClearFrom(row, pos);
            return true;
        }
        case 1: RunLengthPairs(in, row); return true;
        case 2: PackBits(in, row); return true;
        case 3: DeltaRow(in, row); return true;
        case 9: ReplacementDelta(in, row); return true;
        case 10: NearLosslessRgb(in, row); return true;
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

bool RgbNeutral(const uint8_t* p, uint32_t count, int slack) noexcept {
    for (uint32_t i = 0; i < count; ++i, p += 3) {
        if (p[0] == p[1] && p[1] == p[2]) continue;
        if (std::abs(p[0] - p[1]) > slack || std::abs(p[1] - p[2]) > slack || std::abs(p[0] - p[2]) > slack)
            return false;
    }
    return true;
}

bool PlanesAgree(const uint8_t* a, const uint8_t* b, const uint8_t* c, uint32_t bytes) noexcept {
    uint8_t differ = 0;
    for (uint32_t i = 0; i < bytes; ++i) differ |= static_cast<uint8_t>((a[i] ^ b[i]) | (b[i] ^ c[i]));
    return differ == 0;
}

}  // namespace qm::pclraster
