// HP-GL/2 plots: advance-page and replot commands are the pages, Begin Plot
// gives the copies, the plot-size command or PJL the paper, and PJL, palette
// settings and raster configuration the colour.
#include <algorithm>

#include "api/scanners.h"
#include "pcl/pcl_escape.h"
#include "pcl/pjl.h"

namespace qm {
namespace {

constexpr PjlKey kRenderMode{kRenderModeKey, kRenderModeThreshold, PjlAction::ValueTest, PjlFlag::None, 0,
                             {{"COLO", PjlFlag::Colour, kPclColourLine}}};
constexpr PjlKey kPaperWidth{"@PJL SET PAPERWIDTH", 22, PjlAction::PaperWidth, PjlFlag::None, 2};
constexpr PjlKey kPaperLength{"@PJL SET PAPERLENGTH", 22, PjlAction::PaperLength, PjlFlag::None, 2};
constexpr PjlKey kHpglKeys[] = {kRenderMode, kPaperWidth, kPaperLength, kPjlOther};

// ESC, ")" and "@" start something by themselves; "B", "P" and "R" only as
// the first letter of BP, PG, PE, PS or RP.
constexpr LeadSet<3, 3> kCommandStarts{{kEsc, ')', '@'}, {Pair('B', "P"), Pair('P', "GES"), Pair('R', "P")}};

// Plotter units to inches, a single-precision factor.
constexpr float kPlotUnit = 0.001f;

// Plotter units to inches in single precision. The product is stored
// through a volatile float so that an x87 build cannot keep it in a wider
// register.
double PlotInches(uint32_t units) noexcept {
    volatile float inches = static_cast<float>(units) * kPlotUnit;
    return inches;
}

struct Digits {
    uint32_t value = 0;
    uint32_t end = 0;  // the first byte that is not a digit, or job.size
};

Digits ReadDigits(Bytes job, uint32_t i) noexcept {
    Digits d;
    for (; i < job.size && job[i] >= '0' && job[i] <= '9'; ++i) d.value = d.value * 10 + (job[i] - '0');
    d.end = std::min(i, job.size);
    return d;
}

// Begin Plot parameters from k (the first kind): kind, separator, value,
// separator, kind ... Copies add up. Returns the first byte that is not a
// kind, or job.size.
uint32_t ReadBeginPlot(Bytes job, uint32_t k, uint32_t& copies) noexcept {
    while (k < job.size) {
        const uint8_t kind = job[k];
        if (kind == '1') {
            // Separator, opening quote, name, closing quote.
            const uint32_t close = job.find(SkipBy(job, k, 3), '"');
            if (close >= job.size) return job.size;
            k = close + 1;
        } else if (kind >= '2' && kind <= '5') {
            const Digits d = ReadDigits(job, SkipBy(job, k, 2));
            if (kind == '2') copies += d.value;
            k = d.end;
        } else {
            return k;
        }
        k = SkipBy(job, k, 1);  // the separator
    }
    return job.size;
}

// nextLead(job, i) gives the next byte at or after i that may start something.
template <class NextLead>
int32_t ScanHpglWith(Bytes job, uint32_t start, PageCountResult& rec, NextLead nextLead) {
    uint32_t pages = 0;
    uint32_t copies = 0;
    bool colour = false;
    double plotLength = 0.0, plotWidth = 0.0;
    PjlAttributes pjl;
    uint8_t group = ' ';

    for (uint32_t i = nextLead(job, start); i < job.size; i = nextLead(job, i)) {
        const uint8_t b = job[i];
        const int next = job.at(i + 1);
        if (b == kEsc) {
            uint32_t palette[3] = {0, 0, 0};
            i = ParsePclEscape(job, i, group, [&](const PclPair& p, uint32_t& idx) {
                const uint8_t F = p.upper();
                const auto skipData = [&] { idx = SkipBy(job, p.at, p.value); };
                if (p.c == '&' && (p.g == 'b' || p.g == 'n') && F == 'W') {
                    skipData();
                } else if (p.c == '*') {
                    if (p.g == 'b' && (F == 'V' || F == 'W')) {
                        skipData();
                    } else if ((p.g == 'c' || p.g == 'g' || p.g == 'o') && F == 'W') {
                        skipData();
                    } else if (p.g == 'v' && (F == 'A' || F == 'B' || F == 'C')) {
                        palette[F - 'A'] = p.value;
                    } else if (p.g == 'v' && F == 'W') {
                        if (job.at(p.at + 2) > 1) colour = true;
                        skipData();
                    }
                }
            });
            // Unequal components (not a grey, not white) mean colour.
            if (palette[0] != palette[1] || palette[1] != palette[2]) colour = true;
        } else if (b == ')') {
            i = FindEither(job, i + 1, '\n', kEsc);  // and that byte too
        } else if (b == '@') {
            MatchPjl(job, i, kHpglKeys, pjl);
        } else if (b == 'B' && next == 'P') {
            const uint32_t end = ReadBeginPlot(job, i + 2, copies);
            i = end < job.size ? end - 1 : job.size;  // that byte is examined next
        } else if (b == 'P' && next == 'G') {
            ++pages;
            ++i;
        } else if (b == 'P' && next == 'E') {
            i = job.find(i + 2, ';');  // encoded polyline data is never read as commands
        } else if (b == 'P' && next == 'S') {
            const Digits first = ReadDigits(job, i + 2);
            const Digits second = ReadDigits(job, SkipBy(job, first.end, 1));
            plotLength = PlotInches(first.value);
            plotWidth = PlotInches(second.value);
        } else if (b == 'R' && next == 'P') {
            const Digits n = ReadDigits(job, i + 2);
            pages += std::max(n.value, 1u);  // RP with no count, or 0, replots once
        }
        if (i >= job.size) break;
        ++i;
    }

    if (pjl.paperLength > 0.0) {
        rec.paperLength = pjl.paperLength;
        rec.paperWidth = pjl.paperWidth;
    } else {
        rec.paperLength = plotLength;
        rec.paperWidth = plotWidth;
    }
    rec.pages = pages;
    rec.copies = copies;
    rec.color = (colour || pjl.colour) ? 1 : 0;
    rec.duplex = 0;
    return QM_OK;
}

}  // namespace

int32_t ScanHPGL(Bytes job, uint32_t start, PageCountResult& rec) {
    return ScanHpglWith(job, start, rec, [](const Bytes& j, uint32_t from) {
        return FindLead(j, from, kCommandStarts);
    });
}

// Every byte handed to the switch, as the lead search must agree with.
int32_t ScanHPGLEveryByte(Bytes job, uint32_t start, PageCountResult& rec) {
    return ScanHpglWith(job, start, rec, [](const Bytes&, uint32_t from) { return from; });
}

}  // namespace qm
