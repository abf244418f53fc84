// Detection bids of this family's languages: how sure a bounded look at the
// job's first bytes (after its PJL or EJL wrapper) is that the job is of the
// language. Each bid checks the stream's signature and then walks its first
// records by their own lengths: a bid is given only when each record starts
// where the one before it said it would end.
//
// Streams that share a first byte are told apart by their length chains:
// HP PPA and HP LIDIL both open packets with "$", but a PPA length counts
// the payload after a channel byte and a LIDIL length counts the whole
// packet, so one job's chain breaks under the other reading. A job whose
// chain holds under both readings is left unknown (a tie).
#include <algorithm>
#include <array>

#include "accurate/accurate.h"
#include "hostbased/hostbased_accurate.h"

namespace qm::accurate {
namespace {

constexpr uint8_t kEsc = 0x1B;

// Records a walk must see before the language is believed. A job the head
// holds whole may have fewer, as long as its last record ends the job.
constexpr int kRecords = 3;

bool Enough(const BidInput& in, int records, bool endsJob) noexcept {
    return records >= kRecords || (records >= 1 && endsJob && WholeJob(in));
}

// Moves a walk to `next`, the end of a record its length gives. A record
// that runs past the end of a job the head holds whole is not one; past the
// head of a longer job, the walk ends there (at the end of the body).
bool Advance(const BidInput& in, Bytes b, uint64_t next, uint32_t& off) noexcept {
    if (next > b.size && WholeJob(in)) return false;
    off = next >= b.size ? b.size : static_cast<uint32_t>(next);
    return true;
}

// ZjStream and Tally: a file signature, then chunks of a 16-byte big-endian
// header (size, type, item count, a reserved 16-bit word and the 16-bit
// signature) that each end where the next begins. The reserved word is not
// always 0: foo2zjs writes the length of the chunk's items there for its -z1
// and later models (the HP LaserJet 1018/1020).
bool ChunkChain(const BidInput& in, bool (*signature)(Bytes), uint16_t chunkSignature) noexcept {
    const Bytes b = Body(in);
    if (!signature(b)) return false;
    uint32_t off = 4;
    int n = 0;
    while (n < kRecords && b.has(off, 16)) {
        const uint32_t size = b.be32(off);
        if (b.be16(off + 14) != chunkSignature || size < 16 || !Advance(in, b, uint64_t{off} + size, off)) return false;
        ++n;
    }
    return Enough(in, n, off == b.size);
}

bool IsZjsSignature(Bytes b) noexcept { return b.matches(0, "JZJZ"); }
bool IsTallySignature(Bytes b) noexcept {
    return b.matches(0, "\xA5SL") && (b.at(3) == '2' || b.at(3) == 'X');
}

// The mark that opens every ZIMF record.
constexpr uint8_t kZimfMark[] = {0xCD, 0x9A, 0xA9, 0xDC};

// CAPT paper codes of a page record.
constexpr std::array<uint8_t, 9> kCaptPaper{1, 5, 7, 9, 13, 20, 27, 28, 37};
// Brother NCM paper codes of a page header.
constexpr std::array<uint8_t, 9> kNcmPaper{0, 1, 2, 3, 6, 10, 12, 13, 19};

template <size_t N>
bool In(const std::array<uint8_t, N>& codes, int v) noexcept {
    for (uint8_t c : codes) {
        if (c == v) return true;
    }
    return false;
}

// Fuji photo records have no length field: the print-size code and mode
// name a row of known image lengths. The rows that hold one.
bool FujiRowKnown(int sizeCode, int mode) noexcept {
    if (mode == 1) return sizeCode == 1 || (sizeCode >= 7 && sizeCode <= 10) || sizeCode >= 15;
    if (mode == 0) return (sizeCode >= 7 && sizeCode <= 10) || sizeCode == 15 || sizeCode == 16;
    return false;
}

bool IsDigit(int c) noexcept { return c >= '0' && c <= '9'; }

// Index one past a run of decimal digits at i (i itself when there is none).
uint32_t SkipDigits(Bytes b, uint32_t i) noexcept {
    while (IsDigit(b.at(i))) ++i;
    return i;
}

// A decimal number at i: its value (capped), and whether any digit stood there.
bool Decimal(Bytes b, uint32_t i, uint32_t& value) noexcept {
    value = 0;
    const uint32_t end = SkipDigits(b, i);
    for (uint32_t k = i; k < end && value < 1000000u; ++k) value = value * 10 + static_cast<uint32_t>(b[k] - '0');
    return end > i;
}

}  // namespace

int BidZIMF(const BidInput& in) noexcept {
    const Bytes b = Body(in);
    if (!b.matches(0, "ZIMF")) return kNoBid;
    uint32_t off = 4;
    int n = 0;
    while (n < kRecords && b.has(off, 20)) {
        const uint32_t size = b.le32(off + 4);
        if (!b.matches(off, kZimfMark, 4) || size < 20 || !Advance(in, b, uint64_t{off} + size, off)) return kNoBid;
        ++n;
    }
    return Enough(in, n, off == b.size) ? Parsed(false) : kNoBid;
}

// Lexmark's inkjets without a job header take 8-byte commands: ESC, a code,
// five parameters and a checksum (the low byte of the sum of code and
// parameters); only the reset that opens a page, ESC "*" 0x80 and zeros,
// carries none. A swath's data ("C") follows its command, its length in
// the 24-bit big-endian number after the code. True when the first
// commands chain so, enough of them with a checksum that holds.
bool LexmarkCheckedCommands(const BidInput& in, Bytes b) noexcept {
    constexpr uint32_t kCommand = 8;
    constexpr uint8_t kReset[kCommand] = {kEsc, '*', 0x80, 0, 0, 0, 0, 0};
    uint32_t off = 0;
    int checked = 0;
    while (checked < kRecords + 1 && b.has(off, kCommand)) {
        if (b[off] != kEsc) return false;
        if (!b.matches(off, kReset, kCommand)) {
            const int code = b[off + 1];
            uint32_t sum = 0;
            for (uint32_t k = 1; k < kCommand - 1; ++k) sum += b[off + k];
            if (code < 0x20 || code > 0x7E || (sum & 0xFF) != b[off + kCommand - 1]) return false;
            ++checked;
        }
        const uint64_t data = b[off + 1] == 'C' ? b.be24(off + 2) : 0;
        if (!Advance(in, b, uint64_t{off} + kCommand + data, off)) return false;
    }
    return checked >= kRecords + 1 || (checked >= 1 && off == b.size && WholeJob(in));
}

// Lexmark's host-based streams with a job header come in two shapes: one
// opens with a chain of 0xA5 packets (0xA5, a 16-bit big-endian length, the
// payload), the other with ESC "*" commands, of which a swath (code 4)
// carries its length and the others a few parameter bytes.
int BidLexmark(const BidInput& in) noexcept {
    const Bytes b = Body(in);
    if (LexmarkCheckedCommands(in, b)) return Parsed(false);
    if (OpensLexmarkEscape(b)) {
        // The c2050 driver's and Gutenprint's streams: each command's length
        // is its code's, or the one it states; a swath among the first
        // (paper moves for a blank top may come before it).
        uint32_t off = 0;
        int n = 0;
        bool swath = false;
        while (n < 16 && !swath && b.has(off, 3)) {
            const LexmarkEscape c = LexmarkEscapeCommand(b, off);
            if (c.length == 0 || !Advance(in, b, uint64_t{off} + c.length, off)) return kNoBid;
            swath = swath || c.kind == LexmarkEscape::BlackSwath || c.kind == LexmarkEscape::ColourSwath;
            ++n;
        }
        return (swath && n >= kRecords) || (n >= 1 && off == b.size && WholeJob(in)) ? Parsed(false) : kNoBid;
    }
    if (b.at(0) == 0xA5) {
        uint32_t off = 0;
        int n = 0;
        while (n < kRecords && b.has(off, 3) && b[off] == 0xA5) {
            const uint32_t len = b.be16(off + 1);
            if (len == 0 || !Advance(in, b, uint64_t{off} + 3 + len, off)) return kNoBid;
            ++n;
        }
        // After the packets come the ESC "*" commands of the pages.
        const bool next = off == b.size || b.at(off) == 0xA5 || (b.at(off) == kEsc && b.at(off + 1) == '*');
        return next && Enough(in, n, off == b.size) ? Parsed(false) : kNoBid;
    }
    if (!b.matches(0, "\x1b*m")) return kNoBid;
    uint32_t off = 0;
    int commands = 0;
    bool swath = false;
    while (commands < 8 && b.has(off, 3)) {
        if (b[off] != kEsc || b[off + 1] != '*') return kNoBid;
        ++commands;
        if (b[off + 2] == 0x04) {
            // A swath: its length, counted from the ESC, is the 32-bit
            // big-endian number after the code.
            if (!b.has(off, 7)) break;
            const uint32_t len = b.be32(off + 3);
            if (len < 8 || !Advance(in, b, uint64_t{off} + len, off)) return kNoBid;
            swath = true;
            continue;
        }
        // Parameters of the other commands: the next command follows within
        // a few bytes.
        uint32_t next = off + 3;
        while (next < off + 12 && b.has(next, 2) && !(b[next] == kEsc && b[next + 1] == '*')) ++next;
        if (!b.has(next, 2)) {
            off = b.size;
            break;
        }
        if (next == off + 12) return kNoBid;
        off = next;
    }
    return commands >= 4 && (swath || off == b.size) ? Parsed(false) : kNoBid;
}

// Brother HBP: "@" and a letter; "@G" carries a 24-bit big-endian length and
// its data, "@L" one parameter byte, the others (page end "@F" and the like)
// none.
int BidHBP(const BidInput& in) noexcept {
    const Bytes b = Body(in);
    uint32_t off = 0;
    int n = 0;
    bool data = false;
    while (n < 8 && b.has(off, 2)) {
        const int letter = b[off + 1];
        if (b[off] != '@' || letter < 'A' || letter > 'Z') return kNoBid;
        if (letter == 'G') {
            if (!b.has(off, 5)) break;
            if (!Advance(in, b, uint64_t{off} + 5 + b.be24(off + 2), off)) return kNoBid;
            data = true;
        } else {
            if (!Advance(in, b, uint64_t{off} + (letter == 'L' ? 3 : 2), off)) return kNoBid;
        }
        ++n;
    }
    if (!data) return kNoBid;
    return Enough(in, n, off >= b.size) ? Parsed(Declares(in, "HBP")) : kNoBid;
}

// TCPL: ESC and a command letter, each command followed directly by the
// next. "P" carries page data: three digit fields and a byte count, each
// ended by one delimiter, then the data.
int BidTCPL(const BidInput& in) noexcept {
    const Bytes b = Body(in);
    uint32_t i = 0;
    int n = 0;
    bool page = false;
    while (n < 6 && b.has(i, 2)) {
        if (b[i] != kEsc) return kNoBid;
        switch (b[i + 1]) {
            case 'B':
            case 'T':
                if (!Advance(in, b, uint64_t{i} + 3, i)) return kNoBid;
                break;
            case 'U':
                i += 2;
                page = true;
                break;
            case 'E': {
                const uint32_t end = SkipDigits(b, i + 2);
                if (end == i + 2) return kNoBid;
                i = end + 1;
                break;
            }
            case 'P': {
                uint32_t k = i + 6;
                for (int field = 0; field < 3; ++field) k = SkipDigits(b, k) + 1;
                uint32_t count = 0;
                if (!Decimal(b, k, count)) return kNoBid;
                k = SkipDigits(b, k) + 1;
                if (!Advance(in, b, uint64_t{k} + count, i)) return kNoBid;
                page = true;
                break;
            }
            default: return kNoBid;
        }
        ++n;
    }
    if (!page) return kNoBid;
    return Enough(in, n, i == b.size) ? Parsed(false) : kNoBid;
}

// HP PPA: "$", a channel byte 0 or 1, a 16-bit big-endian payload length.
int BidPPA(const BidInput& in) noexcept {
    const Bytes b = Body(in);
    uint32_t off = 0;
    int n = 0;
    while (n < kRecords && b.has(off, 4)) {
        if (b[off] != '$' || b[off + 1] > 1 || !Advance(in, b, uint64_t{off} + 4 + b.be16(off + 2), off)) return kNoBid;
        ++n;
    }
    return Enough(in, n, off == b.size) ? Parsed(false) : kNoBid;
}

// Oki's host-based stream: ESC "&" "A" job settings (12 bytes), ESC "*" "A"
// raster with a 16-bit little-endian length, ESC "*" "B" (4 bytes), ESC "$"
// "B" page end (3 bytes), each followed directly by the next.
int BidOKI(const BidInput& in) noexcept {
    const Bytes b = Body(in);
    uint32_t i = 0;
    int n = 0;
    while (n < kRecords + 1 && b.has(i, 3)) {
        if (b[i] != kEsc) return kNoBid;
        const int c = b[i + 1], d = b[i + 2];
        if (n == 0 && !((c == '&' || c == '*') && d == 'A')) return kNoBid;
        if (c == '&' && d == 'A') {
            if (!Advance(in, b, uint64_t{i} + 12, i)) return kNoBid;
        } else if (c == '*' && d == 'A') {
            if (!b.has(i, 6)) break;
            if (!Advance(in, b, uint64_t{i} + 6 + b.le16(i + 4), i)) return kNoBid;
        } else if (c == '*' && d == 'B') {
            if (!Advance(in, b, uint64_t{i} + 4, i)) return kNoBid;
        } else if (c == '$' && d == 'B') {
            i += 3;
        } else {
            return kNoBid;
        }
        ++n;
    }
    return Enough(in, n, i >= b.size) ? Parsed(false) : kNoBid;
}

int BidZJSTREAM(const BidInput& in) noexcept {
    return ChunkChain(in, &IsZjsSignature, 0x5A5A) ? Parsed(Declares(in, "ZJS")) : kNoBid;
}

int BidTALLYSTREAM(const BidInput& in) noexcept {
    return ChunkChain(in, &IsTallySignature, 0xA5A5) ? Parsed(false) : kNoBid;
}

// OAKT: "OAKT" records with a 32-bit little-endian length and type; a
// type-60 record is followed by a data block of the length at its offset 32.
int BidOAKT(const BidInput& in) noexcept {
    const Bytes b = Body(in);
    uint32_t off = 0;
    int n = 0;
    while (n < kRecords && b.has(off, 16)) {
        if (!b.matches(off, "OAKT")) return kNoBid;
        const uint32_t len = b.le32(off + 4);
        if (len < 16) return kNoBid;
        uint64_t step = len;
        if (b.le32(off + 8) == 60) {
            if (!b.has(off, 36)) break;
            step += b.le32(off + 32);
        }
        if (!Advance(in, b, off + step, off)) return kNoBid;
        ++n;
    }
    return Enough(in, n, off == b.size) ? Parsed(false) : kNoBid;
}

// Panasonic: ESC, a 16-bit little-endian length of 1 to 3, a command letter
// and its parameter bytes.
int BidPANASONIC(const BidInput& in) noexcept {
    const Bytes b = Body(in);
    uint32_t i = 0;
    int n = 0;
    bool known = false;
    while (n < 6 && b.has(i, 4)) {
        const uint32_t len = b.le16(i + 1);
        const int letter = b[i + 3];
        if (b[i] != kEsc || len < 1 || len > 3 || !((letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z'))) {
            return kNoBid;
        }
        known = known || letter == 'p' || letter == 'k' || letter == 'u' || letter == 'o' || letter == 'O';
        if (!Advance(in, b, uint64_t{i} + 3 + len, i)) return kNoBid;
        ++n;
    }
    return known && Enough(in, n, i >= b.size) ? Parsed(false) : kNoBid;
}

// Canon UFR: the job opens with ESC commands ("+" skips, "[" commands); a
// start-of-page command ESC "[" "sop" carries the page length and width as
// decimal texts at its offsets 14 and 27, in 1/600 inch.
int BidCanonUFR(const BidInput& in) noexcept {
    const Bytes b = Body(in);
    if (b.at(0) != kEsc || (b.at(1) != '+' && b.at(1) != '[')) return kNoBid;
    const uint32_t window = std::min<uint32_t>(b.size, 1024);
    for (uint32_t i = b.find(0, kEsc); i < window; i = b.find(i + 1, kEsc)) {
        if (!b.matches(i + 1, "[sop")) continue;
        uint32_t length = 0, width = 0;
        if (!Decimal(b, i + 14, length) || !Decimal(b, i + 27, width)) return kNoBid;
        const bool paper = length >= 1000 && length <= 30000 && width >= 1000 && width <= 30000;
        return paper ? Parsed(Declares(in, "UFR") || Declares(in, "UFR2")) : kNoBid;
    }
    return kNoBid;
}

// HIPERC follows its PJL header with a page record: 0x00 0x00 0x00 0x34,
// with the number of planes the page record announces at byte 12: 1, or 4
// for an uncompressed colour page (foo2hiperc at 300 dpi). Byte 13, which
// follows, is the plane: 3 in monochrome jobs, 0 in colour ones.
int BidHIPERC(const BidInput& in) noexcept {
    const Bytes b = Body(in);
    const bool planes = b.at(12) == 0x01 || b.at(12) == 0x04;
    if (!in.pjl || !b.matches(0, std::string_view("\0\0\0\x34", 4)) || !planes) return kNoBid;
    return Parsed(Declares(in, "HIPERC"));
}

// HP LIDIL: "$", a 16-bit big-endian length of the whole packet, the packet
// type at offset 4 and the command at 5; packets of type 7 or command 4 are
// followed by a data block of the length at offset 8.
int BidLIDIL(const BidInput& in) noexcept {
    const Bytes b = Body(in);
    uint32_t off = 0;
    int n = 0;
    while (n < kRecords && b.has(off, 10)) {
        const uint32_t len = b.be16(off + 1);
        if (b[off] != '$' || len < 10) return kNoBid;
        uint64_t step = len;
        if (b[off + 4] == 7 || b[off + 5] == 4) step += b.be16(off + 8);
        if (!Advance(in, b, off + step, off)) return kNoBid;
        ++n;
    }
    return Enough(in, n, off == b.size) ? Parsed(false) : kNoBid;
}

// Canon CAPT: typed records with a 16-bit little-endian length, opening with
// the job settings (type 1); page records (type 2) carry a paper code.
int BidCanonCAPT(const BidInput& in) noexcept {
    const Bytes b = Body(in);
    if (b.at(0) != 1) return kNoBid;
    uint32_t off = 0;
    int n = 0;
    bool page = false;
    while (n < 6 && b.has(off, 4)) {
        const int type = b[off];
        const uint32_t len = b.le16(off + 2);
        if (len < 4 || (type == 1 && len < 10) || (type == 2 && len < 5)) return kNoBid;
        if (type == 2) {
            if (!In(kCaptPaper, b.at(off + 4))) return kNoBid;
            page = true;
        }
        if (!Advance(in, b, uint64_t{off} + len, off)) return kNoBid;
        ++n;
    }
    return page && Enough(in, n, off == b.size) ? Parsed(false) : kNoBid;
}

// Brother NCM: a page header ESC "|" 1 0 6 "R" of 28 bytes whose last byte is
// a paper code.
int BidBrotherNCM(const BidInput& in) noexcept {
    const Bytes b = Body(in);
    if (!b.matches(0, std::string_view("\x1b|\x01\x00\x06R", 6)) || !b.has(0, 28)) return kNoBid;
    return In(kNcmPaper, b[27]) ? Parsed(false) : kNoBid;
}

// Fuji photo: an "INFO" header whose print-size code and mode (bytes 62 and
// 63) name a row of known image lengths. The image that follows is tens of
// megabytes, so the header is all a bounded look can check.
int BidFijiPhoto(const BidInput& in) noexcept {
    const Bytes b = Body(in);
    if (!b.matches(0, "INFO") || !b.has(0, 64) || !FujiRowKnown(b[62], b[63])) return kNoBid;
    return Parsed(false);
}

}  // namespace qm::accurate
