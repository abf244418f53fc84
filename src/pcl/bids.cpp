// Detection bids of this family's languages: how sure a bounded look at the
// job's first bytes (after its PJL or EJL wrapper) is that the job is of the
// language.
//
// PCL, HP-GL/2 and plain text for a PCL printer are all written as PCL
// escape sequences and text, so one reading of the job decides between them:
//   - HP-GL/2: the job enters HP-GL/2 (ESC % # B) before it prints anything
//     in PCL, and the passage sets up a plot: the standalone-plotter entry
//     ESC % -1 B, or Begin Plot (BP) or Plot Size (PS), which only a plotter
//     takes. PCL pages with an HP-GL/2 figure stay PCL, and so do PCL
//     raster jobs that open with a passage which only resets the plotter
//     (IN, BP) and returns to PCL at once. Bare HP-GL/2 (no
//     escape sequence) is HP-GL/2 when its first instructions are well
//     formed, the first of them IN or BP as a plot file begins.
//   - Text for a PCL printer: escape sequences and text only (no raster,
//     font or other binary data in its first pages) with the page-eject sequence
//     ESC & l 0 h 1 that Unix text filters put between pages. Text without
//     escape sequences is plain text, which no printer language claims.
//   - PCL otherwise.
// A few escape sequences must parse before any of the three is believed:
// random bytes that happen to begin with ESC E are not PCL. Two-character
// sequences PCL does not define are passed over as a printer does, but
// count against PCL.
#include <algorithm>

#include "accurate/accurate.h"

namespace qm::accurate {
namespace {

constexpr uint8_t kEsc = 0x1B;
constexpr std::string_view kTextPageEject = "\x1b&l0h1";

bool IsDigit(int c) noexcept { return c >= '0' && c <= '9'; }
bool IsUpper(int c) noexcept { return c >= 'A' && c <= 'Z'; }

// Bytes that stand between escape sequences in a PCL job's first part: text
// (any printable or 8-bit character) and the control codes text uses.
bool IsPclText(int c) noexcept {
    return c >= 0x20 || c == '\r' || c == '\n' || c == '\f' || c == '\t' || c == '\b' || c == 0x0E || c == 0x0F;
}

struct Sequence {
    uint32_t next = 0;       // index after the sequence and any data it carries; 0 when none parses
    int weight = 1;          // how much it says for PCL: -1 for a sequence PCL does not define,
                             // 0 for one a printer abandons, one more for every further row of
                             // data chained in it
    bool data = false;       // it carried binary data (raster, font, pattern, transparent print)
    bool hpgl = false;       // ESC % # B: HP-GL/2 follows
    bool plotter = false;    // ESC % -1 B: the standalone plotter
    bool leavesHpgl = false; // ESC % # A: back to PCL
    bool cut = false;        // the bytes end inside the sequence or its data
};

// The two-character sequences PCL defines. Any other ESC and a character
// from "0" to "~" is a two-character sequence too, which a PCL printer
// passes over (some drivers write one by mistake); it is allowed, but
// counts against the job being PCL, as other languages' commands look so.
bool IsKnownTwoCharacter(int c) noexcept {
    return c == 'E' || c == '9' || c == '=' || c == 'Y' || c == 'Z' || c == 'z';
}

// A raster row that follows a vertical skip (ESC * b # Y) in the same
// breath: some inkjet drivers write the row's planes (# v data ... # w data)
// right behind the skip's upper-case Y, and their printers read them as the
// same sequence.
bool RowFollows(Bytes b, uint32_t k) noexcept {
    const uint32_t digits = k;
    while (IsDigit(b.at(k))) ++k;
    const int p = b.at(k);
    return k > digits && (p == 'v' || p == 'w' || p == 'V' || p == 'W');
}

// One PCL escape sequence at i (an ESC): the two-character ones, or a
// parameterised character, a group character, then value and parameter
// pairs ended by an upper-case parameter (or by the next ESC after a
// lower-case one, which ends a sequence too). Data the sequence announces
// is stepped over.
Sequence ReadSequence(Bytes b, uint32_t i) noexcept {
    Sequence s;
    // Text filters follow their page eject directly with the next page's
    // text, which would otherwise read as more parameters.
    if (b.matches(i, kTextPageEject)) {
        s.next = i + static_cast<uint32_t>(kTextPageEject.size());
        return s;
    }
    const int c = b.at(i + 1);
    if (c >= '0' && c <= '~') {
        s.next = i + 2;
        s.weight = IsKnownTwoCharacter(c) ? 1 : -1;
        return s;
    }
    if (c != '&' && c != '*' && c != '(' && c != ')' && c != '%') return s;
    uint32_t k = i + 2;
    int group = 0;
    // Symbol-set selections (ESC ( 8 U) and ESC % take a value at once.
    if (c != '%' && !((c == '(' || c == ')') && IsDigit(b.at(k)))) {
        group = b.at(k);
        if (group < 0x60 || group > 0x7E) return s;
        ++k;
    }
    int rows = 0;
    // Each pair takes at least its parameter byte, so the walk ends within
    // the bytes at hand.
    for (int pairs = 0;; ++pairs) {
        const bool negative = b.at(k) == '-';
        if (b.at(k) == '+' || negative) ++k;
        uint64_t value = 0;
        const uint32_t digits = k;
        while (IsDigit(b.at(k))) {
            if (value < 100000000u) value = value * 10 + static_cast<uint32_t>(b.at(k) - '0');
            ++k;
        }
        if (b.at(k) == '.') {
            ++k;
            while (IsDigit(b.at(k))) ++k;
        }
        if (!b.has(k)) {
            s.cut = true;
            s.next = b.size;
            break;
        }
        const int p = b[k];
        if (p == kEsc && k == digits && pairs > 0) {  // after a lower-case parameter
            s.next = k;
            break;
        }
        // A printer abandons ESC % and its number when the next sequence
        // begins; drivers for printers with several emulations write such a
        // mode selection first.
        if (p == kEsc && c == '%' && pairs == 0 && k > digits) {
            s.next = k;
            s.weight = 0;
            return s;
        }
        if (p < 0x40 || p > 0x7E || p == 0x5F) return s;
        const int up = p & ~0x20;  // the final in upper case
        // ESC % takes a number and ends in A, B (HP-GL/2) or X (UEL).
        if (c == '%' && (k == digits || (up != 'A' && up != 'B' && up != 'X'))) return s;
        ++k;
        const bool carries = (up == 'W' && c != '%') || (c == '&' && group == 'p' && up == 'X') ||
                             (c == '*' && group == 'b' && up == 'V');
        if (carries) {
            s.data = true;
            ++rows;
            if (value > b.left(k)) {
                s.cut = true;
                s.next = b.size;
                break;
            }
            k = SkipBy(b, k, value);
        }
        if (c == '%' && up == 'B') {
            s.hpgl = true;
            s.plotter = negative && value == 1 && k == digits + 2;
        }
        if (c == '%' && up == 'A') s.leavesHpgl = true;
        // An upper-case parameter ends the sequence.
        if (p < 0x60 && !(c == '*' && group == 'b' && up == 'Y' && RowFollows(b, k))) {
            s.next = k;
            break;
        }
    }
    if (rows > 1) s.weight += rows - 1;
    return s;
}

// HP-GL/2 instructions: two upper-case letters and numeric parameters.
// Labels (LB) run to their terminator, encoded polylines (PE) to ";".
struct Plot {
    int instructions = 0;
    bool initialises = false;  // the first instruction is IN or BP, as a plot file starts
    bool setsUpPlot = false;   // BP or PS
    bool onlyResets = true;    // every instruction read was IN, BP or DF: nothing drawn or sized
    bool ok = false;          // every instruction read was well formed
    uint32_t end = 0;         // where the passage stopped (an ESC or the end)
};

bool IsHpglParam(int c) noexcept {
    return IsDigit(c) || c == '.' || c == ',' || c == '-' || c == '+' || c == ' ' || c == '\r' || c == '\n' || c == '\t';
}

Plot ReadPlot(Bytes b, uint32_t i, int enough) noexcept {
    Plot plot;
    while (plot.instructions < enough) {
        while (b.has(i) && (b[i] == ';' || b[i] == ' ' || b[i] == '\r' || b[i] == '\n' || b[i] == '\t')) ++i;
        if (!b.has(i) || b[i] == kEsc) break;
        if (!IsUpper(b[i]) || !IsUpper(b.at(i + 1))) {
            plot.end = i;
            return plot;
        }
        const int a = b[i], z = b[i + 1];
        i += 2;
        if (plot.instructions++ == 0) plot.initialises = (a == 'I' && z == 'N') || (a == 'B' && z == 'P');
        if ((a == 'B' && z == 'P') || (a == 'P' && z == 'S')) plot.setsUpPlot = true;
        if (!((a == 'I' && z == 'N') || (a == 'B' && z == 'P') || (a == 'D' && z == 'F'))) plot.onlyResets = false;
        if (a == 'L' && z == 'B') {
            i = b.find(i, 0x03);
            if (i < b.size) ++i;
        } else if (a == 'P' && z == 'E') {
            i = b.find(i, ';');
        } else if (a == 'B' && z == 'P') {
            // Begin Plot may carry a quoted plot name.
            while (b.has(i) && (IsHpglParam(b[i]) || b[i] == '"')) {
                if (b[i] == '"') {
                    i = b.find(i + 1, '"');
                    if (i >= b.size) break;
                }
                ++i;
            }
        } else {
            while (b.has(i) && IsHpglParam(b[i])) ++i;
        }
        if (b.has(i) && b[i] != ';' && b[i] != kEsc && !IsUpper(b[i])) {
            plot.end = i;
            return plot;
        }
    }
    plot.ok = plot.instructions > 0;
    plot.end = i;
    return plot;
}

enum class Kind { None, Pcl, Hpgl, Text };

// How much of a job that shows no binary data is read for its escape
// sequences: a few pages of text.
constexpr uint32_t kTextWindow = 8 * 1024;

bool HasTextPageEject(Bytes b) noexcept {
    for (uint32_t k = b.find(0, kEsc); k < b.size; k = b.find(k + 1, kEsc)) {
        if (b.matches(k, kTextPageEject)) return true;
    }
    return false;
}

// Reads the escape sequences of the head's first part (a few pages for a
// job that looks like text) and says which of the three languages it is.
Kind Classify(const BidInput& in) noexcept {
    const Bytes b = Body(in);
    if (b.at(0) != kEsc) {
        const Plot bare = ReadPlot(b, 0, 6);
        const bool whole = bare.end >= b.size && WholeJob(in);
        const bool enough = bare.instructions >= 6 || (whole && bare.instructions >= 3);
        return bare.ok && enough && bare.initialises ? Kind::Hpgl : Kind::None;
    }
    constexpr int kSequences = 6;
    int sequences = 0;
    bool printed = false;  // text, raster or a form feed came before any HP-GL/2
    bool binary = false;
    const uint32_t end = std::min(b.size, kTextWindow);
    uint32_t i = 0;
    while (i < end) {
        if (b[i] != kEsc) {
            if (!IsPclText(b[i])) return Kind::None;
            if (b[i] > ' ' || b[i] == '\f') printed = true;
            ++i;
            continue;
        }
        const Sequence s = ReadSequence(b, i);
        // A job does not end inside a sequence; a head cut from a longer
        // job may.
        if (s.next == 0 || (s.cut && WholeJob(in))) return Kind::None;
        sequences += s.weight;
        if (s.data) {
            binary = printed = true;
        }
        i = s.next;
        if (s.hpgl) {
            const Plot plot = ReadPlot(b, i, 4);
            if (!plot.ok) return Kind::None;
            // Drivers for large-format printers open their PCL raster jobs
            // with a passage that only resets the plotter (BP, IN) and goes
            // straight back to PCL: that sets up no plot.
            // Where the bytes end before the passage does, it is not known
            // which it is.
            const Sequence back = b.at(plot.end) == kEsc ? ReadSequence(b, plot.end) : Sequence{};
            if (plot.onlyResets && (back.next == 0 || back.cut)) return Kind::None;
            const bool preamble = plot.onlyResets && back.leavesHpgl;
            if (!printed && !preamble && (s.plotter || plot.setsUpPlot)) return Kind::Hpgl;
            i = plot.end;
        }
        // PCL with binary data is PCL; a job of text alone is read through
        // its first pages.
        if (sequences >= kSequences && binary) return Kind::Pcl;
    }
    // Text with escape sequences: the text filter's page eject in the part
    // read or at the job's end says who wrote it.
    const bool wholeRead = i >= b.size && WholeJob(in);
    if (!binary && sequences >= 2 && (HasTextPageEject(Bytes(b.data, end)) || HasTextPageEject(in.tail))) {
        return Kind::Text;
    }
    return sequences >= kSequences || (sequences >= 2 && wholeRead) ? Kind::Pcl : Kind::None;
}

bool DeclaresPcl(const BidInput& in) noexcept {
    return Declares(in, "PCL") || Declares(in, "PCL5") || Declares(in, "PCL5E") || Declares(in, "PCL5C") ||
           Declares(in, "PCL3") || Declares(in, "PCL3GUI");
}

// PCL XL: the stream header line, then the binary stream up to the first
// operator, BeginSession (0x41), with its attribute list.
bool PclXlStream(Bytes b) noexcept {
    if (!(b.matches(0, ") HP-PCL XL;") || b.matches(0, "( HP-PCL XL;"))) return false;
    if (!IsDigit(b.at(12))) return false;
    const uint32_t lf = b.find(12, '\n');
    if (lf >= b.size || lf > 256) return false;
    const bool little = b[0] == ')';
    // Element sizes of the data types ubyte, uint16, uint32, sint16, sint32, real32.
    constexpr uint8_t kSize[8] = {1, 2, 4, 2, 4, 4, 0, 0};
    uint32_t i = lf + 1;
    bool attribute = false;
    for (int tokens = 0; tokens < 64 && b.has(i); ++tokens) {
        const int t = b[i];
        if (t == 0x00 || (t >= 0x09 && t <= 0x0D) || t == 0x20) {
            ++i;
        } else if (t >= 0xC0 && t <= 0xC5) {
            i += 1 + kSize[t & 7];
        } else if (t >= 0xD0 && t <= 0xD5) {
            i += 1 + 2u * kSize[t & 7];
        } else if (t >= 0xE0 && t <= 0xE5) {
            i += 1 + 4u * kSize[t & 7];
        } else if (t >= 0xC8 && t <= 0xCD) {
            const int lenTag = b.at(i + 1);
            uint32_t count = 0;
            if (lenTag == 0xC0 && b.has(i + 2)) {
                count = b[i + 2];
                i += 3;
            } else if (lenTag == 0xC1 && b.has(i + 2, 2)) {
                count = little ? b.le16(i + 2) : b.be16(i + 2);
                i += 4;
            } else {
                return false;
            }
            i = SkipBy(b, i, uint64_t{count} * kSize[t & 7]);
        } else if (t == 0xF8) {
            i += 2;
            attribute = true;
        } else if (t == 0xF9) {
            i += 3;
            attribute = true;
        } else {
            return t == 0x41 && attribute;
        }
    }
    return false;
}

}  // namespace

int BidPCL(const BidInput& in) noexcept {
    return Classify(in) == Kind::Pcl ? Parsed(DeclaresPcl(in)) : kNoBid;
}

int BidPCLXL(const BidInput& in) noexcept {
    return PclXlStream(Body(in)) ? Parsed(Declares(in, "PCLXL") || Declares(in, "PCL6")) : kNoBid;
}

int BidHPGL(const BidInput& in) noexcept {
    const bool declared = Declares(in, "HPGL2") || Declares(in, "HPGL") || Declares(in, "HP-GL/2");
    return Classify(in) == Kind::Hpgl ? Parsed(declared) : kNoBid;
}

int BidUnixTextPCL(const BidInput& in) noexcept {
    return Classify(in) == Kind::Text ? Parsed(false) : kNoBid;
}

}  // namespace qm::accurate
