// Stream filters of the accurate PDF reader: Flate and LZW with PNG and TIFF
// predictors, run-length, ASCIIHex and ASCII85. Output is capped per stream and over the
// whole document, so a small file cannot inflate into gigabytes.
#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "pspdf/pdf_accurate_document.h"

namespace qm::pdf {
namespace {

bool Inflate(std::string_view in, std::string& out, uint32_t cap) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return false;
    struct End {
        z_stream& z;
        ~End() { inflateEnd(&z); }
    } end{z};
    // A wrong checksum keeps what came out (below), so it is not computed;
    // the trailer is still read, and checked here when nothing came out.
    inflateValidate(&z, 0);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    z.avail_in = static_cast<uInt>(in.size());
    uint8_t chunk[16384];
    for (;;) {
        z.next_out = chunk;
        z.avail_out = sizeof chunk;
        const int rc = inflate(&z, Z_NO_FLUSH);
        const size_t got = sizeof chunk - z.avail_out;
        if (out.size() + got > cap) return false;
        out.append(reinterpret_cast<const char*>(chunk), got);
        if (rc == Z_STREAM_END) return !out.empty() || std::memcmp(z.next_in - 4, "\0\0\0\1", 4) == 0;
        // Data cut short or corrupt near its end: keep what came out, as
        // viewers do, when anything did.
        if (rc == Z_BUF_ERROR && z.avail_in == 0) return !out.empty();
        if (rc != Z_OK && rc != Z_BUF_ERROR) return !out.empty() && rc == Z_DATA_ERROR;
        if (got == 0 && z.avail_in == 0) return !out.empty();
    }
}

bool AsciiHex(std::string_view in, std::string& out) {
    int high = -1;
    for (char ch : in) {
        const int c = static_cast<uint8_t>(ch);
        if (c == '>') break;
        if (IsSpace(c)) continue;
        const int l = c | 32;
        const int d = c >= '0' && c <= '9' ? c - '0' : l >= 'a' && l <= 'f' ? l - 'a' + 10 : -1;
        if (d < 0) return false;
        if (high < 0) {
            high = d;
        } else {
            out += static_cast<char>(high * 16 + d);
            high = -1;
        }
    }
    if (high >= 0) out += static_cast<char>(high * 16);
    return true;
}

bool Ascii85(std::string_view in, std::string& out) {
    uint32_t group = 0;
    int n = 0;
    for (size_t i = 0; i < in.size(); ++i) {
        const int c = static_cast<uint8_t>(in[i]);
        if (IsSpace(c)) continue;
        if (c == '~') break;
        if (c == 'z' && n == 0) {
            out.append(4, '\0');
            continue;
        }
        if (c < '!' || c > 'u') return false;
        group = group * 85 + static_cast<uint32_t>(c - '!');
        if (++n == 5) {
            for (int k = 3; k >= 0; --k) out += static_cast<char>((group >> (8 * k)) & 0xFF);
            group = 0;
            n = 0;
        }
    }
    if (n == 1) return false;
    if (n > 1) {
        for (int k = n; k < 5; ++k) group = group * 85 + 84;
        for (int k = 3; k > 4 - n; --k) out += static_cast<char>((group >> (8 * k)) & 0xFF);
    }
    return true;
}

// LZW as PDF and PostScript write it: 9 to 12-bit codes, 256 clears, 257
// ends; `early` codes grow one code before the table fills (the default).
bool Lzw(std::string_view in, std::string& out, uint32_t cap, bool early) {
    struct Entry {
        uint16_t prefix;  // previous code, or 0xFFFF for a single byte
        uint8_t last;
        uint8_t first;
        uint16_t length;
    };
    std::vector<Entry> table(4096);
    for (int i = 0; i < 256; ++i) table[i] = {0xFFFF, static_cast<uint8_t>(i), static_cast<uint8_t>(i), 1};
    int next = 258, width = 9, previous = -1;
    uint32_t bits = 0, held = 0;
    std::string word;
    for (size_t at = 0;;) {
        while (held < static_cast<uint32_t>(width) && at < in.size()) {
            bits = (bits << 8) | static_cast<uint8_t>(in[at++]);
            held += 8;
        }
        if (held < static_cast<uint32_t>(width)) return true;  // the data ends without its end code
        const int code = static_cast<int>((bits >> (held - width)) & ((1u << width) - 1));
        held -= width;
        if (code == 256) {
            next = 258;
            width = 9;
            previous = -1;
            continue;
        }
        if (code == 257) return true;
        if (code > next || (code == next && previous < 0)) return false;
        // The string of `code` (or, for the code being defined, the previous string and its own first byte).
        const int of = code == next ? previous : code;
        word.assign(table[of].length, '\0');
        for (int c = of, k = table[of].length - 1; c != 0xFFFF && k >= 0; c = table[c].prefix, --k)
            word[k] = static_cast<char>(table[c].last);
        if (code == next) word += word[0];
        if (out.size() + word.size() > cap) return false;
        out += word;
        if (previous >= 0 && next < 4096) {
            table[next] = {static_cast<uint16_t>(previous), static_cast<uint8_t>(word[0]), table[previous].first,
                           static_cast<uint16_t>(table[previous].length + 1)};
            ++next;
        }
        previous = code;
        if (next + (early ? 1 : 0) >= (1 << width) && width < 12) ++width;
    }
}

bool RunLength(std::string_view in, std::string& out, uint32_t cap) {
    for (size_t i = 0; i < in.size();) {
        const int n = static_cast<uint8_t>(in[i++]);
        if (n == 128) return true;
        if (n < 128) {
            const size_t take = std::min<size_t>(n + 1, in.size() - i);
            if (out.size() + take > cap) return false;
            out.append(in.data() + i, take);
            i += take;
        } else {
            if (i >= in.size()) return true;
            if (out.size() + (257 - n) > cap) return false;
            out.append(static_cast<size_t>(257 - n), in[i++]);
        }
    }
    return true;
}

int64_t IntParam(const Value* parms, std::string_view key, int64_t fallback) {
    const Value* v = parms ? parms->get(key) : nullptr;
    return v && v->kind == Kind::Int ? v->integer : fallback;
}

// Undoes a PNG (10-15) or TIFF (2) predictor in place.
bool Unpredict(std::string& data, const Value* parms) {
    const int64_t predictor = IntParam(parms, "Predictor", 1);
    if (predictor == 1) return true;
    const int64_t colors = IntParam(parms, "Colors", 1), bpc = IntParam(parms, "BitsPerComponent", 8),
                  columns = IntParam(parms, "Columns", 1);
    if (colors < 1 || colors > 32 || (bpc != 1 && bpc != 2 && bpc != 4 && bpc != 8 && bpc != 16) || columns < 1 ||
        columns > (1 << 24)) {
        return false;
    }
    const size_t row = static_cast<size_t>((colors * bpc * columns + 7) / 8);
    const size_t bpp = static_cast<size_t>(std::max<int64_t>(1, colors * bpc / 8));
    if (predictor == 2) {
        if (bpc != 8) return false;
        for (size_t start = 0; start + row <= data.size(); start += row) {
            for (size_t i = bpp; i < row; ++i) data[start + i] = static_cast<char>(data[start + i] + data[start + i - bpp]);
        }
        return true;
    }
    if (predictor < 10 || predictor > 15) return false;
    std::string out;
    out.reserve(data.size());
    std::string prior(row, '\0');
    for (size_t at = 0; at < data.size(); at += row + 1) {
        const int type = static_cast<uint8_t>(data[at]);
        const size_t n = std::min(row, data.size() - at - 1);
        std::string cur(data, at + 1, n);
        cur.resize(row, '\0');
        for (size_t i = 0; i < row; ++i) {
            const int a = i >= bpp ? static_cast<uint8_t>(cur[i - bpp]) : 0;
            const int b = static_cast<uint8_t>(prior[i]);
            const int c = i >= bpp ? static_cast<uint8_t>(prior[i - bpp]) : 0;
            int x = static_cast<uint8_t>(cur[i]);
            switch (type) {
                case 0: break;
                case 1: x += a; break;
                case 2: x += b; break;
                case 3: x += (a + b) / 2; break;
                case 4: {
                    const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
                    x += pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
                    break;
                }
                default: return false;
            }
            cur[i] = static_cast<char>(x);
        }
        out.append(cur, 0, n);
        prior.swap(cur);
    }
    data.swap(out);
    return true;
}

}  // namespace

bool DecodeFilter(std::string_view name, const Value* parms, std::string_view in, std::string& out,
                  uint32_t cap) {
    if (name == "FlateDecode" || name == "Fl") return Inflate(in, out, cap) && Unpredict(out, parms) && out.size() <= cap;
    if (name == "LZWDecode" || name == "LZW")
        return Lzw(in, out, cap, IntParam(parms, "EarlyChange", 1) != 0) && Unpredict(out, parms) && out.size() <= cap;
    if (name == "RunLengthDecode" || name == "RL") return RunLength(in, out, cap);
    if (name == "ASCIIHexDecode" || name == "AHx") return AsciiHex(in, out) && out.size() <= cap;
    if (name == "ASCII85Decode" || name == "A85") return Ascii85(in, out) && out.size() <= cap;
    return false;
}

bool Document::decode(const Object& stream, std::string& out, uint32_t cap, std::string* image) {
    out.clear();
    if (!stream.stream) return false;
    cap = static_cast<uint32_t>(std::min<uint64_t>(cap, kMaxDecodedTotal - std::min(decoded_, kMaxDecodedTotal)));
    Object fh, ph;
    const Value& filter = lookup(stream.value, "Filter", fh);
    std::vector<const Value*> filters, parms;
    if (filter.kind == Kind::Name) {
        filters.push_back(&filter);
    } else if (filter.kind == Kind::Array) {
        for (const Value& f : filter.items) filters.push_back(&f);
    } else if (!filter.isNull()) {
        return false;
    }
    const Value& dp = lookup(stream.value, "DecodeParms", ph);
    for (size_t i = 0; i < filters.size(); ++i) {
        const Value* p = dp.kind == Kind::Dict ? &dp : dp.kind == Kind::Array && i < dp.items.size() ? &dp.items[i] : nullptr;
        parms.push_back(p && p->kind == Kind::Dict ? p : nullptr);
    }
    std::string data(reinterpret_cast<const char*>(stream.data.data), stream.data.size);
    if (data.size() > cap) return false;
    for (size_t i = 0; i < filters.size(); ++i) {
        const Value& f = *filters[i];
        if (f.kind != Kind::Name) return false;
        // An image codec as the last filter is left to the caller, which
        // decodes the image itself.
        if (image != nullptr && i + 1 == filters.size() && IsImageCodec(f.text)) {
            *image = f.text;
            break;
        }
        std::string next;
        if (!DecodeFilter(f.text, parms[i], data, next, cap)) return false;
        data.swap(next);
    }
    decoded_ += data.size();
    out.swap(data);
    return true;
}

}  // namespace qm::pdf
