// PCL 5 pages: form feeds, copy commands, position marks, raster blocks that
// end before a language exit and transparency resets are counted side by
// side, and one of them is chosen at the end. Raster, font and palette data
// announced by an escape sequence is stepped over by its byte count.
#include "api/scanners.h"
#include "pcl/pcl_escape.h"
#include "pcl/pjl.h"

namespace qm {
namespace {

struct PaperCode {
    uint32_t code;
    double width;
    double length;
};

constexpr PaperCode kPaperCodes[] = {
    {1, 7.25, 10.5},    // Executive
    {2, 8.5, 11.0},     // Letter
    {3, 8.5, 14.0},     // Legal
    {6, 17.0, 11.0},    // Ledger
    {25, 5.83, 8.27},   // A5
    {26, 8.27, 11.69},  // A4
    {27, 11.69, 16.54}, // A3
    {45, 7.17, 10.12},  // JIS B5
    {46, 9.84, 13.94},  // JIS B4
    {100, 6.93, 9.84},  // B5
    {80, 3.875, 7.5},   // Monarch
    {81, 4.125, 9.5},   // Com10
    {90, 4.33, 8.66},   // DL
    {91, 6.38, 9.02},   // C5
};

constexpr PjlKey kRenderMode{kRenderModeKey, kRenderModeThreshold, PjlAction::ValueTest, PjlFlag::None, 0,
                             {{"COLO", PjlFlag::Colour, kPclColourLine}, {"GRAY", PjlFlag::Grey, kGreyLine}}};
constexpr PjlKey kPaperLength{"@PJL SET PAPERLENGTH", 22, PjlAction::PaperLength, PjlFlag::None, 1};
constexpr PjlKey kPclKeys[] = {kPjlQty,          kPjlColorModeColor, kPjlCopies,
                               kPjlPaper,        kRenderMode,        kPjlDuplexOn,
                               kPjlPlanesInUse1, kPjlDataModeGrayscale, kPjlPaperWidth,
                               kPaperLength,     kPjlOther};

// The Universal Exit Language sequence.
constexpr uint8_t kUel[] = {kEsc, '%', '-', '1', '2', '3', '4', '5'};

struct PclScan {
    uint32_t formFeeds = 0;
    uint32_t copyCommands = 0;
    uint32_t copiesValue = 1;
    uint32_t positionMarks = 0;
    uint32_t rasterEndsBeforeUel = 0;
    uint32_t transparencyResets = 0;
    PjlAttributes pjl;  // PCL colour, grey and paper evidence lands here too
};

// The "C" or "B" of the first raster end at or after i, or job.size. The
// search is for "ESC * r": an ESC alone stops before every raster row.
uint32_t FindRasterEnd(Bytes job, uint32_t i) noexcept {
    for (i = FindTriple(job, i, kEsc, '*', 'r'); i < job.size; i = FindTriple(job, i + 1, kEsc, '*', 'r')) {
        if (job.at(i + 3) == 'C' || job.at(i + 3) == 'B') return i + 3;
    }
    return job.size;
}

// The "A" of the first "ESC % 0 A" or "ESC % 1 A" at or after i, or job.size.
uint32_t FindPclReentry(Bytes job, uint32_t i) noexcept {
    for (i = job.find(i, kEsc); i < job.size; i = job.find(i + 1, kEsc)) {
        if (job.at(i + 1) == '%' && (job.at(i + 2) == '0' || job.at(i + 2) == '1') && job.at(i + 3) == 'A')
            return i + 3;
    }
    return job.size;
}

void OnPclPair(Bytes job, PclScan& s, const PclPair& p, uint32_t& idx) {
    const uint8_t F = p.upper();
    const auto skipData = [&] { idx = SkipBy(job, p.at, p.value); };
    switch (p.c) {
        case '&':
            if (p.g == 'a') {
                if (F == 'N') {
                    // Not counted right after a transparency reset "ESC * v 0 N".
                    const bool afterReset = p.at >= 8 && job[p.at - 8] == '*' && job[p.at - 7] == 'v' &&
                                            job[p.at - 6] == '0' && job[p.at - 5] == 'N';
                    if (!afterReset) ++s.positionMarks;
                } else if (F == 'V') {
                    // Text after a vertical move is passed over.
                    const uint32_t next = FindEither(job, p.at + 1, kEsc, 0x0C);
                    idx = next < job.size ? next - 1 : job.size;
                }
            } else if (p.g == 'b') {
                if (F == 'M' && p.value == 1) s.pjl.grey = true;
                if (F == 'W') skipData();
            } else if (p.g == 'l') {
                if (F == 'A') {
                    for (const PaperCode& pc : kPaperCodes) {
                        if (pc.code == p.value) {
                            s.pjl.paperWidth = pc.width;
                            s.pjl.paperLength = pc.length;
                            break;
                        }
                    }
                } else if (F == 'H') {
                    if (p.value == 1) s.pjl.colour = true;
                } else if (F == 'S') {
                    if (p.value > 0) s.pjl.duplex = true;
                } else if (F == 'X') {
                    s.copiesValue = p.value;
                    ++s.copyCommands;
                }
            } else if (p.g == 'n') {
                if (F == 'M') s.pjl.grey = true;
                if (F == 'W') skipData();
            } else if (p.g == 'p') {
                if (p.f == 'X') {
                    const uint32_t next = FindEither(job, p.at + 1, kEsc, ' ');
                    idx = next < job.size ? next - 1 : job.size;
                }
            }
            break;
        case '*':
            if (p.g == 'b') {
                if (F == 'M' && p.value == 0) {
                    if (p.last && job.has(p.at + 1) && job[p.at + 1] != kEsc) idx = p.at + 1;
                } else if (F == 'V' || F == 'W') {
                    skipData();
                }
            } else if ((p.g == 'c' || p.g == 'g' || p.g == 'o') && F == 'W') {
                skipData();
            } else if (p.g == 'p' && (p.f == 'X' || p.f == 'Y')) {
                // Text after a cursor move is passed over; a 0x80 byte takes
                // the byte after it along unless that byte is an ESC.
                uint32_t k = p.at + 1;
                for (; k < job.size; ++k) {
                    const uint8_t b = job[k];
                    if (b == kEsc || b == ' ' || b == 0x0C) break;
                    if (b == 0x80 && job.has(k + 1) && job[k + 1] != kEsc) ++k;
                }
                idx = k < job.size ? k - 1 : job.size;
            } else if (p.g == 'r' && F == 'A') {
                const uint32_t end = FindRasterEnd(job, p.at);
                if (end < job.size && job.matches(end + 1, kUel, sizeof kUel)) ++s.rasterEndsBeforeUel;
                idx = end;
            } else if (p.g == 'v') {
                if ((F == 'A' || F == 'B' || F == 'C') && p.value > 0 && p.value < 255) {
                    s.pjl.colour = true;
                } else if (F == 'N') {
                    if (p.value == 0) ++s.transparencyResets;
                } else if (F == 'W') {
                    if (job.at(p.at + 2) > 1) s.pjl.colour = true;
                    skipData();
                }
            }
            break;
        case '(':
            if ((p.g == 'f' || p.g == 's') && F == 'W') skipData();
            break;
        case ')':
            if (p.g == 's' && F == 'W') skipData();
            break;
        case '%':
            if (p.f == 'B') idx = FindPclReentry(job, p.at);  // an HP-GL/2 passage
            break;
        default:
            break;
    }
}

// nextLead(job, i) gives the next byte at or after i that may start something.
template <class NextLead>
int32_t ScanPclWith(Bytes job, uint32_t start, PageCountResult& rec, NextLead nextLead) {
    PclScan s;
    CommandBlockSkip blocks;
    uint8_t group = ' ';
    for (uint32_t i = nextLead(job, blocks(job, start)); i < job.size; i = nextLead(job, i)) {
        switch (job[i]) {
            case 0x0C:
                ++s.formFeeds;
                break;
            case kEsc:
                i = ParsePclEscape(job, i, group, [&](const PclPair& p, uint32_t& idx) { OnPclPair(job, s, p, idx); });
                break;
            case '!':
                i = blocks(job, i);
                break;
            case ')':
                i = FindEither(job, i + 1, '\n', kEsc);  // and that byte too
                break;
            case '@':
                MatchPjl(job, i, kPclKeys, s.pjl);
                break;
            case 0xCD:
                // A block of another kind: "CD CA 10", its length byte 9 on.
                if (job.at(i + 1) == 0xCA && job.at(i + 2) == 0x10 && job.left(i) > 20) {
                    const uint32_t next = SkipBy(job, i, uint64_t{job[i + 9]} + 20);
                    i = next < job.size ? next - 1 : job.size;
                }
                break;
            default:
                break;
        }
        if (i >= job.size) break;
        ++i;
    }

    PageCountResult& r = SharedPclRecord();
    uint32_t copies = s.copiesValue;
    if (static_cast<uint32_t>(s.pjl.quantity) > copies) copies = static_cast<uint32_t>(s.pjl.quantity);
    if (static_cast<uint32_t>(s.pjl.copies) > copies) copies = static_cast<uint32_t>(s.pjl.copies);
    r.copies = copies;
    // Several copy commands mean one per page; then form feeds, position
    // marks, raster ends before a language exit, transparency resets less one.
    if (s.copyCommands >= 2) {
        r.pages = s.copyCommands;
    } else if (s.formFeeds > 0) {
        r.pages = s.formFeeds;
    } else if (s.positionMarks > 0) {
        r.pages = s.positionMarks;
    } else if (s.rasterEndsBeforeUel > 0) {
        r.pages = s.rasterEndsBeforeUel;
    } else if (s.transparencyResets > 0) {
        r.pages = s.transparencyResets - 1;
    } else {
        r.pages = 0;
    }
    r.color = (s.pjl.grey && !s.pjl.colourModeColour) ? 0 : (s.pjl.colour ? 1 : 0);
    r.duplex = s.pjl.duplex ? 1 : 0;
    r.paperLength = s.pjl.paperLength;
    r.paperWidth = s.pjl.paperWidth;
    rec = r;
    return QM_OK;
}

}  // namespace

int32_t ScanPCL(Bytes job, uint32_t start, PageCountResult& rec) {
    return ScanPclWith(job, start, rec, [](const Bytes& j, uint32_t from) {
        return FindAny(j, from, 0x0C, kEsc, '!', ')', '@', 0xCD);
    });
}

// Every byte handed to the switch, as the lead search must agree with.
int32_t ScanPCLEveryByte(Bytes job, uint32_t start, PageCountResult& rec) {
    return ScanPclWith(job, start, rec, [](const Bytes&, uint32_t from) { return from; });
}

}  // namespace qm
