// The line-based label languages CUPS's label filter (rastertolabel) writes:
// Zebra EPL2 in page mode and Zebra CPCL. Both are lines of a command and
// its parameters; their graphics commands state how many bytes of binary
// rows follow the line, and the walk steps over exactly that many.
//
// EPL2: "N" clears the image buffer, "GW x,y,bytes per row,rows" is followed
// by bytes x rows of data, "P sets[,copies]" prints the buffer.
// CPCL: "! offset hres vres height quantity" opens a label, "CG bytes per row
// rows x y" is followed by the rows' bytes (EG by twice as many hex digits),
// "PRINT" prints it quantity times; PAGE-WIDTH states its width in dots.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "accurate/accurate.h"
#include "label/labels.h"

namespace qm::accurate {
namespace {

constexpr uint64_t kMaxNumber = 99999999;
constexpr uint32_t kBidLines = 64;

struct Line {
    uint32_t at = 0, end = 0;  // the line without its line end
    uint32_t next = 0;         // the next line
};

// The line at `at`, ended by LF (a CR before it is dropped).
bool ReadLine(Bytes b, uint32_t at, Line& l) noexcept {
    if (at >= b.size) return false;
    const uint32_t lf = b.find(at, '\n');
    l.at = at;
    l.end = lf;
    l.next = lf < b.size ? lf + 1 : b.size;
    if (l.end > l.at && b[l.end - 1] == '\r') --l.end;
    return true;
}

bool Starts(Bytes b, const Line& l, std::string_view word) noexcept {
    return l.end - l.at >= word.size() && b.matches(l.at, word);
}

// Up to N decimal numbers from `at` to the line's end, separated by commas
// or spaces; how many were read.
template <size_t N>
size_t Numbers(Bytes b, uint32_t at, uint32_t end, std::array<uint64_t, N>& out) noexcept {
    size_t n = 0;
    uint32_t i = at;
    while (n < N) {
        while (i < end && (b[i] == ' ' || b[i] == ',')) ++i;
        if (i >= end || b[i] < '0' || b[i] > '9') break;
        uint64_t v = 0;
        for (; i < end && b[i] >= '0' && b[i] <= '9'; ++i) v = std::min(v * 10 + (b[i] - '0'), kMaxNumber);
        out[n++] = v;
    }
    return n;
}

// Printable text of a command line: no control bytes but tab.
bool TextLine(Bytes b, const Line& l) noexcept {
    for (uint32_t i = l.at; i < l.end; ++i) {
        if (b[i] < 0x20 && b[i] != '\t') return false;
    }
    return true;
}

struct Labels {
    uint32_t labels = 0;   // print commands
    uint32_t common = 0;   // their common copy count, 0 when they differ
    uint64_t printed = 0;  // labels times copies
    bool cut = false;      // the data ends inside data or an open label
    bool known = false;    // a command only this language has was seen
    double width = 0, length = 0;
    void Print(uint64_t sets, uint64_t copies) noexcept {
        if (sets == 0) return;
        common = labels == 0 || common == copies ? static_cast<uint32_t>(copies) : 0;
        labels += static_cast<uint32_t>(std::min<uint64_t>(sets, kMaxNumber));
        printed += sets * copies;
    }
};

enum class Walked { Ok, Bad };

// EPL2 page mode. Lines must be commands (a letter, then parameters) of
// printable text; GW's rows are stepped over.
Walked WalkEpl(Bytes b, Labels& out, uint32_t limit) noexcept {
    Line l;
    bool buffer = false;  // something placed since the last print
    uint32_t at = 0, lines = 0;
    for (; lines < limit && ReadLine(b, at, l); ++lines) {
        at = l.next;
        if (l.end == l.at) continue;
        const uint8_t c = b[l.at];
        if ((c < 'A' || c > 'Z') && (c < 'a' || c > 'z')) return Walked::Bad;
        if (Starts(b, l, "GW")) {
            if (b.find(l.at, '\n') >= b.size) {
                out.cut = true;  // cut in the command line
                return Walked::Ok;
            }
            std::array<uint64_t, 4> p{};
            if (Numbers(b, l.at + 2, l.end, p) != 4) return Walked::Bad;
            out.known = true;
            // The rows start right after the command line's LF.
            const uint64_t data = p[2] * p[3];
            if (uint64_t{l.next} + data > b.size) {
                out.cut = true;
                return Walked::Ok;
            }
            at = static_cast<uint32_t>(l.next + data);
            buffer = true;
            continue;
        }
        if (!TextLine(b, l)) return Walked::Bad;
        if (c == 'N' && l.end - l.at == 1) {
            buffer = false;
        } else if (c == 'P' && l.end - l.at > 1 && b[l.at + 1] >= '0' && b[l.at + 1] <= '9') {
            std::array<uint64_t, 2> p{1, 1};
            Numbers(b, l.at + 1, l.end, p);
            out.Print(p[0], std::max<uint64_t>(p[1], 1));
            out.known = true;
            buffer = false;
        } else if (c == 'q' && l.end - l.at > 1 && b[l.at + 1] >= '0' && b[l.at + 1] <= '9') {
            out.known = true;  // label width
        } else if (c == 'A' || c == 'B' || Starts(b, l, "LO") || Starts(b, l, "LE") || Starts(b, l, "LW") ||
                   Starts(b, l, "X")) {
            buffer = true;
        }
    }
    out.cut = out.cut || buffer;
    return Walked::Ok;
}

// CPCL: labels open with "!", hold command lines, and print at PRINT.
Walked WalkCpcl(Bytes b, Labels& out, uint32_t limit) noexcept {
    Line l;
    bool open = false;
    uint64_t quantity = 1;
    uint32_t at = 0, lines = 0;
    double hres = 0, vres = 0;
    for (; lines < limit && ReadLine(b, at, l); ++lines) {
        at = l.next;
        if (l.end == l.at) continue;
        if (b[l.at] == '!') {
            std::array<uint64_t, 5> p{};
            if (Numbers(b, l.at + 1, l.end, p) != 5 || p[1] == 0 || p[2] == 0) return Walked::Bad;
            open = true;
            hres = double(p[1]);
            vres = double(p[2]);
            quantity = std::max<uint64_t>(p[4], 1);
            out.length = std::round(double(p[3]) / vres * 100) / 100;
            out.known = true;
            continue;
        }
        if (!open) return Walked::Bad;
        if (Starts(b, l, "CG ") || Starts(b, l, "EG ") || Starts(b, l, "COMPRESSED-GRAPHICS ") ||
            Starts(b, l, "EXPANDED-GRAPHICS ")) {
            const bool hex = b[l.at] == 'E';
            const uint32_t from = b.find(l.at, ' ');
            std::array<uint64_t, 4> p{};
            // The command and its four numbers, then the data on the same line.
            uint32_t i = from;
            size_t n = 0;
            while (n < 4) {
                while (i < b.size && b[i] == ' ') ++i;
                if (i >= b.size || b[i] < '0' || b[i] > '9') break;
                uint64_t v = 0;
                for (; i < b.size && b[i] >= '0' && b[i] <= '9'; ++i) v = std::min(v * 10 + (b[i] - '0'), kMaxNumber);
                p[n++] = v;
            }
            if (i >= b.size) {
                out.cut = true;
                return Walked::Ok;
            }
            if (n != 4 || b[i] != ' ') return Walked::Bad;
            const uint64_t data = p[0] * p[1] * (hex ? 2 : 1);
            if (uint64_t{i} + 1 + data > b.size) {
                out.cut = true;
                return Walked::Ok;
            }
            at = static_cast<uint32_t>(i + 1 + data);
            continue;
        }
        if (!TextLine(b, l)) return Walked::Bad;
        if (Starts(b, l, "PAGE-WIDTH ") || Starts(b, l, "PW ")) {
            std::array<uint64_t, 1> p{};
            if (Numbers(b, b.find(l.at, ' '), l.end, p) == 1 && hres > 0)
                out.width = std::round(double(p[0]) / hres * 100) / 100;
        } else if (Starts(b, l, "PRINT")) {
            out.Print(1, quantity);
            open = false;
        }
    }
    out.cut = out.cut || open;
    return Walked::Ok;
}

// Where each starts: EPL2's "N" (the filter writes an empty line first), CPCL's "!".
uint32_t SkipLineEnds(Bytes b) noexcept {
    uint32_t i = 0;
    while (i < b.size && (b[i] == '\r' || b[i] == '\n')) ++i;
    return i;
}
bool StartsEpl(Bytes b) noexcept {
    const uint32_t i = SkipLineEnds(b);
    return b.matches(i, "N\n") || b.matches(i, "N\r\n");
}
bool StartsCpcl(Bytes b) noexcept { return b.matches(SkipLineEnds(b), "! "); }

Bytes After(Bytes b, uint32_t i) noexcept { return Bytes(b.data + i, b.left(i)); }

template <Walked (*WalkFn)(Bytes, Labels&, uint32_t), bool (*StartsFn)(Bytes)>
int BidLines(const BidInput& in, std::string_view name) noexcept {
    const Bytes body = Body(in);
    if (!StartsFn(body)) return kNoBid;
    Labels l;
    if (WalkFn(After(body, SkipLineEnds(body)), l, kBidLines) != Walked::Ok) return kNoBid;
    // Structure: a command only this language has, past the first line.
    if (l.known && body.find(SkipLineEnds(body), '\n') + 1 < body.size) return Parsed(Declares(in, name));
    return WholeJob(in) ? kNoBid : kBidWeak;
}

template <Walked (*WalkFn)(Bytes, Labels&, uint32_t), bool (*StartsFn)(Bytes)>
int32_t CountLines(Bytes job, Result& out) {
    const Bytes b = LabelBody(job);
    if (!StartsFn(b)) return QM_E_NOT_UNDERSTOOD;
    Labels l;
    if (WalkFn(After(b, SkipLineEnds(b)), l, UINT32_MAX) != Walked::Ok || l.labels == 0) return QM_E_NOT_UNDERSTOOD;
    RecordLabels(out, l.labels, l.common, l.printed);
    out.rec.paperWidth = l.width;
    out.rec.paperLength = l.length;
    out.estimated = l.cut;
    return QM_OK;
}

}  // namespace

int BidEPL(const BidInput& in) noexcept { return BidLines<WalkEpl, StartsEpl>(in, "EPL"); }
int BidCPCL(const BidInput& in) noexcept { return BidLines<WalkCpcl, StartsCpcl>(in, "CPCL"); }

int32_t AccurateEPL(Bytes job, Result& out) { return CountLines<WalkEpl, StartsEpl>(job, out); }
int32_t AccurateCPCL(Bytes job, Result& out) { return CountLines<WalkCpcl, StartsCpcl>(job, out); }

}  // namespace qm::accurate
