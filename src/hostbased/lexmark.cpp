// Lexmark host-based streams. The first bytes of the job choose one of three
// command grammars, which then reads the whole job: fixed 8-byte commands
// (M), fixed-size escape commands (X), or ESC "*" commands that carry their
// own lengths (with or without a job header). The header is not skipped:
// every grammar meets it as ordinary data.
#include "api/scanners.h"

namespace qm {
namespace {

constexpr uint8_t kEsc = 0x1B;
constexpr uint8_t kHeaderLead = 0xA5;
constexpr uint32_t kDialectByteOffset = 19;

enum class Dialect { M, X, EscapeHeaded, EscapeUnheaded };

// The byte `off` bytes after i, or -1 outside the data (no sum can wrap).
int Peek(const Bytes& job, uint32_t i, uint32_t off) { return job.has(i, off + 1) ? job[i + off] : -1; }

// A command is looked for only where more than two bytes remain.
bool CommandFits(const Bytes& job, uint32_t i) { return job.has(i, 3); }

Dialect SelectDialect(const Bytes& job, uint32_t s) {
    if (Peek(job, s, 0) != kHeaderLead) return Dialect::EscapeUnheaded;
    // A header too short for its dialect byte reads as a headed escape job.
    switch (Peek(job, s, kDialectByteOffset)) {
        case 'm': return Dialect::M;
        case 0x80: return Dialect::X;
        default: return Dialect::EscapeHeaded;
    }
}

// ---- Dialect M: 8-byte commands; the page command is 16 bytes.

constexpr uint32_t kMCommand = 8;
constexpr uint32_t kMPage = 16;
constexpr uint32_t kMDataLengthOffset = 11;
constexpr uint32_t kMDataHeader = 16;

// Next index after the command at i; counts a page. Returns size to end.
uint32_t StepM(const Bytes& job, uint32_t i, uint32_t& pages) {
    if (!CommandFits(job, i)) return i + 1;
    const uint8_t a = job[i], b = job[i + 1];
    if (a == '1' && b == 0x18) {
        ++pages;
        return SkipBy(job, i, kMPage);
    }
    if ((a == 0x22 || a == '#') && b == 0x80) return SkipBy(job, i, kMCommand);
    if (a == ' ' || a == '!' || a == '0' || a == '3') return SkipBy(job, i, kMCommand);
    if (a == '@' && b == 0x84) return SkipBy(job, i, kMCommand);
    if (a == 'A' && (b == 0x10 || b == 0x00)) {
        if (!job.has(i, kMDataLengthOffset + 2)) return job.size;  // the data runs past the end
        return SkipBy(job, i, uint64_t{kMDataHeader} + job.be16(i + kMDataLengthOffset));
    }
    return i + 1;
}

// ---- Dialect X: ESC and a letter; fixed sizes, "C" carries a length.

constexpr uint32_t kXCommand = 8;
constexpr uint32_t kXPage = 24;
constexpr uint32_t kXLongCommand = 72;
constexpr uint32_t kXDataLengthOffset = 2;
constexpr uint32_t kXUnknown = 2;
constexpr uint8_t kXMonoBit = 0x10;

uint32_t StepX(const Bytes& job, uint32_t i, uint32_t& pages, bool& colour) {
    if (!CommandFits(job, i)) return i + 1;
    switch (job[i + 1]) {
        case '!': case '#': case '0': case '1': case '3': case 'B': case 'c':
            return SkipBy(job, i, kXCommand);
        case 0x22:
            ++pages;
            return SkipBy(job, i, kXPage);
        case '*':
            return SkipBy(job, i, kXLongCommand);
        case '@':
            if ((job[i + 2] & kXMonoBit) == 0) colour = true;
            return SkipBy(job, i, kXCommand);
        case 'C':
            if (!job.has(i, kXDataLengthOffset + 3)) return job.size;  // the data runs past the end
            return SkipBy(job, i, uint64_t{kXCommand} + job.be24(i + kXDataLengthOffset));
        default:
            return SkipBy(job, i, kXUnknown);
    }
}

// ---- Escape dialect: ESC "*" and a code byte.

constexpr uint8_t kSwath = 0x04;
constexpr uint8_t kPageCode = 0x07;
constexpr uint32_t kSwathLengthOffset = 3;
constexpr uint32_t kHeadedColourOffset = 7;
constexpr uint32_t kUnheadedColourOffset = 9;
constexpr uint32_t kPageCommand = 5;
constexpr uint32_t kPagePair = 9;
constexpr uint32_t kOtherCommand = 3;

// Colour evidence of a swath header, looked at only when more than two bytes
// remain from its first byte.
void TestSwathColour(const Bytes& job, uint32_t i, bool headed, bool& colour) {
    if (headed) {
        if (job.has(i, kHeadedColourOffset + 3) && job[i + kHeadedColourOffset] == 0x01 &&
            job[i + kHeadedColourOffset + 1] == 0x00)
            colour = true;
    } else {
        if (job.has(i, kUnheadedColourOffset + 3) &&
            !(job[i + kUnheadedColourOffset] == 0x01 && job[i + kUnheadedColourOffset + 1] == 0x01))
            colour = true;
    }
}

uint32_t StepEscape(const Bytes& job, uint32_t i, bool headed, uint32_t& pages, bool& colour) {
    if (!CommandFits(job, i) || job[i + 1] != '*') return i + 1;
    const uint8_t code = job[i + 2];
    if (code == kSwath) {
        const uint32_t width = headed ? 2 : 3;
        if (!job.has(i, kSwathLengthOffset + width)) return job.size;  // the swath runs past the end
        const uint32_t length = headed ? job.be16(i + kSwathLengthOffset) : job.be24(i + kSwathLengthOffset);
        TestSwathColour(job, i, headed, colour);
        // A swath that claims no bytes is stepped over like any other ESC "*"
        // command, so the scan keeps moving.
        return SkipBy(job, i, length != 0 ? length : kOtherCommand);
    }
    if (code == kPageCode && Peek(job, i, 3) == 'e') {
        ++pages;
        // A second page command right behind the first is the same page.
        if (job.has(i + 4, 5) && job[i + 4] == kEsc && job[i + 5] == '*' && job[i + 6] == kPageCode &&
            job[i + 8] == 'e')
            return SkipBy(job, i, kPagePair);
        return SkipBy(job, i, kPageCommand);
    }
    return SkipBy(job, i, kOtherCommand);
}

}  // namespace

int32_t ScanLexmark(Bytes job, uint32_t start, PageCountResult& rec) {
    uint32_t pages = 0;
    bool colour = false;
    const Dialect dialect = SelectDialect(job, start);
    if (dialect == Dialect::M) {
        for (uint32_t i = start; i < job.size;) i = StepM(job, i, pages);
    } else {
        const bool escape = dialect != Dialect::X;
        const bool headed = dialect == Dialect::EscapeHeaded;
        for (uint32_t i = job.find(start, kEsc); i < job.size; i = job.find(i, kEsc))
            i = escape ? StepEscape(job, i, headed, pages, colour) : StepX(job, i, pages, colour);
    }
    rec.pages = pages;
    rec.copies = 1;
    rec.color = colour ? 1 : 0;
    return QM_OK;
}

}  // namespace qm
