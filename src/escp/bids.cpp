// Detection bids of this family's languages: how sure a bounded look at the
// job's first bytes (after its PJL or EJL wrapper) is that the job is of the
// language.
//
// Epson ESC/P2 and Canon Bubble Jet jobs share the ESC/P command set, and
// both may open with ESC @. They are told apart by ESC [ K, the Bubble Jet's
// set-initial-condition command, which no Epson printer knows: a job that
// holds it among its first commands is Canon's, a job whose first commands
// are all ESC/P is Epson's. Older Bubble Jets also take the IBM
// Proprinter's ESC d (a relative move with two parameter bytes), which is
// read in Canon jobs only. Both walks step over every command's parameters
// and image data by the lengths the command gives, so data bytes are never
// taken for commands, and only text and the printer's control codes may
// stand between commands.
#include "accurate/accurate.h"

namespace qm::accurate {
namespace {

constexpr uint8_t kEsc = 0x1B;

// Parameter bytes of the ESC/P commands with a fixed count: 0 for those
// without parameters, -1 for codes that are no ESC/P command or whose
// length is not fixed.
constexpr int FixedParameters(int c) noexcept {
    switch (c) {
        case 'O': case '0': case '2': case 'P': case 'M': case 'g': case 'E': case 'F': case '4': case '5':
        case 'G': case 'H': case 'T': case 0x0F: case 0x0E: case '6': case '7': case '<': case '@': case '#':
        case '=': case '>': case '8': case '9':
            return 0;
        case 'C': case 'N': case 'Q': case 'I': case 'l': case 'J': case '3': case '+': case 'A': case 't':
        case 'R': case '%': case 'x': case 'k': case 'p': case ' ': case '!': case '-': case 'S': case 'q':
        case 'W': case 'w': case 0x19: case 'U': case 'r': case 'a': case 'j':
            return 1;
        case '$': case '\\': case 'c': case '?':
            return 2;
        case ':': case 'X':
            return 3;
        default:
            return -1;
    }
}

// Bytes a run-length compressed block takes to give `needed` bytes of
// image data: a counter byte b of at most 127 is followed by b + 1 literal
// bytes, a larger one by one byte repeated 257 - b times.
uint32_t CompressedEnd(Bytes b, uint32_t i, uint64_t needed) noexcept {
    while (needed > 0 && b.has(i)) {
        const int run = b[i];
        if (run <= 127) {
            i = SkipBy(b, i, 2u + run);
            needed -= needed < uint64_t(run) + 1 ? needed : uint64_t(run) + 1;
        } else {
            i = SkipBy(b, i, 2);
            needed -= needed < uint64_t(257 - run) ? needed : uint64_t(257 - run);
        }
    }
    return i;
}

// Bytes per column of the bit-image densities of ESC *.
constexpr int BitImageBytes(int m) noexcept {
    switch (m) {
        case 0: case 1: case 2: case 3: case 4: case 6: return 1;
        case 32: case 33: case 38: case 39: case 40: return 3;
        case 64: case 65: case 70: case 71: case 72: case 73: return 6;
        default: return 0;
    }
}

bool IsTextByte(int c) noexcept {
    return c >= 0x20 || c == '\r' || c == '\n' || c == '\f' || c == '\t' || c == 0x0B || c == '\b' || c == 0x0E ||
           c == 0x0F || c == 0x12 || c == 0x14 || c == 0x18 || c == 0x11 || c == 0x13 || c == 0x07 || c == 0x00;
}

// The remote-mode block of ESC ( R: two-letter commands with a 16-bit
// little-endian length, up to ESC 0 0 0.
uint32_t RemoteEnd(Bytes b, uint32_t i) noexcept {
    for (int n = 0; n < 256 && b.has(i, 4); ++n) {
        if (b.matches(i, std::string_view("\x1b\0\0\0", 4))) return i + 4;
        if (b[i] < 'A' || b[i] > 'Z' || b[i + 1] < 'A' || b[i + 1] > 'Z') return 0;
        i = SkipBy(b, i, 4u + b.le16(i + 2));
    }
    return b.has(i, 4) ? 0 : b.size;
}

enum class Dialect { Epson, Canon };

// The group byte of a parameterised command (ESC * r ...): lower case.
constexpr bool IsParameterised(int group) noexcept { return group >= 0x60 && group <= 0x7E; }

// One command at i (an ESC). Returns the index after it and its data, or 0
// when no command of the dialect stands there.
uint32_t Command(Bytes b, uint32_t i, Dialect dialect) noexcept {
    const int c = b.at(i + 1);
    if (c == '(' || (c == '[' && dialect == Dialect::Canon)) {
        if (!b.has(i + 2, 3)) return b.size;
        const int letter = b[i + 2];
        if (!((letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z') || letter == '\\' || letter == '^' ||
              letter == '-' || letter == '$')) {
            return 0;
        }
        const uint32_t end = SkipBy(b, i + 5, b.le16(i + 3));
        if (c == '(' && letter == 'R' && dialect == Dialect::Epson) return end < b.size ? RemoteEnd(b, end) : end;
        return end;
    }
    if (c == '.') {  // ESC . c v h m w: raster rows
        if (!b.has(i, 8)) return b.size;
        const uint64_t needed = uint64_t((b.le16(i + 6) + 7u) / 8u) * b[i + 5];
        return b[i + 2] == 0 ? SkipBy(b, i + 8, needed) : CompressedEnd(b, i + 8, needed);
    }
    if (c == 'i' && dialect == Dialect::Epson) {  // ESC i r c b w k: colour raster rows
        if (!b.has(i, 9)) return b.size;
        const uint32_t bits = b[i + 4];
        if (bits == 0) return 0;
        const uint64_t dots = uint64_t(b.le16(i + 5)) * 8u / bits;
        const uint64_t needed = (dots * bits + 7u) / 8u * b.le16(i + 7);
        return b[i + 3] == 0 ? SkipBy(b, i + 9, needed) : CompressedEnd(b, i + 9, needed);
    }
    if (c == '*' && dialect == Dialect::Epson && IsParameterised(b.at(i + 2))) {
        // ESC * r b C: a parameterised command up to its capital letter.
        for (uint32_t k = i + 3; k < i + 35 && b.has(k); ++k)
            if (b[k] >= 0x40 && b[k] <= 0x5E) return k + 1;
        return b.has(i + 35) ? 0 : b.size;
    }
    if (c == '|' && dialect == Dialect::Epson) {  // ESC | J n n moves the paper; ESC | B c n n sends a band
        if (b.at(i + 2) == 'J') return i + 5;
        if (b.at(i + 2) != 'B') return 0;
        if (!b.has(i, 6)) return b.size;
        return SkipBy(b, i + 6, b.le16(i + 4));
    }
    if (c == '*') {  // ESC * m w: bit image
        if (!b.has(i, 5)) return b.size;
        const int per = BitImageBytes(b[i + 2]);
        if (per == 0) return 0;
        return SkipBy(b, i + 5, uint64_t(b.le16(i + 3)) * per);
    }
    if (c == 'K' || c == 'L' || c == 'Y' || c == 'Z') {
        if (!b.has(i, 4)) return b.size;
        return SkipBy(b, i + 4, b.le16(i + 2));
    }
    if (c == 'D' || c == 'B') {  // tab stops, up to a NUL
        const uint32_t nul = b.find(i + 2, 0x00);
        return nul < b.size ? nul + 1 : b.size;
    }
    if (c == 'd' && dialect == Dialect::Canon) return i + 4;
    if (c == '{' && dialect == Dialect::Epson) {  // ESC { A: an Oki printer's switch to its Epson emulation
        if (!b.has(i + 2)) return b.size;
        return b[i + 2] == 'A' ? i + 3 : 0;
    }
    const int fixed = FixedParameters(c);
    return fixed < 0 ? 0 : i + 2 + static_cast<uint32_t>(fixed);
}

// Walks the commands from i until `enough` of them, image data among them
// (within a few dozen commands), have been read. Returns the number read, or
// -1 when a byte that is neither a command of the dialect nor text stands
// among them.
int Walk(Bytes b, uint32_t i, Dialect dialect, int enough, bool& graphics) noexcept {
    int n = 0;
    while ((n < enough || (!graphics && n < 4 * enough)) && i < b.size) {
        if (b[i] != kEsc) {
            if (!IsTextByte(b[i])) return -1;
            ++i;
            continue;
        }
        const int c = b.at(i + 1);
        if (c == '[' && dialect == Dialect::Epson) return -1;
        const uint32_t next = Command(b, i, dialect);
        if (next == 0) return -1;
        // ESC * r b C and the like are PCL's raster commands, which a driver
        // for these printers may send first; PCL printers take them too, so
        // they say nothing for ESC/P.
        const bool pclStyle = c == '*' && dialect == Dialect::Epson && IsParameterised(b.at(i + 2));
        i = next;
        // Nor does a command the bytes end in: its data cannot be checked.
        if (pclStyle || next >= b.size) continue;
        graphics = graphics || c == '.' || c == 'i' || c == '*' || c == 'K' || c == 'L' || c == 'Y' || c == 'Z' ||
                   c == '(' || c == '[' || c == '|';
        ++n;
    }
    return n;
}

constexpr int kCommands = 8;

}  // namespace

int BidESCP2(const BidInput& in) noexcept {
    const Bytes b = Body(in);
    if (b.at(0) != kEsc) return kNoBid;
    bool graphics = false;
    const int n = Walk(b, 0, Dialect::Epson, kCommands, graphics);
    const bool enough = n >= kCommands || (n >= 2 && WholeJob(in));
    const bool declared = Declares(in, "ESC/P2") || Declares(in, "ESCP2") || Declares(in, "ESC/P-R");
    return enough && graphics ? Parsed(declared) : kNoBid;
}

// The Bubble Jets that take 8-bit control sequences: ESC % @ selects them,
// then device control strings (DCS ... ST) and control sequences (CSI,
// parameters, intermediates, a final byte) follow, an image sequence
// (CSI n . r) with its n bytes of data. Returns how many parsed, or -1 when a
// byte that is none of these stands among them.
int ControlSequences(Bytes b, uint32_t i, int enough) noexcept {
    constexpr uint8_t kCsi = 0x9B, kDcs = 0x90, kSt = 0x9C;
    int n = 0;
    while (n < enough && i < b.size) {
        const uint8_t c = b[i];
        if (c == '\r' || c == '\n' || c == '\f') {
            ++i;
        } else if (c == kDcs) {
            const uint32_t st = b.find(i + 1, kSt);
            if (st >= b.size) return b.size - i > 1024 ? -1 : n;
            i = st + 1;
            ++n;
        } else if (c == kEsc) {  // a 7-bit escape sequence: ESC and one final byte
            const int f = b.at(i + 1);
            if (f < 0x30 || f > 0x7E || f == '[') return -1;
            i += 2;
            ++n;
        } else if (c == kCsi) {
            uint32_t k = i + 1;
            uint64_t first = 0;
            bool inFirst = true;
            while (b.at(k) >= 0x30 && b.at(k) <= 0x3F) {
                if (b[k] == ';') inFirst = false;
                else if (inFirst && b[k] <= '9' && first < 100000000u) first = first * 10 + (b[k] - '0');
                ++k;
            }
            int intermediate = 0;
            while (b.at(k) >= 0x20 && b.at(k) <= 0x2F) intermediate = b[k++];
            if (!b.has(k)) return n;
            if (b[k] < 0x40 || b[k] > 0x7E) return -1;
            i = intermediate == '.' && b[k] == 'r' ? SkipBy(b, k + 1, first) : k + 1;
            ++n;
        } else {
            return -1;
        }
    }
    return n;
}

int BidCANON(const BidInput& in) noexcept {
    const Bytes b = Body(in);
    if (b.matches(0, "\x1b%@")) {
        const int n = ControlSequences(b, 3, kCommands);
        return n >= kCommands || (n >= 2 && WholeJob(in)) ? Parsed(Declares(in, "BJ") || Declares(in, "CANON"))
                                                           : kNoBid;
    }
    // ESC @ may come first; ESC [ K with its count follows.
    const uint32_t start = b.matches(0, "\x1b@") ? 2 : 0;
    if (!b.matches(start, "\x1b[K") || !b.has(start, 5)) return kNoBid;
    const uint32_t count = b.le16(start + 3);
    if (count < 2 || count > 16) return kNoBid;
    bool graphics = false;
    const uint32_t after = start + 5 + count;
    const int n = Walk(b, after, Dialect::Canon, kCommands, graphics);
    const bool enough = n >= kCommands || (n >= 1 && WholeJob(in));
    return enough ? Parsed(Declares(in, "BJ") || Declares(in, "CANON")) : kNoBid;
}

}  // namespace qm::accurate
